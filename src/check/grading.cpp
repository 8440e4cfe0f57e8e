// Grading submissions against an exercise file.
#include "check/grading.h"

#include "check/check_report.h"
#include "check/database.h"
#include "check/exercises.h"
#include "check/json_text.h"
#include "check/sameness.h"
#include "check/submission.h"
#include "text/failure.h"
#include "text/messages.h"
#include "text/pool.h"

#include <algorithm>
#include <map>
#include <new>

namespace qorvantel {

void forbidden_used(const expression& query, const std::vector<std::string>& forbidden, std::vector<std::string>& used)
{
    std::string word = query.keyword();
    if (std::find(forbidden.begin(), forbidden.end(), word) != forbidden.end()
        && std::find(used.begin(), used.end(), word) == used.end())
        used.push_back(word);
    for (const shared<expression>& operand : query.operands())
        forbidden_used(*operand, forbidden, used);
}

std::string memory_failure::text() const { return message + "\n" + (note.empty() ? "" : "Note: " + note + "\n"); }

memory_failure memory_failure_of(const std::exception_ptr& thrown, const std::string& answer_source)
{
    failure failed = failure_of(thrown);
    if (failed.kind != failure_kind::memory)
        std::rethrow_exception(thrown);
    // What the failed evaluation left free goes back before anything else.
    pool::trim();
    memory_failure out{failed.message, ""};
    std::vector<std::string> used;
    forbidden_used(*parse_expression(answer_source), {"product"}, used);
    if (!used.empty())
        out.note = messages::product_out_of_memory;
    return out;
}

namespace {
struct prepared_exercise {
    const exercise* definition;
    shared<environment> database;
    std::vector<shared<expression>> references;
};

const char* const no_answer = "No answer.\n";

std::string folder_of(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

std::string resolved(const std::string& folder, const std::string& path)
{
    return !path.empty() && path[0] == '/' ? path : folder + path;
}

answer_mark grade_answer(const prepared_exercise& exercise, const std::string& source, const check_options& defaults)
{
    check_options options = defaults;
    options.strict_names = options.strict_names || exercise.definition->strict_names;
    options.constraints = exercise.definition->constraints;
    answer_mark result;
    if (!exercise.definition->forbidden.empty()) {
        try {
            std::vector<std::string> used;
            forbidden_used(*parse_expression(source), exercise.definition->forbidden, used);
            if (!used.empty()) {
                std::string list;
                for (const std::string& word : used)
                    list += (list.empty() ? "" : ", ") + word;
                result.output = "The answer uses " + list + ", which this exercise forbids.\n";
                return result;
            }
        } catch (const std::runtime_error&) {
            // The check below reports the parse error.
        } catch (const std::bad_alloc&) {
        }
    }
    // Right when it agrees with any accepted answer; otherwise reported
    // against the first.
    std::string first_report;
    for (std::size_t i = 0; i < exercise.references.size(); ++i) {
        check_report report;
        try {
            report = check_answer(exercise.database, *exercise.references[i], source, options);
        } catch (...) {
            // Past the memory budget: this answer's failure, and grading
            // goes on with the next.
            result.output = memory_failure_of(std::current_exception(), source).text();
            return result;
        }
        if (!report.reference_failed.message.empty())
            result.warning = "accepted answer " + std::to_string(i + 1) + ": " + reference_failure_words(report);
        if (report.verdict == check_verdict::same) {
            result.score = exercise.definition->points;
            result.output = report_text(report);
            return result;
        }
        if (i == 0)
            first_report = report_text(report);
    }
    result.output = first_report;
    return result;
}

// grade_answer, with what it raises (a fault of the exercise's data, an
// interrupt, memory outside the check) kept in the mark, so that a worker
// process can hand it back like any other mark.
answer_mark checked_answer(const prepared_exercise& exercise, const std::string& source, const check_options& options)
{
    try {
        return grade_answer(exercise, source, options);
    } catch (...) {
        failure failed = failure_of(std::current_exception());
        answer_mark raised;
        raised.out_of_memory = failed.kind == failure_kind::memory;
        raised.raised = failed.message;
        return raised;
    }
}

std::string padded(const std::string& text, std::size_t width, bool right)
{
    if (text.size() >= width)
        return text;
    std::string pad(width - text.size(), ' ');
    return right ? pad + text : text + pad;
}

std::string fraction(double score, double max) { return points_text(score) + "/" + points_text(max); }

// Gradescope takes at most 1 MB of output per test; the reports' tables
// are cut already, so only rows of very long strings come near this.
const std::size_t output_limit = 256 * 1024;

std::string bounded(const std::string& output)
{
    if (output.size() <= output_limit)
        return output;
    std::size_t cut = output.rfind('\n', output_limit);
    return output.substr(0, cut == std::string::npos ? output_limit : cut + 1)
        + "(output cut: " + std::to_string(output.size()) + " bytes in all)\n";
}

// The problems of one submission, a line each.
std::string problems_text(const std::string& name, const std::vector<submission_problem>& problems)
{
    std::string out;
    for (const submission_problem& problem : problems)
        out += name + ":" + std::to_string(problem.line) + ": " + problem.message + "\n";
    return out;
}

std::string gradescope_json(const std::vector<const exercise*>& exercises, const std::vector<answer_mark>& marks,
                            const std::string* submission, const std::string& problems)
{
    double score = 0, max = 0;
    std::string tests;
    for (std::size_t e = 0; e < exercises.size(); ++e) {
        score += marks[e].score;
        max += exercises[e]->points;
        tests += std::string(e > 0 ? ", " : "") + "{\"name\": " + json_string(exercises[e]->id)
            + ", \"score\": " + points_text(marks[e].score) + ", \"max_score\": " + points_text(exercises[e]->points)
            + ", \"output\": " + json_string(bounded(marks[e].output)) + "}";
    }
    std::string out = "{";
    if (submission != nullptr)
        out += "\"submission\": " + json_string(*submission) + ", ";
    out += "\"score\": " + points_text(score) + ", \"max_score\": " + points_text(max);
    if (!problems.empty())
        out += ", \"output\": " + json_string(bounded(problems));
    return out + ", \"tests\": [" + tests + "]}\n";
}

// An accepted answer that its own exercise's rules forbid: the teacher
// hears of it, since every student who answers like it loses the points.
void warn_forbidden(const exercise& each, const expression& reference, std::size_t line, const std::string& file,
                    std::vector<std::string>& warnings)
{
    std::vector<std::string> used;
    forbidden_used(reference, each.forbidden, used);
    for (const std::string& word : used)
        warnings.push_back(file + ":" + std::to_string(line) + ": the accepted answer uses " + word
                           + ", which exercise " + each.id + " forbids.");
}
} // namespace

grading_run grade_submissions(const std::string& exercises_name, const std::vector<std::string>& submission_names,
                              const file_reader& read, const check_options& options, const answer_checks& checks)
{
    grading_run run;
    exercise_file file = parse_exercises(read(exercises_name), exercises_name);
    std::string folder = folder_of(exercises_name);
    std::map<std::string, shared<environment>> databases;
    std::vector<prepared_exercise> prepared;
    std::vector<const exercise*> order;
    for (const exercise& each : file.exercises) {
        bool own = !each.database.empty();
        std::string path = resolved(folder, own ? each.database : file.database);
        std::size_t line = own ? each.database_line : file.database_line;
        std::string where = exercises_name + ":" + std::to_string(line) + ": ";
        if (databases.count(path) == 0) {
            std::string source;
            try {
                source = read(path);
            } catch (const std::runtime_error& error) {
                throw check_setup_error(where + error.what());
            }
            try {
                databases[path] = load_environment(source);
            } catch (const std::runtime_error& error) {
                throw check_setup_error(where + path + ": " + error.what());
            }
        }
        prepared_exercise ready{&each, databases[path], {}};
        std::string problem = constraint_problem(each.constraints, database(*ready.database));
        if (!problem.empty())
            throw check_setup_error(exercises_name + ":" + std::to_string(each.line) + ": exercise " + each.id + ": "
                                    + problem);
        for (std::size_t a = 0; a < each.answers.size(); ++a) {
            std::string at = exercises_name + ":" + std::to_string(each.answer_lines[a]) + ": ";
            try {
                ready.references.push_back(parse_expression(each.answers[a]));
            } catch (const std::runtime_error& error) {
                throw check_setup_error(at + error.what());
            }
            outcome expected = evaluate_safely(*ready.references.back(), ready.database);
            if (expected.failed())
                throw check_setup_error(at + expected.error);
            warn_forbidden(each, *ready.references.back(), each.answer_lines[a], exercises_name, run.warnings);
        }
        prepared.push_back(std::move(ready));
        order.push_back(&each);
    }

    std::size_t name_width = 10;
    for (const std::string& name : submission_names)
        name_width = std::max(name_width, name.size());
    std::string table = padded("submission", name_width, false);
    double max_total = 0;
    std::vector<std::string> ids;
    // Each exercise's column as wide as its id or its points, whichever
    // is wider.
    std::vector<std::size_t> widths;
    for (const exercise* each : order) {
        ids.push_back(each->id);
        widths.push_back(std::max(each->id.size(), 2 * points_text(each->points).size() + 1));
        table += " " + padded(each->id, widths.back(), true);
        max_total += each->points;
    }
    table += " " + padded("total", 9, true) + "\n";
    // Every submission is read first; many students give the same answer,
    // and each distinct text is checked once.
    std::vector<std::pair<std::size_t, std::string>> tasks;
    std::map<std::pair<std::size_t, std::string>, std::size_t> task_of;
    const std::size_t none = ~std::size_t{0};
    std::vector<std::string> broken_of(submission_names.size());
    std::vector<std::vector<submission_problem>> problems_of(submission_names.size());
    std::vector<std::vector<std::size_t>> tasks_of(submission_names.size(),
                                                   std::vector<std::size_t>(order.size(), none));
    for (std::size_t s = 0; s < submission_names.size(); ++s) {
        try {
            submission blocks = parse_submission(read(submission_names[s]));
            matched_submission matched = match_submission(blocks, ids, exercises_name);
            problems_of[s] = matched.problems;
            for (std::size_t e = 0; e < order.size(); ++e) {
                if (matched.answers[e] == nullptr)
                    continue;
                auto key = std::make_pair(e, matched.answers[e]->source);
                auto known = task_of.emplace(key, tasks.size());
                if (known.second)
                    tasks.push_back(key);
                tasks_of[s][e] = known.first->second;
            }
        } catch (const std::bad_alloc&) {
            broken_of[s] = submission_names[s] + ": " + messages::out_of_memory;
        } catch (const std::runtime_error& error) {
            broken_of[s] = error.what();
        }
    }
    std::vector<answer_mark> checked = checks(tasks.size(), [&](std::size_t t) {
        return checked_answer(prepared[tasks[t].first], tasks[t].second, options);
    });
    if (checked.size() != tasks.size())
        throw std::logic_error("grading: a mark per answer expected");

    std::string details;
    for (std::size_t s = 0; s < submission_names.size(); ++s) {
        const std::string& name = submission_names[s];
        std::string& broken = broken_of[s];
        std::vector<answer_mark> marks(order.size());
        for (std::size_t e = 0; e < order.size(); ++e) {
            if (tasks_of[s][e] == none) {
                marks[e].output = no_answer;
                continue;
            }
            marks[e] = checked[tasks_of[s][e]];
            // The first answer whose check raised makes the row, as an
            // unreadable file does.
            if (broken.empty() && !marks[e].raised.empty())
                broken = marks[e].out_of_memory ? name + ": " + messages::out_of_memory : marks[e].raised;
        }
        if (!broken.empty()) {
            for (answer_mark& each : marks)
                each = answer_mark{0, broken + "\n", "", "", false};
        }
        const std::vector<submission_problem>& problem_list = problems_of[s];
        std::string problems = broken.empty() ? problems_text(name, problem_list) : "";
        double total = 0;
        table += padded(name, name_width, false);
        for (std::size_t e = 0; e < order.size(); ++e) {
            total += marks[e].score;
            table += " " + padded(fraction(marks[e].score, order[e]->points), widths[e], true);
            if (!marks[e].warning.empty())
                details += "\nWarning, exercise " + order[e]->id + ", " + marks[e].warning;
            if (marks[e].score < order[e]->points) {
                run.all_correct = false;
                if (broken.empty() && !marks[e].output.empty() && marks[e].output != no_answer)
                    details += "\n" + name + ", exercise " + order[e]->id + ": "
                        + fraction(marks[e].score, order[e]->points) + "\n" + marks[e].output;
            }
        }
        table += " " + padded(fraction(total, max_total), 9, true);
        if (!problem_list.empty() && broken.empty())
            table += "  " + std::to_string(problem_list.size()) + (problem_list.size() == 1 ? " problem" : " problems")
                + " in the file, below";
        table += "\n";
        if (!broken.empty())
            details += "\n" + broken + "\n";
        if (!problems.empty()) {
            details += "\n" + problems;
            run.all_correct = false;
        }
        run.json += gradescope_json(order, marks, submission_names.size() == 1 ? nullptr : &name, problems);
    }
    run.text = table + details;
    return run;
}

} // namespace qorvantel
