// Feeds arbitrary bytes to the checker's constraint and guarantee paths:
// the input is split at NUL bytes into constraint lines, a reference and an
// answer (missing parts are empty; without a NUL the whole input is the
// answer, checked against a fixed reference), checked over a small fixed
// database with a few generated databases and a bound of 2 rows.
//
// A fault of the constraints or the reference is a check_setup_error, the
// expected outcome for most inputs. A crash, a sanitizer report, a leak,
// another exception or a broken invariant below is a finding.
//
// Invariants checked on every check that gives a verdict:
// - checking twice gives the same verdict, guarantee and counterexample;
// - a "differs" counterexample keeps the declared keys and references, and
//   the interpreter, reading it as text, confirms the difference;
// - a "same" verdict carries a guarantee, and "bounded" its bound;
// - a reported failure of the reference fails in the interpreter.
#include "check/checker.h"
#include "check/constraints.h"
#include "check/database.h"
#include "check/sameness.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>

using namespace qorvantel;

namespace {
const char* const database_text = "R(a int, b char(2))\n1, 'x'\n2, 'y'\n3, 'x'\nS(a int, c int)\n2, 5\n3, 1\n";

[[noreturn]] void fail(const char* what, const std::string& detail)
{
    std::fprintf(stderr, "guarantee_fuzzer: %s\n%s\n", what, detail.c_str());
    std::abort();
}

std::string part(const std::string& input, std::size_t index)
{
    std::size_t start = 0;
    for (std::size_t i = 0; i < index; ++i) {
        start = input.find('\0', start);
        if (start == std::string::npos)
            return "";
        ++start;
    }
    std::size_t end = input.find('\0', start);
    return input.substr(start, end == std::string::npos ? std::string::npos : end - start);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string input(reinterpret_cast<const char*>(data), size);
    bool split = input.find('\0') != std::string::npos;
    std::string constraints = split ? part(input, 0) : "";
    std::string reference = split ? part(input, 1) : "select(R, GT(a, 1))";
    std::string answer = split ? part(input, 2) : input;
    check_options options;
    options.instances = 8;
    options.bound = 2;
    // A small step budget: the same verdict on every run, and many inputs
    // a second.
    options.solver_steps = 50000;
    try {
        options.constraints = read_constraints(constraints, "constraints");
    } catch (const std::runtime_error&) {
        return 0;
    }
    try {
        check_report first = check_answer(database_text, reference, answer, options);
        check_report second = check_answer(database_text, reference, answer, options);
        if (first.verdict != second.verdict || first.guarantee != second.guarantee
            || first.counterexample != second.counterexample || first.bound != second.bound)
            fail("two checks differ", first.counterexample + "\n----\n" + second.counterexample);
        if (first.verdict == check_verdict::same) {
            if (first.guarantee == check_guarantee::none)
                fail("a same verdict without a guarantee", answer);
            if ((first.guarantee == check_guarantee::bounded) != (first.bound > 0))
                fail("a bound without bounded, or bounded without its bound", answer);
        } else if (!first.counterexample.empty()) {
            shared<environment> on = load_environment(first.counterexample);
            database rows(*on);
            resolved_constraints resolved = resolve_constraints(options.constraints, rows);
            if (!constraints_hold(resolved, rows))
                fail("a counterexample breaks the constraints", first.counterexample);
            outcome expected = evaluate_safely(*parse_expression(reference), on);
            shared<expression> parsed;
            try {
                parsed = parse_expression(answer);
            } catch (const std::runtime_error&) {
            }
            if (!parsed.empty() && !outcomes_differ(expected, evaluate_safely(*parsed, on), options.strict_names))
                fail("the counterexample shows no difference", first.counterexample);
        }
        if (!first.reference_failed.message.empty()
            && !evaluate_safely(*parse_expression(reference), load_environment(first.reference_failed.database))
                    .failed())
            fail("a reported failure of the reference does not fail", first.reference_failed.database);
    } catch (const check_setup_error&) {
    } catch (const std::bad_alloc&) {
    }
    return 0;
}
