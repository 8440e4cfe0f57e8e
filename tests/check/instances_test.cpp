// The values generated databases draw from: a column's own values, the
// literals of its kind with their neighbours, and the type's bounds.
#include "check/checker.h"
#include "check/database.h"
#include "check/instances.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qorvantel {
namespace {

std::string pool_text(const char* environment_text, const char* query, std::size_t column)
{
    database given(*load_environment(environment_text));
    shared<expression> parsed = parse_expression(query);
    std::string out;
    for (const shared<value>& each : column_pool(given, 0, column, literals_of({parsed.get()})))
        out += (out.empty() ? "" : " ") + written(*each);
    return out;
}

TEST(Instances, PoolsHoldValuesLiteralsNeighboursAndBounds)
{
    struct row {
        const char* environment;
        const char* query;
        std::size_t column;
        const char* pool;
    };
    const std::vector<row> rows = {
        {"R(a int)\n5\n", "select(R, GT(a, 35))", 0, "-2147483647 5 34 35 36 2147483647"},
        {"R(a int)\n", "select(R, LT(a, 2147483647))", 0, "-2147483647 2147483646 2147483647"},
        {"R(a int)\n", "select(R, GT(a, -2147483647))", 0, "-2147483647 -2147483646 2147483647"},
        // The last character one lower, and a space appended.
        {"R(s char(5))\n'x'\n", "select(R, EQ(s, 'abc'))", 0, "'' 'abb' 'abc' 'abc ' 'x'"},
        // No room to append: the last character one higher.
        {"R(s char(3))\n", "select(R, EQ(s, 'abc'))", 0, "'' 'abb' 'abc' 'abd'"},
        // Too long for the column: no value of it can be equal.
        {"R(s char(2))\n", "select(R, EQ(s, 'abc'))", 0, "''"},
        // The apostrophe, which no string holds, is stepped over; a
        // trailing space, the lowest character, is left out.
        {"R(s char(4))\n", "select(R, OR(EQ(s, 'a('), EQ(s, 'b ')))", 0, "'' 'a&' 'a(' 'a( ' 'b' 'b ' 'b  '"},
        // Literals of the other kind stay out of the column's pool.
        {"R(a int, s char(2))\n1, 'q'\n", "select(R, EQ(s, 'z'))", 0, "-2147483647 1 2147483647"},
    };
    for (const row& each : rows) {
        SCOPED_TRACE(each.query);
        EXPECT_EQ(pool_text(each.environment, each.query, each.column), each.pool);
    }
}

TEST(Instances, TheSameSeedDrawsTheSameDatabases)
{
    database given(*load_environment("R(a int, s char(3))\n1, 'x'\n2, 'y'\nS(b int)\n7\n"));
    shared<expression> query = parse_expression("select(R, GT(a, 1))");
    instance_generator generator(given, {query.get()});
    draws first(42), second(42);
    for (int i = 0; i < 20; ++i) {
        database a = generator.next(first), b = generator.next(second);
        EXPECT_EQ(a.text(), b.text());
        EXPECT_TRUE(b.relations()[1].rows.empty()) << "S is not read by the query";
        EXPECT_LE(a.relations()[0].rows.size(), instance_generator::max_rows);
    }
}

} // namespace
} // namespace qorvantel
