// The check of one answer.
#include "check/checker.h"

#include "check/bounded_check.h"
#include "check/database.h"
#include "check/explanation.h"
#include "check/instances.h"
#include "check/lint.h"
#include "check/minimal_database.h"
#include "check/sameness.h"
#include "check/shrink.h"
#include "text/diagnostics.h"
#include "text/messages.h"
#include "text/text.h"

#include <algorithm>
#include <functional>
#include <new>

namespace qorvantel {

const char* guarantee_name(check_guarantee guarantee) noexcept
{
    switch (guarantee) {
    case check_guarantee::proved:
        return "proved";
    case check_guarantee::bounded:
        return "bounded";
    case check_guarantee::searched:
        return "searched";
    case check_guarantee::none:
        break;
    }
    return "";
}

std::string guarantee_words(const check_report& report)
{
    std::string kept = report.constrained ? " that keeps the exercise's keys and references" : "";
    std::string kept_plural = report.constrained ? " that keep the exercise's keys and references" : "";
    switch (report.guarantee) {
    case check_guarantee::proved:
        return "Proved: the two give the same result on every database" + kept + ".";
    case check_guarantee::bounded:
        return "Bounded: no database with at most " + std::to_string(report.bound) + " rows in each relation" + kept
            + " tells them apart (every such database was decided by the solver); not proved for larger ones.";
    case check_guarantee::searched:
        return "Searched: no difference found in " + std::to_string(report.instances) + " generated databases"
            + kept_plural + "; not proved.";
    case check_guarantee::none:
        break;
    }
    return "";
}

std::string reference_failure_words(const check_report& report)
{
    if (report.reference_failed.message.empty())
        return "";
    return "The reference itself fails on a database made for this check (" + report.reference_failed.message
        + "); that database shows nothing about the answer:\n" + report.reference_failed.database;
}

shared<expression> parse_expression(const std::string& source) { return parse_whole<expression>("expression", source); }

namespace {
// Ran out of memory, or was refused as a product known not to fit.
bool outgrew_memory(const outcome& done)
{
    static const std::string refused = " does not fit in memory.";
    return done.error == messages::out_of_memory
        || (done.error.size() > refused.size()
            && done.error.compare(done.error.size() - refused.size(), refused.size(), refused) == 0);
}

struct check_context {
    const expression& reference;
    const expression& answer;
    bool strict_names;
    const resolved_constraints& constraints;
};

// A failing reference cannot show a difference, nor can a database that
// breaks a declared key or reference: such a subset is no counterexample.
bool differ_on(const database& rows, const std::vector<row_address>& kept, const check_context& check)
{
    if (!check.constraints.empty()) {
        std::vector<std::vector<std::size_t>> by = rows.by_relation(kept);
        if (!constraints_hold(check.constraints, rows, &by))
            return false;
    }
    shared<environment> on = rows.environment_of(kept);
    outcome expected = evaluate_safely(check.reference, on);
    if (expected.failed())
        return false;
    return outcomes_differ(expected, evaluate_safely(check.answer, on), check.strict_names);
}

bool differ_on_whole(const database& rows, const check_context& check)
{
    return differ_on(rows, rows.all_rows(), check);
}

void shrink_into(check_report& report, const database& rows, const check_context& check, const database& given,
                 const instance_generator* values)
{
    database kept = minimal_database(
        rows, [&](const database& on) { return differ_on_whole(on, check); }, given, values);
    report.verdict = check_verdict::differs;
    report.guarantee = check_guarantee::none;
    report.bound = 0;
    report.counterexample = kept.text();
    report.counterexample_rows = kept.all_rows().size();
    shared<environment> on = kept.whole();
    outcome expected = evaluate_safely(check.reference, on);
    outcome given_result = evaluate_safely(check.answer, on);
    report.reference = expected.text();
    report.answer = given_result.text();
    report.counterexample_database = on;
    report.reference_result = expected.result;
    report.answer_result = given_result.result;
    if (!given_result.failed()) {
        for (std::string& note : compare_results(*expected.result, *given_result.result, check.strict_names).notes)
            report.notes.push_back(std::move(note));
    }
}

// The first failure of the reference is kept for the teacher, on a
// 1-minimal database of ordinary values.
void note_reference_failure(check_report& report, const database& on, const check_context& check, const database& given,
                            const instance_generator& values)
{
    if (!report.reference_failed.message.empty())
        return;
    auto fails = [&](const database& rows) {
        if (!check.constraints.empty() && !constraints_hold(check.constraints, rows))
            return false;
        return evaluate_safely(check.reference, rows.whole()).failed();
    };
    if (!fails(on))
        return;
    database kept = minimal_database(on, fails, given, &values);
    report.reference_failed = {kept.text(), evaluate_safely(check.reference, kept.whole()).error};
}

// Every relation read, and every relation a reference reaches from one.
std::vector<std::size_t> default_bounds(const database& rows, const expression& reference, const expression& answer,
                                        const resolved_constraints& constraints, std::size_t bound)
{
    std::vector<bool> needed = relations_read(rows, {&reference, &answer});
    for (std::size_t round = 0; round <= rows.relations().size(); ++round)
        for (const resolved_reference& each : constraints.references)
            if (needed[each.relation])
                needed[each.target] = true;
    std::vector<std::size_t> bounds;
    for (bool each : needed)
        bounds.push_back(each ? bound : 0);
    return bounds;
}

// The bounded check, a proof where the bounds make it one; a difference
// the solver finds is confirmed by the interpreter and shrunk.
void bounded_stage(check_report& report, const database& rows, const check_context& check,
                   const instance_generator& values, const check_options& options)
{
    report.guarantee = check_guarantee::searched;
    if (!bounded_check_available() || options.bound == 0)
        return;
    struct attempt {
        std::vector<std::size_t> bounds;
        check_guarantee guarantee;
        resolved_constraints constraints;
    };
    std::vector<attempt> attempts;
    // Keys hold on every part of a database that keeps them, references
    // do not: first a proof under the keys alone (the same under them is
    // the same under keys and references), then one whose bounds take in
    // the referenced rows, then the plain bound.
    resolved_constraints keys_only;
    keys_only.keys = check.constraints.keys;
    if (std::optional<std::vector<std::size_t>> proof = proof_bounds(rows, check.reference, check.answer, keys_only))
        attempts.push_back({*proof, check_guarantee::proved, keys_only});
    if (!check.constraints.references.empty())
        if (std::optional<std::vector<std::size_t>> proof
            = proof_bounds(rows, check.reference, check.answer, check.constraints))
            attempts.push_back({*proof, check_guarantee::proved, check.constraints});
    attempts.push_back({default_bounds(rows, check.reference, check.answer, check.constraints, options.bound),
                        check_guarantee::bounded, check.constraints});
    for (const attempt& each : attempts) {
        bounded_outcome decided
            = bounded_compare(rows, check.reference, check.answer, each.constraints, each.bounds, options.solver_steps,
                              options.solver_milliseconds,
                              report.reference_failed.message.empty()
                                  && each.constraints.references.size() == check.constraints.references.size());
        if (decided.reference_fails)
            note_reference_failure(report, *decided.reference_fails, check, rows, values);
        if (decided.status == bounded_status::same) {
            report.guarantee = each.guarantee;
            report.bound = each.guarantee == check_guarantee::bounded ? options.bound : 0;
            return;
        }
        if (decided.status == bounded_status::differs && differ_on_whole(decided.counterexample, check)) {
            report.where = check_where::generated;
            shrink_into(report, decided.counterexample, check, rows, &values);
            return;
        }
        // Unknown (out of time, too large), or a difference the interpreter
        // does not confirm: this attempt proves nothing.
    }
}
} // namespace

check_report check_answer(const shared<environment>& given, const expression& reference,
                          const std::string& answer_source, const check_options& options)
{
    check_report report;
    database rows(*given);
    report.given_rows = rows.all_rows().size();
    std::string problem = constraint_problem(options.constraints, rows);
    if (!problem.empty())
        throw check_setup_error("constraints: " + problem);
    resolved_constraints constraints = resolve_constraints(options.constraints, rows);
    report.constrained = !constraints.empty();
    outcome expected = evaluate_safely(reference, given);
    if (expected.failed())
        throw check_setup_error("reference: " + expected.error);

    shared<expression> answer;
    try {
        answer = parse_expression(answer_source);
    } catch (const std::bad_alloc&) {
        report.verdict = check_verdict::differs;
        report.answer = std::string(messages::out_of_memory) + "\n";
    } catch (const std::runtime_error& error) {
        report.verdict = check_verdict::differs;
        report.answer = std::string(error.what()) + "\n";
    }
    if (answer.empty()) {
        // A query that does not read fails on every database: the
        // schemas alone show it.
        report.counterexample = rows.text_of({});
        report.counterexample_database = given->without_rows();
        outcome schema_only = evaluate_safely(reference, report.counterexample_database);
        report.reference = schema_only.text();
        report.reference_result = schema_only.result;
        return report;
    }
    for (const lint_note& note : lint_expression(*given, answer_source))
        report.notes.push_back("line " + std::to_string(note.line) + ", column " + std::to_string(note.column) + ": "
                               + note.message);

    check_context check{reference, *answer, options.strict_names, constraints};
    outcome on_given = evaluate_safely(*answer, given);
    // Past the memory budget on the given database: no counterexample to
    // shrink (each smaller database tried would outgrow it again), but the
    // answer's own failure, reported by the caller (grading.h).
    if (outgrew_memory(on_given))
        throw tool_error(failure_kind::memory, on_given.error);
    if (outcomes_differ(expected, on_given, options.strict_names)) {
        shrink_into(report, rows, check, rows, nullptr);
        explain(report, reference, answer);
        return report;
    }
    instance_generator generator(rows, {&reference, answer.get()}, constraints);
    draws random(options.seed);
    for (std::size_t i = 0; i < options.instances; ++i) {
        report.instances = i + 1;
        database made = generator.next(random);
        if (differ_on_whole(made, check)) {
            report.where = check_where::generated;
            shrink_into(report, made, check, rows, &generator);
            explain(report, reference, answer);
            return report;
        }
        if (report.reference_failed.message.empty())
            note_reference_failure(report, made, check, rows, generator);
    }
    bounded_stage(report, rows, check, generator, options);
    if (report.verdict == check_verdict::differs) {
        explain(report, reference, answer);
        return report;
    }
    report.reference = expected.text();
    report.answer = on_given.text();
    report.reference_result = expected.result;
    report.answer_result = on_given.result;
    for (std::string& note : compare_results(*expected.result, *on_given.result, options.strict_names).notes)
        report.notes.push_back(std::move(note));
    return report;
}

check_report check_answer(const std::string& environment_source, const std::string& reference_source,
                          const std::string& answer_source, const check_options& options)
{
    shared<environment> given;
    try {
        given = load_environment(environment_source);
    } catch (const std::bad_alloc&) {
        throw check_setup_error("environment: Out of memory.");
    } catch (const std::runtime_error& error) {
        throw check_setup_error(std::string("environment: ") + error.what());
    }
    shared<expression> reference;
    try {
        reference = parse_expression(reference_source);
    } catch (const std::bad_alloc&) {
        throw check_setup_error("reference: Out of memory.");
    } catch (const std::runtime_error& error) {
        throw check_setup_error(std::string("reference: ") + error.what());
    }
    return check_answer(given, *reference, answer_source, options);
}

} // namespace qorvantel
