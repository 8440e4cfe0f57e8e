// Expressions and conditions walked through their kinds, keywords, operands
// and parameters alone: writing a tree back from the walk must give its own
// written form, and evaluating it node by node through apply must give what
// evaluate gives, error messages included.
#include "algebra/condition.h"
#include "algebra/expression.h"
#include "relations/environment.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <string>

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

// Evaluates node by node: the operands first, then the node over their
// results; n-ary operators one two-term step at a time.
shared<relation> stepwise(const expression& e, const shared<environment>& loaded)
{
    expression_list operands = e.operands();
    if (e.kind() == expression_kind::union_of || e.kind() == expression_kind::minus
        || e.kind() == expression_kind::product) {
        shared<relation> so_far = stepwise(*operands[0], loaded);
        for (std::size_t i = 1; i < operands.size(); ++i)
            so_far = e.apply({so_far, stepwise(*operands[i], loaded)}, loaded);
        return so_far;
    }
    relation_list results;
    for (const auto& operand : operands)
        results.push_back(stepwise(*operand, loaded));
    return e.apply(results, loaded);
}

TEST(WalkTest, TheWalkRebuildsEveryOperatorAndApplyAgreesWithEvaluate)
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
    };
    for (const char* query : queries) {
        SCOPED_TRACE(query);
        shared<expression> e = read_expression(query);
        EXPECT_EQ(rewritten(*e), written(e));
        std::string whole, steps;
        std::string whole_error = error_of([&] { whole = written(e->evaluate(loaded)); });
        std::string steps_error = error_of([&] { steps = written(stepwise(*e, loaded)); });
        EXPECT_EQ(whole_error, steps_error);
        EXPECT_EQ(whole, steps);
    }
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
