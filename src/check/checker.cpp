// The check of one answer.
#include "check/checker.h"

#include "check/database.h"
#include "check/explanation.h"
#include "check/instances.h"
#include "check/lint.h"
#include "check/sameness.h"
#include "check/shrink.h"
#include "text/diagnostics.h"
#include "text/messages.h"
#include "text/text.h"

#include <new>

namespace qorvantel {

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

// A failing reference cannot show a difference: the subset is no
// counterexample.
bool differ_on(const database& rows, const std::vector<row_address>& kept, const expression& reference,
               const expression& answer, bool strict_names)
{
    shared<environment> on = load_environment(rows.text_of(kept));
    outcome expected = evaluate_safely(reference, on);
    if (expected.failed())
        return false;
    return outcomes_differ(expected, evaluate_safely(answer, on), strict_names);
}

void shrink_into(check_report& report, const database& rows, const expression& reference, const expression& answer,
                 bool strict_names)
{
    std::vector<row_address> all = rows.all_rows();
    std::vector<std::size_t> indexes(all.size());
    for (std::size_t i = 0; i < indexes.size(); ++i)
        indexes[i] = i;
    auto addresses = [&](const std::vector<std::size_t>& chosen) {
        std::vector<row_address> kept;
        for (std::size_t i : chosen)
            kept.push_back(all[i]);
        return kept;
    };
    std::vector<std::size_t> minimal = shrink_to_minimal(indexes, [&](const std::vector<std::size_t>& chosen) {
        return differ_on(rows, addresses(chosen), reference, answer, strict_names);
    });
    report.verdict = check_verdict::differs;
    report.counterexample = rows.text_of(addresses(minimal));
    report.counterexample_rows = minimal.size();
    shared<environment> on = load_environment(report.counterexample);
    outcome expected = evaluate_safely(reference, on);
    outcome given = evaluate_safely(answer, on);
    report.reference = expected.text();
    report.answer = given.text();
    if (!given.failed()) {
        for (std::string& note : compare_results(*expected.result, *given.result, strict_names).notes)
            report.notes.push_back(std::move(note));
    }
}
} // namespace

check_report check_answer(const shared<environment>& given, const expression& reference,
                          const std::string& answer_source, const check_options& options)
{
    check_report report;
    database rows(*given);
    report.given_rows = rows.all_rows().size();
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
        report.reference = evaluate_safely(reference, load_environment(report.counterexample)).text();
        return report;
    }
    for (const lint_note& note : lint_expression(*given, answer_source))
        report.notes.push_back("line " + std::to_string(note.line) + ", column " + std::to_string(note.column) + ": "
                               + note.message);

    outcome on_given = evaluate_safely(*answer, given);
    // Past the memory budget on the given database: no counterexample to
    // shrink (each smaller database tried would outgrow it again), but the
    // answer's own failure, reported by the caller (grading.h).
    if (outgrew_memory(on_given))
        throw tool_error(failure_kind::memory, on_given.error);
    if (outcomes_differ(expected, on_given, options.strict_names)) {
        shrink_into(report, rows, reference, *answer, options.strict_names);
        explain(report, reference, answer);
        return report;
    }
    instance_generator generator(rows, {&reference, answer.get()});
    draws random(options.seed);
    for (std::size_t i = 0; i < options.instances; ++i) {
        report.instances = i + 1;
        database made(*load_environment(generator.next(random).text()));
        if (differ_on(made, made.all_rows(), reference, *answer, options.strict_names)) {
            report.where = check_where::generated;
            shrink_into(report, made, reference, *answer, options.strict_names);
            explain(report, reference, answer);
            return report;
        }
    }
    report.reference = expected.text();
    report.answer = on_given.text();
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
