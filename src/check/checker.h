// Checking an answer against a reference: evaluate both on the given
// database; if they differ, shrink the database to a 1-minimal
// counterexample; if they agree, search generated databases of the same
// schemas and shrink the first difference found there.
#pragma once

#include "algebra/expression.h"
#include "check/fault.h"
#include "check/provenance.h"
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
};

enum class check_verdict : unsigned char { same, differs };
enum class check_where : unsigned char { given, generated };

struct check_report {
    check_verdict verdict = check_verdict::same;
    check_where where = check_where::given;
    // The counterexample's environment text and each expression's result
    // on it as the console writes it (for a failure, its message); the
    // given database's results when they are the same.
    std::string counterexample;
    std::string reference;
    std::string answer;
    std::size_t counterexample_rows = 0;
    std::size_t given_rows = 0;
    std::vector<std::string> notes;
    std::size_t instances = 0;
    // When it differs: the part of the answer at fault, and why each row
    // in which the results differ is there (explanation.h).
    std::optional<answer_fault> fault;
    std::vector<row_difference> differences;
};

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
