// Generated databases: the pools columns of one role share, the small
// domains, the constraints they keep; and the constraint lines.
#include "check/bounded_check.h"
#include "check/checker.h"
#include "check/constraints.h"
#include "check/database.h"
#include "check/instances.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace qorvantel {
namespace {

std::string pool_text(const instance_generator& generator, std::size_t relation, std::size_t column)
{
    std::string out;
    for (const shared<value>& each : generator.column_pool(relation, column))
        out += (out.empty() ? "" : " ") + written(*each);
    return out;
}

TEST(Instances, PoolsHoldAHandfulOfGivenValuesLiteralsAndNeighbours)
{
    struct row {
        const char* environment;
        const char* query;
        std::size_t relation, column;
        const char* pool;
    };
    const std::vector<row> rows = {
        {"R(a int)\n5\n", "select(R, GT(a, 35))", 0, 0, "5 34 35 36"},
        // No bound of the type unless a literal is one.
        {"R(a int)\n", "select(R, LT(a, 2147483647))", 0, 0, "2147483646 2147483647"},
        // Nothing given, no literal: small invented values.
        {"R(a int)\n", "R", 0, 0, "1 2 3"},
        {"R(s char(5))\n'x'\n", "select(R, EQ(s, 'abc'))", 0, 0, "'abb' 'abc' 'abc ' 'x'"},
        {"R(s char(3))\n", "select(R, EQ(s, 'abc'))", 0, 0, "'abb' 'abc' 'abd'"},
        // The apostrophe is stepped over; a trailing space left out.
        {"R(s char(4))\n", "select(R, OR(EQ(s, 'a('), EQ(s, 'b ')))", 0, 0, "'a&' 'a(' 'a( ' 'b' 'b ' 'b  '"},
        // Literals stay with the columns they are compared with.
        {"R(a int, b int)\n1, 7\n", "select(R, EQ(b, 3))", 0, 0, "1"},
        // At most a handful of a column's values, spread over their order.
        {"R(a int)\n1\n2\n3\n4\n5\n6\n7\n8\n9\n", "R", 0, 0, "1 3 5 7 9"},
        // Compared columns share one pool, through a rename.
        {"R(a int)\n1\nS(b int)\n2\n", "select(product(R, rename(S, T(c))), EQ(a, c))", 1, 0, "1 2"},
        // A union puts columns in one place.
        {"R(a int)\n1\nS(b int)\n2\n", "union(R, rename(S, T(a)))", 0, 0, "1 2"},
        // Unrelated columns do not.
        {"R(a int)\n1\nS(b int)\n2\n", "product(R, S)", 0, 0, "1"},
    };
    for (const row& each : rows) {
        SCOPED_TRACE(each.query);
        database given(*load_environment(each.environment));
        shared<expression> parsed = parse_expression(each.query);
        instance_generator generator(given, {parsed.get()});
        EXPECT_EQ(pool_text(generator, each.relation, each.column), each.pool);
    }
}

TEST(Instances, DatabasesDrawSmallDomainsAndKeepTheConstraints)
{
    database given(*load_environment("S(sid int, name char(3))\n1, 'x'\n2, 'y'\n3, 'z'\n4, 'w'\n"
                                     "R(sid int, day int)\n1, 10\n2, 11\n3, 12\n"));
    shared<expression> query = parse_expression("select(product(S, rename(R, Q(rsid, day))), EQ(sid, rsid))");
    constraint_set declared;
    read_constraint_line("key: S(sid)", declared);
    read_constraint_line("references: R(sid) -> S(sid)", declared);
    resolved_constraints constraints = resolve_constraints(declared, given);
    instance_generator generator(given, {query.get()}, constraints);
    draws first(42), second(42);
    std::size_t with_rows = 0;
    for (int i = 0; i < 200; ++i) {
        database a = generator.next(first), b = generator.next(second);
        EXPECT_EQ(a.text(), b.text()) << "the same seed draws the same databases";
        EXPECT_TRUE(constraints_hold(constraints, a)) << a.text();
        std::set<std::string> days;
        for (const shared<row>& each : a.relations()[1].rows)
            days.insert(written(*(*each)[1]));
        EXPECT_LE(days.size(), 3u) << "one to three values a column";
        with_rows += a.relations()[1].rows.empty() ? 0 : 1;
    }
    EXPECT_GT(with_rows, 50u);
}

TEST(Constraints, LinesReadOrSayWhatIsWrong)
{
    struct row {
        const char* line;
        const char* read; // the set's text, or the start of the error
    };
    const std::vector<row> rows = {
        {"key: Sailor(sid)", "key: Sailor(sid)\n"},
        {"key:Sailor( sid , bid )", "key: Sailor(sid, bid)\n"},
        {"references: Reserve(sid) -> Sailor(sid)", "references: Reserve(sid) -> Sailor(sid)\n"},
        {"key: Sailor", "a key is written RELATION(COLUMN, ...)"},
        {"key: Sailor()", "a key names no column"},
        {"key: Sailor(sid, sid)", "a key: column sid is named twice."},
        {"references: Reserve(sid) Sailor(sid)", "a reference is written"},
        {"references: Reserve(sid, bid) -> Sailor(sid)", "a reference names as many columns"},
        {"keys: Sailor(sid)", "neither"},
    };
    for (const row& each : rows) {
        SCOPED_TRACE(each.line);
        constraint_set into;
        std::string got;
        try {
            got = read_constraint_line(each.line, into) ? into.text() : "neither";
        } catch (const std::runtime_error& error) {
            got = error.what();
        }
        EXPECT_EQ(got.substr(0, std::string(each.read).size()), each.read);
    }
}

TEST(Constraints, ResolvedAgainstTheDatabaseAndTested)
{
    database given(*load_environment("S(sid int, n char(2))\n1, 'a'\n2, 'b'\nR(sid int)\n1\n"));
    struct row {
        const char* lines;
        const char* outcome; // "holds", "breaks ..." or the error's start
    };
    const std::vector<row> rows = {
        {"key: S(sid)\nreferences: R(sid) -> S(sid)\n", "holds"},
        {"key: S(n)\n", "holds"},
        {"references: S(sid) -> R(sid)\n", "breaks reference S(sid) -> R(sid)"},
        {"key: T(sid)\n", "key T(sid): the database has no relation T."},
        {"key: S(x)\n", "key S(x): S has no column x."},
        {"references: R(sid) -> S(n)\n", "reference R(sid) -> S(n): sid and n are of different kinds."},
    };
    for (const row& each : rows) {
        SCOPED_TRACE(each.lines);
        std::string got;
        try {
            constraint_set declared = read_constraints(each.lines, "c");
            resolved_constraints resolved = resolve_constraints(declared, given);
            std::string broken = broken_constraint(declared, resolved, given);
            got = broken.empty() ? "holds" : "breaks " + broken;
        } catch (const std::runtime_error& error) {
            got = error.what();
        }
        EXPECT_EQ(got, each.outcome);
    }
}

TEST(ProofBounds, OccurrencesInOneBranchAndReferencedRows)
{
    database shape(*load_environment("R(a int)\nS(b int)\n"));
    struct row {
        const char* reference;
        const char* answer;
        const char* references; // constraint lines
        const char* bounds;     // "R S" counts, or "none"
    };
    const std::vector<row> rows = {
        {"R", "select(R, GT(a, 1))", "", "1 0"},
        {"product(R, rename(R, T(c)))", "R", "", "2 0"},
        {"union(product(R, S), R)", "S", "", "1 1"},
        {"minus(R, R)", "R", "", "none"},
        {"R", "R", "references: R(a) -> S(b)\n", "1 1"},
        {"product(R, rename(R, T(c)))", "S", "references: R(a) -> S(b)\n", "2 3"},
        {"R", "R", "references: R(a) -> R(a)\n", "none"},
    };
    for (const row& each : rows) {
        SCOPED_TRACE(each.reference);
        shared<expression> reference = parse_expression(each.reference);
        shared<expression> answer = parse_expression(each.answer);
        resolved_constraints constraints = resolve_constraints(read_constraints(each.references, "c"), shape);
        auto bounds = proof_bounds(shape, *reference, *answer, constraints);
        std::string got = "none";
        if (bounds)
            got = std::to_string((*bounds)[0]) + " " + std::to_string((*bounds)[1]);
        EXPECT_EQ(got, each.bounds);
    }
}

} // namespace
} // namespace qorvantel
