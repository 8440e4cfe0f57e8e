// Places on the nodes: every expression, condition and comparand, every
// listed column and new name keeps where it was read, first and last
// character included; and a parse error keeps where reading stopped.
#include "algebra/condition.h"
#include "algebra/expression.h"
#include "relations/schema.h"
#include "text/diagnostics.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace qorvantel {
namespace {

std::string written_range(const source_range& range)
{
    std::ostringstream out;
    out << range.line << ':' << range.column << '-' << range.end_line << ':' << range.end_column;
    return out.str();
}

std::string written_value(const value& of)
{
    std::ostringstream out;
    out << of;
    return out.str();
}

void describe(const condition& node, std::vector<std::string>& into)
{
    into.push_back(std::string(node.keyword()) + ' ' + written_range(node.place()));
    for (const shared<condition>& argument : node.arguments())
        describe(*argument, into);
    ASSERT_EQ(node.comparand_places().size(), node.comparands().size());
    for (std::size_t i = 0; i < node.comparands().size(); ++i)
        into.push_back(written_value(*node.comparands()[i]) + ' ' + written_range(node.comparand_places()[i]));
}

// Every node of the tree in preorder, each as its keyword (or name) and
// its place, then its condition, comparands, listed columns and new names.
void describe(const expression& node, std::vector<std::string>& into)
{
    std::string head
        = node.kind() == expression_kind::relation ? written_value(*node.relation_name()) : std::string(node.keyword());
    into.push_back(head + ' ' + written_range(node.place()));
    for (const shared<expression>& operand : node.operands())
        describe(*operand, into);
    if (!node.predicate().empty())
        describe(*node.predicate(), into);
    ASSERT_EQ(node.listed_column_places().size(), node.listed_columns().size());
    for (std::size_t i = 0; i < node.listed_columns().size(); ++i)
        into.push_back(written_value(*node.listed_columns()[i]) + ' ' + written_range(node.listed_column_places()[i]));
    if (!node.new_names().empty()) {
        const name_schema& names = *node.new_names();
        ASSERT_EQ(node.new_name_places().size(), names.column_names().size() + 1);
        into.push_back(written_value(*names.name()) + ' ' + written_range(node.new_name_places()[0]));
        for (std::size_t i = 0; i < names.column_names().size(); ++i)
            into.push_back(written_value(*names.column_names()[i]) + ' '
                           + written_range(node.new_name_places()[i + 1]));
    }
}

TEST(PlaceTest, EveryNodeKeepsWhereItWasRead)
{
    struct example {
        const char* source;
        std::vector<std::string> places;
    };
    const example examples[] = {
        {"R", {"R 1:1-1:1"}},
        {"  Sailor  ", {"Sailor 1:3-1:8"}},
        {"select(R, GT(a, 1))", {"select 1:1-1:19", "R 1:8-1:8", "GT 1:11-1:18", "a 1:14-1:14", "1 1:17-1:17"}},
        {"select( R ,GT( a 1 'x y' ) )",
         {"select 1:1-1:28", "R 1:9-1:9", "GT 1:12-1:26", "a 1:16-1:16", "1 1:18-1:18", "'x y' 1:20-1:24"}},
        {"union(R, minus(S, T),\n      product(U,\n  V))",
         {"union 1:1-3:5", "R 1:7-1:7", "minus 1:10-1:20", "S 1:16-1:16", "T 1:19-1:19", "product 2:7-3:4",
          "U 2:15-2:15", "V 3:3-3:3"}},
        {"project(R, a,\n bcd)", {"project 1:1-2:5", "R 1:9-1:9", "a 1:12-1:12", "bcd 2:2-2:4"}},
        {"rename(R, S(x,  yz))", {"rename 1:1-1:20", "R 1:8-1:8", "S 1:11-1:11", "x 1:13-1:13", "yz 1:17-1:18"}},
        {"select(R, AND(NOT(EQ(a, -3)),\n  OR(LTE(b, c, 'q'), GT(1, 2))))",
         {"select 1:1-2:32", "R 1:8-1:8", "AND 1:11-2:31", "NOT 1:15-1:28", "EQ 1:19-1:27", "a 1:22-1:22",
          "-3 1:25-1:26", "OR 2:3-2:30", "LTE 2:6-2:19", "b 2:10-2:10", "c 2:13-2:13", "'q' 2:16-2:18", "GT 2:22-2:29",
          "1 2:25-2:25", "2 2:28-2:28"}},
    };
    for (const example& each : examples) {
        SCOPED_TRACE(each.source);
        std::vector<std::string> found;
        describe(*parse_whole<expression>("expression", each.source), found);
        EXPECT_EQ(found, each.places);
    }
}

TEST(PlaceTest, ATreeBuiltByAToolHasNoPlace)
{
    atomic_expression built(shared<value>(new symbol_value("R")));
    EXPECT_FALSE(built.place().known());
}

// The designed report names where a construct began; the furthest place is
// where reading stopped.
TEST(PlaceTest, AParseErrorKeepsWhereReadingStopped)
{
    struct example {
        const char* source;
        std::size_t line, column, furthest_line, furthest_column;
        bool furthest_at_end;
    };
    const example examples[] = {
        {"project(Employee, ename salary)", 1, 1, 1, 25, false},
        {"select(Employee, salary > 30000)", 1, 1, 1, 18, false},
        {"select(R, GT(a, 1)", 1, 1, 2, 1, true},
        {"select(R,\n  AND(GT(a, 1),\n      LT(b, 2)) x", 1, 1, 3, 17, false},
        {"Employee join Department", 1, 10, 1, 10, false},
        {"project(R, )", 1, 11, 1, 12, false},
        {"rename(R, S(a b, ))", 1, 17, 1, 18, false},
    };
    for (const example& each : examples) {
        SCOPED_TRACE(each.source);
        try {
            parse_whole<expression>("expression", each.source);
            ADD_FAILURE() << "no error";
        } catch (const input_error& error) {
            ASSERT_TRUE(error.place().has_value());
            ASSERT_TRUE(error.furthest().has_value());
            EXPECT_EQ(error.place()->line, each.line);
            EXPECT_EQ(error.place()->column, each.column);
            EXPECT_EQ(error.furthest()->at_end, each.furthest_at_end);
            if (!each.furthest_at_end) {
                EXPECT_EQ(error.furthest()->line, each.furthest_line);
                EXPECT_EQ(error.furthest()->column, each.furthest_column);
            }
        }
    }
}

} // namespace
} // namespace qorvantel
