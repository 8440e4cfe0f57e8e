// Explaining a check's difference.
#include "check/explanation.h"

#include "check/database.h"

#include <new>
#include <stdexcept>

namespace qorvantel {

void explain(check_report& report, const expression& reference, const shared<expression>& answer)
{
    try {
        // The counterexample as the check built it, never its text read back.
        const shared<environment>& on = report.counterexample_database;
        if (on.empty())
            return;
        // The walk takes the tree by handle: the reference is read again
        // from its written form (its places are not needed).
        shared<expression> expected = parse_expression(written(reference));
        report.fault = locate_fault(on, expected, answer);
        report.differences = explain_differences(on, expected, answer);
    } catch (const std::bad_alloc&) {
    } catch (const std::runtime_error&) {
    }
}

} // namespace qorvantel
