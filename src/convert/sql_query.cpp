// The translation is an observer of the one walk (algebra/observed_evaluation.h)
// over the tables' schemas without rows. Every node becomes a SELECT
// over its operands as derived tables; set semantics come from UNION and
// EXCEPT, which remove repeated rows, and from DISTINCT in a projection,
// the one operator that can make repeats. Only the outermost SELECT orders
// its rows, by every column: SQL keeps no order through a derived table.
#include "convert/sql_query.h"

#include "algebra/condition.h"
#include "algebra/observed_evaluation.h"
#include "convert/sql_tables.h"
#include "text/diagnostics.h"

#include <stdexcept>

namespace qorvantel {

namespace {

struct translated {
    std::string sql;    // a SELECT statement, or a table name alone
    bool table = false; // sql is the quoted name of a stored table
};

// An observer of the walk over the tables' schemas: each node's SQL made
// from its operands' as the walk reports it, on a stack that ends with the
// whole expression's.
class translator final : public expression_observer {
public:
    translator(sql_dialect dialect, shared<environment> empty) : dialect_(dialect), empty_(std::move(empty)) {}

    void evaluated(const expression& e, const node_step& step, const std::vector<node_result>& operands,
                   const node_result& result) override;

    const translated& top() const { return made_.back(); }

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
    std::vector<translated> made_;
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

void translator::evaluated(const expression& e, const node_step& step, const std::vector<node_result>& operands,
                           const node_result& result)
{
    // The operands' SQL, last on the stack: none for a relation
    // reference, the argument's, or the result so far and the next term's
    // for a step of union, minus and product.
    std::vector<translated> from_stack(made_.end() - static_cast<std::ptrdiff_t>(operands.size()), made_.end());
    made_.resize(made_.size() - operands.size());
    translated out;
    switch (e.kind()) {
    case expression_kind::relation:
        out.sql = sql_identifier(symbol_text(*e.relation_name()));
        out.table = true;
        break;
    case expression_kind::union_of:
    case expression_kind::minus:
    case expression_kind::product:
        // One step of the left fold: the result so far with the next term.
        if (from_stack.size() == 1)
            out = from_stack[0];
        else if (e.kind() == expression_kind::product)
            out.sql = "SELECT * FROM " + from(from_stack[0]) + " CROSS JOIN " + from(from_stack[1]);
        else
            out.sql = select_all(from_stack[0]) + (e.kind() == expression_kind::union_of ? " UNION " : " EXCEPT ")
                + select_all(from_stack[1]);
        break;
    case expression_kind::select: {
        std::string where = condition_sql(*e.predicate(), *operands[0].result_schema());
        out.sql = select_all(from_stack[0]) + " WHERE " + where;
        break;
    }
    case expression_kind::project: {
        out.sql = "SELECT DISTINCT ";
        const std::vector<shared<value>>& kept = e.listed_columns();
        for (std::size_t i = 0; i < kept.size(); ++i)
            out.sql += (i == 0 ? "" : ", ") + sql_identifier(symbol_text(*kept[i]));
        out.sql += " FROM " + from(from_stack[0]);
        break;
    }
    case expression_kind::rename: {
        const column_list& before = operands[0].result_schema()->columns();
        const column_list& after = result.result_schema()->columns();
        out.sql = "SELECT ";
        for (std::size_t i = 0; i < after.size(); ++i)
            out.sql += (i == 0 ? "" : ", ") + sql_identifier(symbol_text(*before[i]->name())) + " AS "
                + sql_identifier(symbol_text(*after[i]->name()));
        out.sql += " FROM " + from(from_stack[0]);
        break;
    }
    }
    if (step.last)
        require_case_distinct(*result.result_schema(), dialect_);
    made_.push_back(std::move(out));
}

} // namespace

std::string sql_query(const shared<expression>& query, const shared<environment>& tables, sql_dialect dialect)
{
    shared<environment> empty = tables->without_rows();
    translator walker(dialect, empty);
    shared<relation> result;
    try {
        result = evaluate_observed(query, empty, walker);
    } catch (const std::runtime_error&) {
        // The interpreter's own message for these rows, where it raises one:
        // a type mismatch then names the value it met, not the column. Over
        // rows that never reach the fault it raises nothing, and the message
        // of the check stands.
        query->evaluate(tables);
        throw;
    }
    const translated& top = walker.top();
    std::string out = "SELECT * FROM " + (top.table ? top.sql : "(" + top.sql + ") AS " + sql_identifier("result"));
    out += "\nORDER BY ";
    const column_list& columns = result->relation_schema()->columns();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        out += (i == 0 ? "" : ", ") + sql_identifier(symbol_text(*columns[i]->name()));
        if (columns[i]->column_type()->kind() == type_kind::string)
            out += bytewise_collation(dialect);
    }
    return out + ";\n";
}

} // namespace qorvantel
