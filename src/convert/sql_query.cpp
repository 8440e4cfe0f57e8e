// The translation walks the expression once. Every node becomes a SELECT
// over its operands as derived tables; set semantics come from UNION and
// EXCEPT, which remove repeated rows, and from DISTINCT in a projection,
// the one operator that can make repeats. Only the outermost SELECT orders
// its rows, by every column: SQL keeps no order through a derived table.
#include "convert/sql_query.h"

#include "algebra/condition.h"
#include "convert/sql_tables.h"
#include "text/diagnostics.h"

#include <sstream>
#include <stdexcept>

namespace qorvantel {

shared<environment> without_rows(const environment& tables)
{
    std::ostringstream schemas;
    for (const auto& [name, stored] : tables.relations()) {
        *stored->relation_schema() >> schemas;
        schemas << '\n';
    }
    text input(schemas.str());
    text::iterator position = input.begin();
    return parsing<environment>::require("environment", position);
}

namespace {

struct translated {
    std::string sql;         // a SELECT statement, or a table name alone
    bool table = false;      // sql is the quoted name of a stored table
    shared<relation> result; // the node's result over tables with no rows
};

class translator {
public:
    translator(sql_dialect dialect, shared<environment> empty) : dialect_(dialect), empty_(std::move(empty)) {}

    translated walk(const expression& e);

private:
    std::string from(const translated& operand)
    {
        if (operand.table)
            return operand.sql;
        return "(" + operand.sql + ") AS " + sql_identifier(next_alias());
    }
    // t1, t2, ...: names for derived tables, skipping the names of stored
    // tables, which a dialect may not tell apart by case.
    std::string next_alias()
    {
        for (;;) {
            std::string alias = "t" + std::to_string(++aliases_);
            bool taken = false;
            for (const auto& [name, stored] : empty_->relations()) {
                const std::string& table = symbol_text(*name);
                taken = taken
                    || (table.size() == alias.size() && (table[0] == 't' || table[0] == 'T')
                        && table.substr(1) == alias.substr(1));
            }
            if (!taken)
                return alias;
        }
    }
    std::string select_all(const translated& operand) { return "SELECT * FROM " + from(operand); }
    std::string condition_sql(const condition& c, const schema& tested);
    std::string comparand_sql(const value& operand);
    // The kind of a comparand's value, checked as a test of a row would:
    // an unknown column raises the interpreter's message.
    value_kind comparand_kind(const value& operand, const schema& tested);

    sql_dialect dialect_;
    shared<environment> empty_;
    unsigned aliases_ = 0;
};

value_kind translator::comparand_kind(const value& operand, const schema& tested)
{
    if (operand.kind() != value_kind::symbol)
        return operand.kind();
    std::optional<std::size_t> index = find_column(tested, operand);
    if (!index)
        throw_column_not_found(operand, tested);
    return tested.columns()[*index]->column_type()->kind() == type_kind::integer ? value_kind::integer
                                                                                 : value_kind::string;
}

std::string translator::comparand_sql(const value& operand)
{
    if (operand.kind() == value_kind::symbol)
        return sql_identifier(symbol_text(operand));
    std::string out;
    append_written(out, operand);
    return out;
}

const char* comparison_sign(comparison_operator op)
{
    switch (op) {
    case comparison_operator::eq:
        return " = ";
    case comparison_operator::neq:
        return " <> ";
    case comparison_operator::lte:
        return " <= ";
    case comparison_operator::lt:
        return " < ";
    case comparison_operator::gte:
        return " >= ";
    case comparison_operator::gt:
        return " > ";
    }
    return " = ";
}

std::string translator::condition_sql(const condition& c, const schema& tested)
{
    const char* joiner = " AND ";
    switch (c.kind()) {
    case condition_kind::negation:
        return "NOT (" + condition_sql(*c.arguments().front(), tested) + ")";
    case condition_kind::disjunction:
        joiner = " OR ";
        [[fallthrough]];
    case condition_kind::conjunction: {
        std::string out = "(";
        for (std::size_t i = 0; i < c.arguments().size(); ++i)
            out += (i == 0 ? "" : joiner) + condition_sql(*c.arguments()[i], tested);
        return out + ")";
    }
    case condition_kind::comparison:
        break;
    }
    // A chain compares each operand with the next: a conjunction of pairs.
    const std::vector<shared<value>>& operands = c.comparands();
    comparison_operator op = c.comparison();
    std::string out = "(";
    for (std::size_t i = 0; i + 1 < operands.size(); ++i) {
        const value& left = *operands[i];
        const value& right = *operands[i + 1];
        // The right operand is resolved first, as a test resolves it.
        value_kind right_kind = comparand_kind(right, tested);
        value_kind left_kind = comparand_kind(left, tested);
        if (left_kind != right_kind) {
            // The interpreter names first the value whose order is asked:
            // the right one for GT and LTE, which compare the other way.
            if (op == comparison_operator::gt || op == comparison_operator::lte)
                throw_type_mismatch(right, left);
            throw_type_mismatch(left, right);
        }
        out += i == 0 ? "" : " AND ";
        out += comparand_sql(left);
        if (left_kind == value_kind::string)
            out += bytewise_collation(dialect_);
        out += comparison_sign(op) + comparand_sql(right);
    }
    return out + ")";
}

translated translator::walk(const expression& e)
{
    // Operands are walked one at a time, where the interpreter evaluates
    // them, so that of two faults the same one is reported.
    expression_list terms = e.operands();
    std::vector<translated> operands;
    if (e.kind() != expression_kind::relation && e.kind() != expression_kind::union_of
        && e.kind() != expression_kind::minus && e.kind() != expression_kind::product)
        operands.push_back(walk(*terms[0]));
    translated out;
    switch (e.kind()) {
    case expression_kind::relation:
        out.result = e.apply({}, empty_);
        out.sql = sql_identifier(symbol_text(*e.relation_name()));
        out.table = true;
        break;
    case expression_kind::union_of:
    case expression_kind::minus:
    case expression_kind::product: {
        // The left fold: each step combines the result so far with the
        // next term, as the interpreter's evaluation does.
        out = walk(*terms[0]);
        for (std::size_t i = 1; i < terms.size(); ++i) {
            translated term = walk(*terms[i]);
            translated step;
            step.result = e.apply({out.result, term.result}, empty_);
            if (e.kind() == expression_kind::product)
                step.sql = "SELECT * FROM " + from(out) + " CROSS JOIN " + from(term);
            else
                step.sql = select_all(out) + (e.kind() == expression_kind::union_of ? " UNION " : " EXCEPT ")
                    + select_all(term);
            out = step;
        }
        break;
    }
    case expression_kind::select: {
        out.result = e.apply({operands[0].result}, empty_);
        std::string where = condition_sql(*e.predicate(), *operands[0].result->relation_schema());
        out.sql = select_all(operands[0]) + " WHERE " + where;
        break;
    }
    case expression_kind::project: {
        out.result = e.apply({operands[0].result}, empty_);
        out.sql = "SELECT DISTINCT ";
        const std::vector<shared<value>>& kept = e.listed_columns();
        for (std::size_t i = 0; i < kept.size(); ++i)
            out.sql += (i == 0 ? "" : ", ") + sql_identifier(symbol_text(*kept[i]));
        out.sql += " FROM " + from(operands[0]);
        break;
    }
    case expression_kind::rename: {
        out.result = e.apply({operands[0].result}, empty_);
        const column_list& before = operands[0].result->relation_schema()->columns();
        const column_list& after = out.result->relation_schema()->columns();
        out.sql = "SELECT ";
        for (std::size_t i = 0; i < after.size(); ++i)
            out.sql += (i == 0 ? "" : ", ") + sql_identifier(symbol_text(*before[i]->name())) + " AS "
                + sql_identifier(symbol_text(*after[i]->name()));
        out.sql += " FROM " + from(operands[0]);
        break;
    }
    }
    require_case_distinct(*out.result->relation_schema(), dialect_);
    return out;
}

} // namespace

std::string sql_query(const shared<expression>& query, const shared<environment>& tables, sql_dialect dialect)
{
    translator walker(dialect, without_rows(*tables));
    translated top;
    try {
        top = walker.walk(*query);
    } catch (const std::runtime_error&) {
        // The interpreter's own message for these rows, where it raises one:
        // a type mismatch then names the value it met, not the column. Over
        // rows that never reach the fault it raises nothing, and the message
        // of the check stands.
        query->evaluate(tables);
        throw;
    }
    std::string out = "SELECT * FROM " + (top.table ? top.sql : "(" + top.sql + ") AS " + sql_identifier("result"));
    out += "\nORDER BY ";
    const column_list& columns = top.result->relation_schema()->columns();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        out += (i == 0 ? "" : ", ") + sql_identifier(symbol_text(*columns[i]->name()));
        if (columns[i]->column_type()->kind() == type_kind::string)
            out += bytewise_collation(dialect);
    }
    return out + ";\n";
}

} // namespace qorvantel
