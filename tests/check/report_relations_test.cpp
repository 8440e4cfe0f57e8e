// The relations a check report keeps beside its text, which the page draws
// as tables: each is what its text writes, and a side whose text is a
// message has none. Checked over every way a report is made.
#include "check/checker.h"

#include "text/dumpable.h"

#include <gtest/gtest.h>

#include <string>

namespace qorvantel {
namespace {

const char* const sailors = "Sailor(sid int, sname char(10), rating int)\n"
                            "22, 'Dustin', 7\n31, 'Lubber', 8\n58, 'Rusty', 10\n";

TEST(ReportRelations, AreWhatTheReportsTextWrites)
{
    struct example {
        const char* name;
        const char* environment;
        const char* reference;
        const char* answer;
        check_verdict verdict;
        bool has_counterexample;
        bool answer_fails;
    };
    const example examples[] = {
        {"differs on the given database", sailors, "select(Sailor, GT(rating, 7))", "select(Sailor, GT(rating, 8))",
         check_verdict::differs, true, false},
        {"differs on a generated database", "R(a int)\n1\n", "select(R, GT(a, 0))", "R", check_verdict::differs, true,
         false},
        {"the answer does not read", sailors, "Sailor", "select(Sailor, rating > 7)", check_verdict::differs, true,
         true},
        {"the answer fails on the database", sailors, "project(Sailor, sname)", "project(Sailor, name)",
         check_verdict::differs, true, true},
        {"the same", sailors, "select(Sailor, GT(rating, 7))", "select(Sailor, GTE(rating, 8))", check_verdict::same,
         false, false},
    };
    check_options options;
    options.instances = 50;
    options.bound = 0;
    for (const example& each : examples) {
        SCOPED_TRACE(each.name);
        check_report report = check_answer(each.environment, each.reference, each.answer, options);
        ASSERT_EQ(report.verdict, each.verdict);
        ASSERT_EQ(!report.counterexample_database.empty(), each.has_counterexample);
        if (each.has_counterexample) {
            EXPECT_EQ(written(*report.counterexample_database), report.counterexample);
        }
        ASSERT_FALSE(report.reference_result.empty());
        EXPECT_EQ(written(*report.reference_result), report.reference);
        ASSERT_EQ(report.answer_result.empty(), each.answer_fails);
        if (!each.answer_fails) {
            EXPECT_EQ(written(*report.answer_result), report.answer);
        }
    }
}

} // namespace
} // namespace qorvantel
