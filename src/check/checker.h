// Checking an answer against a reference: evaluate both on the given
// database; if they differ, shrink the database to a 1-minimal
// counterexample; if they agree, search generated databases of the same
// schemas and shrink the first difference found there.
#pragma once

#include "algebra/expression.h"
#include "check/constraints.h"
#include "check/fault.h"
#include "check/provenance.h"
#include "relations/environment.h"
#include "text/failure.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace qorvantel {

struct check_options {
    bool strict_names = false;
    // Generated databases tried when the given one shows no difference:
    // enough to meet most boundaries and shared values among a few rows
    // each, few enough that one check stays well under a second.
    std::size_t instances = 500;
    std::uint64_t seed = 1;
    // Rows per relation of the exhaustive check (0: no bounded check), and
    // the solver's budget for each call: steps (Z3's resource limit, the
    // same on every run, so that a verdict does not depend on the load of
    // the machine) and, as a last resort, wall-clock time. A proof uses
    // the bound it needs.
    std::size_t bound = 4;
    unsigned solver_steps = 400000;
    unsigned solver_milliseconds = 20000;
    // The keys and references every database of the check keeps.
    constraint_set constraints;
};

enum class check_verdict : unsigned char { same, differs };
enum class check_where : unsigned char { given, generated };
// How sure a "same" verdict is: proved on every database; no difference on
// any database of at most bound rows per relation; or only searched.
enum class check_guarantee : unsigned char { none, proved, bounded, searched };

// The reference failed on a database made for the check: told to the
// teacher, never skipped silently.
struct reference_failure {
    std::string database;
    std::string message;
};

struct check_report {
    check_verdict verdict = check_verdict::same;
    check_where where = check_where::given;
    // The counterexample's environment text and each expression's result
    // on it as the console writes it (for a failure, its message); the
    // given database's results when they are the same.
    std::string counterexample;
    std::string reference;
    std::string answer;
    // The same as relations, for a reader that shows them as tables (the
    // page): the counterexample, and each expression's result where the
    // text above holds one (empty where it holds a message).
    shared<environment> counterexample_database;
    shared<relation> reference_result;
    shared<relation> answer_result;
    std::size_t counterexample_rows = 0;
    std::size_t given_rows = 0;
    std::vector<std::string> notes;
    std::size_t instances = 0;
    // Set for a "same" verdict: none for "differs".
    check_guarantee guarantee = check_guarantee::none;
    std::size_t bound = 0;
    // Whether the verdict holds under declared keys and references.
    bool constrained = false;
    // Where the reference itself failed; empty message when it never did.
    reference_failure reference_failed;
    // When it differs: the part of the answer at fault, and why each row
    // in which the results differ is there (explanation.h).
    std::optional<answer_fault> fault;
    std::vector<row_difference> differences;
};

// The guarantee as --json writes it: "proved", "bounded", "searched", or
// empty for none.
const char* guarantee_name(check_guarantee guarantee) noexcept;
// The guarantee in words, one sentence; empty for none.
std::string guarantee_words(const check_report& report);
// The reference's failure in words, with the database; empty for none.
std::string reference_failure_words(const check_report& report);

// The environment or the reference cannot be used: the check has no
// verdict. what() is "<which>: " and the interpreter's message.
using check_setup_error = setup_error;

// Reads one expression; raises the interpreter's parse errors.
shared<expression> parse_expression(const std::string& source);

check_report check_answer(const std::string& environment_source, const std::string& reference_source,
                          const std::string& answer_source, const check_options& options);

// The same over an environment and a reference already read, as grading
// does for many answers to one exercise.
check_report check_answer(const shared<environment>& given, const expression& reference,
                          const std::string& answer_source, const check_options& options);

} // namespace qorvantel
