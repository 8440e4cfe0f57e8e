// The web glue that needs no browser: the table of slips, row by row, and
// the textbook notation the page shows beside the converter's LaTeX.
#include "parsing/parsing.h"
#include "relations/environment.h"
#include "web/notation.h"
#include "web/operator_tree.h"
#include "web/slips.h"

#include <gtest/gtest.h>

#include <string>

namespace qorvantel {
namespace {

const char* const company = "Employee(ssn int, ename char(10), salary int, dno int)\n1, 'Smith', 30000, 5\n\n"
                            "Department(dnumber int, dname char(14))\n5, 'Research'\n";

// The slip of a line: for a line that parses, evaluated through the tree.
slip_hint slip_of(const std::string& line)
{
    shared<expression> query;
    try {
        query = parse_whole<expression>("expression", line);
    } catch (const std::exception&) {
        return hint_for_slip(line, nullptr, nullptr);
    }
    tree_node root;
    try {
        evaluate_tree(query, root, parse_whole<environment>("environment", company));
    } catch (const std::exception&) {
    }
    return hint_for_slip(line, query.get(), &root);
}

TEST(Slips, EachRowRecognisesItsSlip)
{
    struct row {
        const char* line;
        const char* slip;
        const char* hint_part;
    };
    const row rows[] = {
        {"project(Employee, ename salary)", "missing comma", "ename, salary, not ename salary"},
        {"select(Employee, salary > 30000)", "infix comparison", "GT(salary, 30000) for salary > 30000"},
        {"select(Employee, ename <> 'x')", "infix comparison", "NEQ(ename, 'x')"},
        {"Project(Employee, ename)", "keyword case", "project, not Project"},
        {"select(Employee, and(GT(salary, 1)))", "keyword case", "AND, not and"},
        {"σ(Employee)", "symbol", "σ is written select"},
        {"Employee ⋈ Department", "symbol", "⋈ (join)"},
        {"Employee join Department", "join keyword", "no join operator"},
        {"intersect(Employee, Employee)", "intersect keyword", "minus(A, minus(A, B))"},
        {"product(Employee, Employee)", "shared columns", "rename(Employee, Employee2(ssn2, ename2, salary2, dno2))"},
        {"rename(Employee, E(a))", "rename count", "gives 1 column name, but Employee has 4 columns"},
    };
    for (const row& each : rows) {
        slip_hint found = slip_of(each.line);
        EXPECT_EQ(found.slip, each.slip) << each.line;
        EXPECT_NE(found.hint.find(each.hint_part), std::string::npos) << each.line << ": " << found.hint;
    }
}

TEST(Slips, NoHintWithoutASlip)
{
    EXPECT_EQ(slip_of("Nobody").hint, "");
    EXPECT_EQ(slip_of("select(Employee, EQ(ename, 'a > b'))").hint, "");
    EXPECT_EQ(slip_of("project(Employee, nosuch)").hint, "");
}

TEST(Notation, FormulaSymbolsAndLatex)
{
    json_writer out;
    out.begin_object();
    write_notation(
        out,
        *parse_whole<expression>(
            "expression", "project(select(union(Employee, Employee), AND(GT(salary, 1), NOT(EQ(dno, 5)))), ename)"));
    out.end_object();
    EXPECT_EQ(out.result(),
              "{\"formula\":[\"π\",{\"sub\":[\"ename\"]},\"(σ\",{\"sub\":[\"salary > 1 ∧ ¬dno = 5\"]},"
              "\"(Employee ∪ Employee))\"],\"symbols\":[\"π ename\",\"σ salary > 1 ∧ ¬dno = 5\",\"∪\",\"Employee\","
              "\"Employee\"],\"latex\":\"\\\\pi_{\\\\text{ename}}(\\\\sigma_{\\\\text{salary} > 1 \\\\land \\\\lnot "
              "\\\\text{dno} = 5}(\\\\text{Employee} \\\\cup \\\\text{Employee}))\"}");
}

} // namespace
} // namespace qorvantel
