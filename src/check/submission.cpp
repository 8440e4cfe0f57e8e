// Matching submitted blocks to exercises.
#include "check/submission.h"

#include <algorithm>

namespace qorvantel {

namespace {
// The index of the exercise an id names, or ids.size(). An id no exercise
// has exactly is tried without the punctuation a numbered list puts after
// a number ("1.", "1)", "1:").
std::size_t exercise_of(const std::string& id, const std::vector<std::string>& ids, bool& loose)
{
    auto exact = std::find(ids.begin(), ids.end(), id);
    loose = false;
    if (exact != ids.end())
        return static_cast<std::size_t>(exact - ids.begin());
    std::string bare = id.substr(0, id.find_last_not_of(".:)") + 1);
    auto found = std::find(ids.begin(), ids.end(), bare);
    loose = found != ids.end();
    return static_cast<std::size_t>(found - ids.begin());
}
} // namespace

matched_submission match_submission(const submission& read, const std::vector<std::string>& ids,
                                    const std::string& exercises_name)
{
    matched_submission matched;
    matched.answers.assign(ids.size(), nullptr);
    matched.problems = read.problems;
    for (const submitted_answer& answer : read.answers) {
        bool loose = false;
        std::size_t e = exercise_of(answer.id, ids, loose);
        if (e == ids.size()) {
            matched.problems.push_back(
                {answer.line, "no exercise " + answer.id + " in " + exercises_name + "; this answer is not graded."});
            continue;
        }
        if (loose)
            matched.problems.push_back({answer.line, "\"== " + answer.id + "\" is read as exercise " + ids[e] + "."});
        const submitted_answer*& counted = matched.answers[e];
        if (counted != nullptr)
            matched.problems.push_back({answer.line,
                                        "exercise " + ids[e] + " is answered twice (lines "
                                            + std::to_string(counted->line) + " and " + std::to_string(answer.line)
                                            + "); the answer on line " + std::to_string(answer.line) + " counts."});
        counted = &answer;
    }
    std::stable_sort(matched.problems.begin(), matched.problems.end(),
                     [](const submission_problem& a, const submission_problem& b) { return a.line < b.line; });
    return matched;
}

} // namespace qorvantel
