// Expressions and conditions walked through their kinds, keywords, operands
// and parameters alone: writing a tree back from the walk must give its own
// written form, and the one walk (evaluate_observed) must give what evaluate
// gives, error messages included, reporting each node in a fixed order.
#include "algebra/condition.h"
#include "algebra/expression.h"
#include "algebra/observed_evaluation.h"
#include "relations/environment.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace qorvantel {
namespace {

using testing::error_of;
using testing::written;

shared<environment> sample()
{
    text input("R(a int, b char(4))\n1, 'x'\n2, 'y'\n3, 'x'\n"
               "S(c int)\n2\n3\n4\n"
               "T(a int, b char(2))\n3, 'x'\n9, 'z'\n");
    text::iterator position = input.begin();
    return parsing<environment>::require("environment", position);
}

shared<expression> read_expression(const std::string& source)
{
    text input(source);
    text::iterator position = input.begin();
    return parsing<expression>::require("expression", position);
}

std::string rewritten(const condition& c)
{
    std::string out = std::string(c.keyword()) + "(";
    if (c.kind() == condition_kind::comparison) {
        EXPECT_TRUE(c.arguments().empty());
        for (std::size_t i = 0; i < c.comparands().size(); ++i)
            out += (i > 0 ? ", " : "") + written(c.comparands()[i]);
    } else {
        EXPECT_TRUE(c.comparands().empty());
        for (std::size_t i = 0; i < c.arguments().size(); ++i)
            out += (i > 0 ? ", " : "") + rewritten(*c.arguments()[i]);
    }
    return out + ")";
}

// The written form rebuilt from the walk alone.
std::string rewritten(const expression& e)
{
    if (e.kind() == expression_kind::relation)
        return written(e.relation_name());
    std::string out = std::string(e.keyword()) + "(";
    expression_list operands = e.operands();
    for (std::size_t i = 0; i < operands.size(); ++i)
        out += (i > 0 ? ", " : "") + rewritten(*operands[i]);
    switch (e.kind()) {
    case expression_kind::select:
        out += ", " + rewritten(*e.predicate());
        break;
    case expression_kind::project:
        for (const auto& each : e.listed_columns())
            out += ", " + written(each);
        break;
    case expression_kind::rename:
        out += ", " + written(e.new_names());
        break;
    default:
        break;
    }
    return out + ")";
}

// Writes down every report of the walk, one line each.
class trace final : public expression_observer {
public:
    std::string lines;

    void enter(const expression& node) override { lines += "enter " + name(node) + "\n"; }
    void evaluated(const expression& node, const node_step& step, const std::vector<node_result>& operands,
                   const node_result& result) override
    {
        lines += name(node) + step_of(step) + " of " + std::to_string(operands.size()) + ": "
            + written(result.result_schema()) + ", "
            + (result.rows() ? std::to_string(*result.rows()) + " rows" : std::string("rows not counted"))
            + (result.built().empty() ? ", not built" : "") + "\n";
    }
    void failed(const expression& node, const node_step& step, const std::exception& error) override
    {
        lines += name(node) + step_of(step) + " failed: " + error.what() + "\n";
    }
    void skipped(const expression& node) override { lines += name(node) + " skipped\n"; }

private:
    static std::string name(const expression& node)
    {
        return node.kind() == expression_kind::relation ? written(node.relation_name()) : node.keyword();
    }
    static std::string step_of(const node_step& step)
    {
        return step.term == 0 ? "" : " step " + std::to_string(step.term) + (step.last ? " (last)" : "");
    }
};

// Checks that every node entered reports once as a whole: evaluated at its
// last step, failed, or skipped.
class completeness final : public expression_observer {
public:
    std::vector<const expression*> entered, finished;

    void enter(const expression& node) override { entered.push_back(&node); }
    void evaluated(const expression& node, const node_step& step, const std::vector<node_result>&,
                   const node_result&) override
    {
        if (step.last)
            finished.push_back(&node);
    }
    void failed(const expression& node, const node_step&, const std::exception&) override { finished.push_back(&node); }
    void skipped(const expression& node) override { finished.push_back(&node); }
};

TEST(WalkTest, TheWalkRebuildsEveryOperatorAndObservedEvaluationAgreesWithEvaluate)
{
    shared<environment> loaded = sample();
    const char* const queries[] = {
        "R",
        "union(R, T)",
        "union(R, T, R)",
        "minus(R, T, select(R, EQ(a, 1)))",
        "product(R, S)",
        "product(S, rename(S, U(d)), rename(S, V(e)))",
        "select(R, AND(GT(a, 1), NOT(EQ(b, 'y')), OR(LT(a, 2, 3), GTE(a, 3), LTE(1, a), NEQ(b, 'x'))))",
        "project(R, b)",
        "project(select(product(R, S), EQ(a, c)), b, c)",
        "select(select(product(R, S, rename(S, U(d))), EQ(a, c)), GT(d, c))",
        "select(select(product(R, S), GT(b, 1)), EQ(a, c))",
        "project(select(select(product(R, S), EQ(a, c)), EQ(b, 'x')), c)",
        "product(R)",
        "rename(project(R, a), P(z))",
        // Errors: the same message, raised at the same step.
        "union(R, S)",
        "product(R, T)",
        "select(R, GT(b, 1))",
        "select(R, EQ(nothing, 1))",
        "project(R, c)",
        "rename(R, P(z))",
        "minus(R, Q, S)",
        "union(R, T, S, Q)",
        "product(R, S, R)",
        "select(product(R, S, rename(R, U(c, d))), EQ(a, 1))",
        "select(select(product(R, S), EQ(a, c)), EQ(b, c))",
        "project(select(product(R, S), EQ(a, c)), a, z)",
    };
    for (const char* query : queries) {
        SCOPED_TRACE(query);
        shared<expression> e = read_expression(query);
        EXPECT_EQ(rewritten(*e), written(e));
        std::string whole, observed;
        completeness seen;
        std::string whole_error = error_of([&] { whole = written(e->evaluate(loaded)); });
        std::string observed_error = error_of([&] { observed = written(evaluate_observed(e, loaded, seen)); });
        EXPECT_EQ(whole_error, observed_error);
        EXPECT_EQ(whole, observed);
        // Every node entered reports once as a whole; with no error, every
        // node is entered.
        std::sort(seen.entered.begin(), seen.entered.end());
        std::sort(seen.finished.begin(), seen.finished.end());
        if (whole_error == "<no error>")
            EXPECT_EQ(seen.entered, seen.finished);
        else
            EXPECT_TRUE(
                std::includes(seen.entered.begin(), seen.entered.end(), seen.finished.begin(), seen.finished.end()));
    }
}

std::string traced(const std::string& query, const shared<environment>& over, walk_errors errors = walk_errors::stop)
{
    trace observer;
    std::string error = error_of([&] { evaluate_observed(read_expression(query), over, observer, errors); });
    return observer.lines + (error == "<no error>" ? "" : "raised: " + error + "\n");
}

TEST(WalkTest, EachNodeIsReportedInEvaluationOrderWithEveryPairwiseStep)
{
    shared<environment> loaded = sample();
    EXPECT_EQ(traced("union(R, T, R)", loaded),
              "enter union\nenter R\nR of 0: R(a int, b char(4)), 3 rows\n"
              "enter T\nT of 0: T(a int, b char(2)), 2 rows\n"
              "union step 1 of 2: (a int, b char(4)), rows not counted, not built\n"
              "enter R\nR of 0: R(a int, b char(4)), 3 rows\n"
              "union step 2 (last) of 2: (a int, b char(4)), 4 rows\n");
    // A join: the product is counted, never built; the select tested
    // together with the one around it is not counted.
    EXPECT_EQ(traced("project(select(select(product(R, S), EQ(a, c)), EQ(b, 'x')), c)", loaded),
              "enter project\nenter select\nenter select\nenter product\n"
              "enter R\nR of 0: R(a int, b char(4)), 3 rows\nenter S\nS of 0: S(c int), 3 rows\n"
              "product step 1 (last) of 2: (a int, b char(4), c int), 9 rows, not built\n"
              "select of 1: (a int, b char(4), c int), rows not counted, not built\n"
              "select of 1: (a int, b char(4), c int), 1 rows, not built\n"
              "project of 1: (c int), 1 rows\n");
    // The first error ends the walk, on the step that raised it.
    EXPECT_EQ(traced("product(S, rename(S, U(d)), S)", loaded),
              "enter product\nenter S\nS of 0: S(c int), 3 rows\nenter rename\nenter S\n"
              "S of 0: S(c int), 3 rows\nrename of 1: U(d int), 3 rows\n"
              "product step 1 of 2: (c int, d int), 9 rows, not built\nenter S\nS of 0: S(c int), 3 rows\n"
              "product step 2 (last) failed: Cannot product non-disjoint schemas: (c int, d int) and S(c int).\n"
              "raised: Cannot product non-disjoint schemas: (c int, d int) and S(c int).\n");
    // Over relations without rows: the schemas, and the errors that need
    // no row; past errors, every operand is still walked.
    EXPECT_EQ(traced("minus(project(Q, a), select(R, EQ(a, 1)), rename(S, P(x, y)))", loaded->without_rows(),
                     walk_errors::continue_past),
              "enter minus\nenter project\nenter Q\nQ failed: Relation Q not found.\nproject skipped\n"
              "enter select\nenter R\nR of 0: R(a int, b char(4)), 0 rows\n"
              "select of 1: R(a int, b char(4)), 0 rows\nenter rename\nenter S\nS of 0: S(c int), 0 rows\n"
              "rename failed: Cannot rename schema S(c int) to P(x, y).\nminus skipped\n");
}

TEST(WalkTest, ComparisonsMeanWhatTheirKeywordsSay)
{
    struct {
        comparison_operator op;
        bool less, equal, greater;
    } const table[] = {
        {comparison_operator::eq, false, true, false}, {comparison_operator::neq, true, false, true},
        {comparison_operator::lt, true, false, false}, {comparison_operator::lte, true, true, false},
        {comparison_operator::gt, false, false, true}, {comparison_operator::gte, false, true, true},
    };
    for (const auto& each : table) {
        EXPECT_EQ(comparison_holds(each.op, -1), each.less);
        EXPECT_EQ(comparison_holds(each.op, 0), each.equal);
        EXPECT_EQ(comparison_holds(each.op, 1), each.greater);
    }
}

} // namespace
} // namespace qorvantel
