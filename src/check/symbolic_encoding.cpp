// The encoding of expressions, conditions and values for Z3.
#ifdef QORVANTEL_HAVE_Z3

#include "check/symbolic_encoding.h"

#include "check/sameness.h"

#include <optional>
#include <string>

namespace qorvantel {

encoder::encoder(z3::context& context, const database& shape, const std::vector<std::size_t>& bounds, unsigned width)
    : context_(context), shape_(shape), width_(width), domain_(context.bool_val(true))
{
    std::vector<shared<relation>> empty;
    for (const database_relation& each : shape.relations())
        empty.push_back(shared<relation>(new relation(each.columns, table::unsorted({}))));
    empty_ = environment::of(empty);
    for (std::size_t r = 0; r < shape.relations().size(); ++r) {
        const database_relation& each = shape.relations()[r];
        std::vector<symbolic_row> rows;
        for (std::size_t i = 0; i < bounds[r]; ++i) {
            std::string prefix = "r" + std::to_string(r) + "_" + std::to_string(i);
            symbolic_row made{context.bool_const((prefix + "_p").c_str()), {}};
            for (std::size_t c = 0; c < each.columns->columns().size(); ++c) {
                const type& column_type = *each.columns->columns()[c]->column_type();
                made.values.push_back(field((prefix + "_" + std::to_string(c)).c_str(), column_type));
            }
            rows.push_back(std::move(made));
        }
        base_.push_back(std::move(rows));
    }
}

symbolic_result encoder::encode(const expression& of)
{
    symbolic_result result{{}, context_.bool_val(false), {}};
    // The schema, and the errors no row is needed for, from the
    // interpreter itself on the database without rows.
    outcome on_empty = evaluate_safely(of, empty_);
    if (on_empty.failed()) {
        result.raises = context_.bool_val(true);
        return result;
    }
    result.columns = on_empty.result->relation_schema();
    std::vector<symbolic_result> operands;
    for (const shared<expression>& operand : of.operands()) {
        operands.push_back(encode(*operand));
        result.raises = result.raises || operands.back().raises;
    }
    switch (of.kind()) {
    case expression_kind::relation: {
        for (std::size_t r = 0; r < shape_.relations().size(); ++r)
            if (value_equal(*shape_.relations()[r].columns->name(), *of.relation_name()))
                result.rows = base_[r];
        break;
    }
    case expression_kind::union_of:
        for (symbolic_result& operand : operands)
            for (symbolic_row& each : operand.rows)
                add(result.rows, std::move(each));
        break;
    case expression_kind::minus:
        for (std::size_t k = 0; k < operands.front().rows.size(); ++k) {
            symbolic_row each = operands.front().rows[k];
            for (std::size_t o = 1; o < operands.size(); ++o)
                each.present = each.present && !member(each.values, operands[o].rows);
            add(result.rows, std::move(each));
        }
        break;
    case expression_kind::product: {
        std::vector<symbolic_row> made = operands.front().rows;
        for (std::size_t o = 1; o < operands.size(); ++o) {
            std::vector<symbolic_row> next;
            for (const symbolic_row& left : made)
                for (const symbolic_row& right : operands[o].rows) {
                    symbolic_row pair{left.present && right.present, left.values};
                    pair.values.insert(pair.values.end(), right.values.begin(), right.values.end());
                    add(next, std::move(pair));
                }
            made = std::move(next);
        }
        result.rows = std::move(made);
        break;
    }
    case expression_kind::select: {
        const shared<schema>& argument = operands.front().columns;
        for (symbolic_row& each : operands.front().rows) {
            truth test = evaluate(*of.predicate(), *argument, each.values);
            result.raises = result.raises || (each.present && test.raises);
            each.present = each.present && test.holds;
            result.rows.push_back(std::move(each));
        }
        break;
    }
    case expression_kind::project: {
        std::vector<std::optional<std::size_t>> found = find_columns(*operands.front().columns, of.listed_columns());
        for (const symbolic_row& each : operands.front().rows) {
            symbolic_row kept{each.present, {}};
            for (const std::optional<std::size_t>& index : found)
                kept.values.push_back(each.values.at(index.value()));
            result.rows.push_back(std::move(kept));
        }
        break;
    }
    case expression_kind::rename:
        result.rows = std::move(operands.front().rows);
        break;
    }
    return result;
}

z3::expr encoder::member(const std::vector<z3::expr>& values, const std::vector<symbolic_row>& in)
{
    z3::expr_vector any(context_);
    for (const symbolic_row& each : in)
        any.push_back(each.present && equal(values, each.values));
    return z3::mk_or(any);
}

z3::expr encoder::equal(const std::vector<z3::expr>& a, const std::vector<z3::expr>& b)
{
    z3::expr_vector all(context_);
    for (std::size_t i = 0; i < a.size(); ++i)
        all.push_back(a[i] == b[i]);
    return z3::mk_and(all);
}

shared<value> encoder::value_of(const z3::model& model, const z3::expr& field, const type& column_type)
{
    if (column_type.kind() == type_kind::integer) {
        auto bits = static_cast<std::uint32_t>(model.eval(field, true).get_numeral_uint64());
        return shared<value>(new integer_value(static_cast<std::int32_t>(bits)));
    }
    std::string content;
    for (unsigned i = 0; i < width_; ++i) {
        unsigned high = 8 * (width_ - i) - 1;
        auto byte = static_cast<char>(model.eval(field.extract(high, high - 7), true).get_numeral_uint());
        if (byte == 0)
            break;
        content += byte;
    }
    return string_value::make(content);
}

void encoder::add(std::vector<symbolic_row>& into, symbolic_row each)
{
    if (into.size() >= most_candidates)
        throw too_large();
    into.push_back(std::move(each));
}

z3::expr encoder::field(const char* name, const type& column_type)
{
    if (column_type.kind() == type_kind::integer) {
        z3::expr made = context_.bv_const(name, 32);
        domain_ = domain_ && made != context_.bv_val(static_cast<std::uint64_t>(0x80000000u), 32);
        return made;
    }
    z3::expr made = context_.bv_const(name, 8 * width_);
    std::size_t room = static_cast<const string_type&>(column_type).max_length();
    for (unsigned i = 0; i < width_; ++i) {
        unsigned high = 8 * (width_ - i) - 1;
        z3::expr byte = made.extract(high, high - 7);
        z3::expr zero = context_.bv_val(0, 8);
        if (i >= room) {
            domain_ = domain_ && byte == zero;
            continue;
        }
        domain_ = domain_
            && (byte == zero || byte == context_.bv_val(9, 8)
                || (z3::uge(byte, context_.bv_val(32, 8)) && z3::ule(byte, context_.bv_val(126, 8))
                    && byte != context_.bv_val(39, 8)));
        if (i + 1 < width_) {
            z3::expr after = made.extract(high - 8, high - 15);
            domain_ = domain_ && z3::implies(byte == zero, after == zero);
        }
    }
    return made;
}

z3::expr encoder::literal(const value& of)
{
    if (of.kind() == value_kind::integer)
        return context_.bv_val(
            static_cast<std::uint64_t>(static_cast<std::uint32_t>(static_cast<const integer_value&>(of).number())), 32);
    std::string_view content = static_cast<const string_value&>(of).content();
    z3::expr made
        = context_.bv_val(static_cast<unsigned>(static_cast<unsigned char>(content.empty() ? 0 : content[0])), 8);
    for (unsigned i = 1; i < width_; ++i)
        made = z3::concat(made, context_.bv_val(i < content.size() ? static_cast<unsigned char>(content[i]) : 0, 8));
    return made;
}

truth encoder::evaluate(const condition& test, const schema& columns, const std::vector<z3::expr>& values)
{
    z3::expr no = context_.bool_val(false);
    z3::expr yes = context_.bool_val(true);
    switch (test.kind()) {
    case condition_kind::negation: {
        truth inner = evaluate(*test.arguments().front(), columns, values);
        return {!inner.holds, inner.raises};
    }
    case condition_kind::conjunction:
    case condition_kind::disjunction: {
        bool conjunction = test.kind() == condition_kind::conjunction;
        truth made{conjunction ? yes : no, no};
        z3::expr reached = yes;
        for (const shared<condition>& argument : test.arguments()) {
            truth each = evaluate(*argument, columns, values);
            made.raises = made.raises || (reached && each.raises);
            made.holds = conjunction ? made.holds && each.holds : made.holds || each.holds;
            reached = reached && !each.raises && (conjunction ? each.holds : !each.holds);
        }
        return made;
    }
    case condition_kind::comparison:
        break;
    }
    // Each operand a literal or a column of the row; a missing column
    // or neighbours of different kinds raise when the chain reaches
    // them.
    const std::vector<shared<value>>& operands = test.comparands();
    std::vector<std::optional<z3::expr>> resolved;
    std::vector<value_kind> kinds;
    for (const shared<value>& operand : operands) {
        if (operand->kind() != value_kind::symbol) {
            resolved.push_back(literal(*operand));
            kinds.push_back(operand->kind());
            continue;
        }
        std::optional<std::size_t> index = find_columns(columns, {operand}).front();
        if (!index) {
            resolved.push_back(std::nullopt);
            kinds.push_back(value_kind::symbol);
            continue;
        }
        resolved.push_back(values.at(*index));
        kinds.push_back(columns.columns()[*index]->column_type()->kind() == type_kind::integer ? value_kind::integer
                                                                                               : value_kind::string);
    }
    truth made{yes, no};
    z3::expr reached = yes;
    for (std::size_t i = 0; i + 1 < operands.size(); ++i) {
        if (!resolved[i] || !resolved[i + 1] || kinds[i] != kinds[i + 1]) {
            made.raises = made.raises || reached;
            made.holds = no;
            break;
        }
        z3::expr holds = compare(test.comparison(), *resolved[i], *resolved[i + 1], kinds[i] == value_kind::integer);
        made.holds = made.holds && holds;
        reached = reached && holds;
    }
    return made;
}

z3::expr encoder::compare(comparison_operator op, const z3::expr& l, const z3::expr& r, bool integers)
{
    switch (op) {
    case comparison_operator::eq:
        return l == r;
    case comparison_operator::neq:
        return l != r;
    case comparison_operator::lt:
        return integers ? z3::slt(l, r) : z3::ult(l, r);
    case comparison_operator::lte:
        return integers ? z3::sle(l, r) : z3::ule(l, r);
    case comparison_operator::gt:
        return integers ? z3::sgt(l, r) : z3::ugt(l, r);
    case comparison_operator::gte:
        return integers ? z3::sge(l, r) : z3::uge(l, r);
    }
    return l == r;
}

} // namespace qorvantel

#endif
