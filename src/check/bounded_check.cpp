// The bounded check through Z3, and the bounds that make it a proof.
#include "check/bounded_check.h"

#include "algebra/condition.h"
#include "check/sameness.h"

#include <algorithm>
#include <map>
#include <new>
#include <set>
#include <stdexcept>
#include <string>

#ifdef QORVANTEL_HAVE_Z3
#include <z3++.h>
#endif

namespace qorvantel {

namespace {
void names_in(const expression& of, std::set<std::string>& names)
{
    if (of.kind() == expression_kind::relation)
        names.insert(written(*of.relation_name()));
    for (const shared<expression>& operand : of.operands())
        names_in(*operand, names);
}

// Occurrences of each relation name along one branch of the unions; false
// when the expression holds a minus.
bool occurrences(const expression& of, std::map<std::string, std::size_t>& into)
{
    switch (of.kind()) {
    case expression_kind::relation:
        into[written(*of.relation_name())] += 1;
        return true;
    case expression_kind::minus:
        return false;
    case expression_kind::union_of: {
        std::map<std::string, std::size_t> widest;
        for (const shared<expression>& operand : of.operands()) {
            std::map<std::string, std::size_t> branch;
            if (!occurrences(*operand, branch))
                return false;
            for (const auto& [name, count] : branch)
                widest[name] = std::max(widest[name], count);
        }
        for (const auto& [name, count] : widest)
            into[name] += count;
        return true;
    }
    default:
        for (const shared<expression>& operand : of.operands())
            if (!occurrences(*operand, into))
                return false;
        return true;
    }
}
} // namespace

std::vector<bool> relations_read(const database& shape, const std::vector<const expression*>& queries)
{
    std::set<std::string> names;
    for (const expression* query : queries)
        names_in(*query, names);
    std::vector<bool> read;
    for (const database_relation& each : shape.relations())
        read.push_back(names.count(written(*each.columns->name())) > 0);
    return read;
}

std::optional<std::vector<std::size_t>> proof_bounds(const database& shape, const expression& reference,
                                                     const expression& answer, const resolved_constraints& constraints)
{
    std::map<std::string, std::size_t> in_reference, in_answer;
    if (!occurrences(reference, in_reference) || !occurrences(answer, in_answer))
        return std::nullopt;
    std::vector<std::size_t> base;
    for (const database_relation& each : shape.relations()) {
        std::string name = written(*each.columns->name());
        base.push_back(std::max(in_reference[name], in_answer[name]));
    }
    // Each row needs a row of every relation it references, and that row
    // the rows it references in turn: the sums settle within as many
    // rounds as there are relations unless the references form a cycle.
    std::vector<std::size_t> bounds = base;
    for (std::size_t round = 0;; ++round) {
        std::vector<std::size_t> next = base;
        for (const resolved_reference& each : constraints.references)
            next[each.target] += bounds[each.relation];
        if (next == bounds)
            return bounds;
        if (round > shape.relations().size())
            return std::nullopt;
        bounds = std::move(next);
    }
}

#ifndef QORVANTEL_HAVE_Z3

bool bounded_check_available() noexcept { return false; }

bounded_outcome bounded_compare(const database&, const expression&, const expression&, const resolved_constraints&,
                                const std::vector<std::size_t>&, unsigned, unsigned, bool)
{
    return {};
}

#else

bool bounded_check_available() noexcept { return true; }

namespace {
struct symbolic_row {
    z3::expr present;
    std::vector<z3::expr> values;
};

struct symbolic_result {
    std::vector<symbolic_row> rows;
    z3::expr raises;
    shared<schema> columns;
};

struct truth {
    z3::expr holds;
    z3::expr raises;
};

// Past this many candidate rows the formula is too large to be worth
// building; the check then answers unknown.
constexpr std::size_t most_candidates = 4096;

struct too_large : std::runtime_error {
    too_large() : std::runtime_error("too large") {}
};

class encoder {
public:
    encoder(z3::context& context, const database& shape, const std::vector<std::size_t>& bounds, unsigned width)
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

    const std::vector<std::vector<symbolic_row>>& base() const noexcept { return base_; }
    const z3::expr& domain() const noexcept { return domain_; }
    const shared<environment>& empty() const noexcept { return empty_; }

    symbolic_result encode(const expression& of)
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
            std::vector<std::optional<std::size_t>> found
                = find_columns(*operands.front().columns, of.listed_columns());
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

    z3::expr member(const std::vector<z3::expr>& values, const std::vector<symbolic_row>& in)
    {
        z3::expr_vector any(context_);
        for (const symbolic_row& each : in)
            any.push_back(each.present && equal(values, each.values));
        return z3::mk_or(any);
    }

    z3::expr equal(const std::vector<z3::expr>& a, const std::vector<z3::expr>& b)
    {
        z3::expr_vector all(context_);
        for (std::size_t i = 0; i < a.size(); ++i)
            all.push_back(a[i] == b[i]);
        return z3::mk_and(all);
    }

    // A value of the database back from a model.
    shared<value> value_of(const z3::model& model, const z3::expr& field, const type& column_type)
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

private:
    void add(std::vector<symbolic_row>& into, symbolic_row each)
    {
        if (into.size() >= most_candidates)
            throw too_large();
        into.push_back(std::move(each));
    }

    z3::expr field(const char* name, const type& column_type)
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

    z3::expr literal(const value& of)
    {
        if (of.kind() == value_kind::integer)
            return context_.bv_val(
                static_cast<std::uint64_t>(static_cast<std::uint32_t>(static_cast<const integer_value&>(of).number())),
                32);
        std::string_view content = static_cast<const string_value&>(of).content();
        z3::expr made
            = context_.bv_val(static_cast<unsigned>(static_cast<unsigned char>(content.empty() ? 0 : content[0])), 8);
        for (unsigned i = 1; i < width_; ++i)
            made
                = z3::concat(made, context_.bv_val(i < content.size() ? static_cast<unsigned char>(content[i]) : 0, 8));
        return made;
    }

    truth evaluate(const condition& test, const schema& columns, const std::vector<z3::expr>& values)
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
            kinds.push_back(columns.columns()[*index]->column_type()->kind() == type_kind::integer
                                ? value_kind::integer
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
            z3::expr holds
                = compare(test.comparison(), *resolved[i], *resolved[i + 1], kinds[i] == value_kind::integer);
            made.holds = made.holds && holds;
            reached = reached && holds;
        }
        return made;
    }

    static z3::expr compare(comparison_operator op, const z3::expr& l, const z3::expr& r, bool integers)
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

    z3::context& context_;
    const database& shape_;
    unsigned width_;
    z3::expr domain_;
    shared<environment> empty_;
    std::vector<std::vector<symbolic_row>> base_;
};

void widest_literal(const condition& of, std::size_t& width)
{
    for (const shared<condition>& argument : of.arguments())
        widest_literal(*argument, width);
    for (const shared<value>& operand : of.comparands())
        if (operand->kind() == value_kind::string)
            width = std::max(width, static_cast<const string_value&>(*operand).content().size());
}

void widest_literal(const expression& of, std::size_t& width)
{
    if (!of.predicate().empty())
        widest_literal(*of.predicate(), width);
    for (const shared<expression>& operand : of.operands())
        widest_literal(*operand, width);
}

// Strings wider than this are left to the search.
constexpr std::size_t widest_encoded = 256;

z3::expr constraints_formula(z3::context& context, const encoder& made, const resolved_constraints& constraints)
{
    z3::expr_vector all(context);
    const auto& base = made.base();
    for (const resolved_key& key : constraints.keys) {
        const auto& rows = base[key.relation];
        for (std::size_t i = 0; i < rows.size(); ++i)
            for (std::size_t j = i + 1; j < rows.size(); ++j) {
                z3::expr_vector same_key(context), same_row(context);
                for (std::size_t c : key.columns)
                    same_key.push_back(rows[i].values[c] == rows[j].values[c]);
                for (std::size_t c = 0; c < rows[i].values.size(); ++c)
                    same_row.push_back(rows[i].values[c] == rows[j].values[c]);
                all.push_back(
                    z3::implies(rows[i].present && rows[j].present && z3::mk_and(same_key), z3::mk_and(same_row)));
            }
    }
    for (const resolved_reference& reference : constraints.references) {
        for (const symbolic_row& each : base[reference.relation]) {
            z3::expr_vector any(context);
            for (const symbolic_row& target : base[reference.target]) {
                z3::expr_vector same(context);
                for (std::size_t c = 0; c < reference.columns.size(); ++c)
                    same.push_back(each.values[reference.columns[c]] == target.values[reference.target_columns[c]]);
                any.push_back(target.present && z3::mk_and(same));
            }
            all.push_back(z3::implies(each.present, z3::mk_or(any)));
        }
    }
    return z3::mk_and(all);
}

database database_of(const z3::model& model, encoder& made, const database& shape)
{
    database found;
    for (std::size_t r = 0; r < shape.relations().size(); ++r) {
        const database_relation& each = shape.relations()[r];
        database_relation filled{each.columns, {}};
        for (const symbolic_row& candidate : made.base()[r]) {
            if (!model.eval(candidate.present, true).is_true())
                continue;
            shared<row> kept = row::make(candidate.values.size(), [&](shared<value>* slots) {
                for (std::size_t c = 0; c < candidate.values.size(); ++c)
                    slots[c] = made.value_of(model, candidate.values[c], *each.columns->columns()[c]->column_type());
            });
            bool repeated = std::any_of(filled.rows.begin(), filled.rows.end(),
                                        [&](const shared<row>& held) { return row_compare(*held, *kept) == 0; });
            if (!repeated)
                filled.rows.push_back(std::move(kept));
        }
        found.relations().push_back(std::move(filled));
    }
    return found;
}
} // namespace

bounded_outcome bounded_compare(const database& shape, const expression& reference, const expression& answer,
                                const resolved_constraints& constraints, const std::vector<std::size_t>& bounds,
                                unsigned steps, unsigned milliseconds, bool look_for_reference_failure)
{
    bounded_outcome outcome;
    std::size_t width = 1;
    for (std::size_t r = 0; r < shape.relations().size(); ++r) {
        if (bounds[r] == 0)
            continue;
        for (const shared<column>& each : shape.relations()[r].columns->columns())
            if (each->column_type()->kind() == type_kind::string)
                width
                    = std::max<std::size_t>(width, static_cast<const string_type&>(*each->column_type()).max_length());
    }
    widest_literal(reference, width);
    widest_literal(answer, width);
    if (width > widest_encoded)
        return outcome;
    try {
        z3::context context;
        encoder made(context, shape, bounds, static_cast<unsigned>(width));
        symbolic_result expected = made.encode(reference);
        symbolic_result given = made.encode(answer);
        if (expected.columns.empty())
            return outcome;
        z3::expr differs = given.raises;
        if (!given.columns.empty()) {
            const column_list& a = expected.columns->columns();
            const column_list& b = given.columns->columns();
            bool alike = a.size() == b.size();
            for (std::size_t i = 0; alike && i < a.size(); ++i)
                alike = a[i]->column_type()->kind() == b[i]->column_type()->kind();
            if (!alike)
                return outcome;
            z3::expr_vector any(context);
            for (const symbolic_row& each : expected.rows)
                any.push_back(each.present && !made.member(each.values, given.rows));
            for (const symbolic_row& each : given.rows)
                any.push_back(each.present && !made.member(each.values, expected.rows));
            differs = differs || z3::mk_or(any);
        }
        z3::solver solver(context, "QF_BV");
        z3::params settings(context);
        settings.set("timeout", milliseconds);
        settings.set("rlimit", steps);
        solver.set(settings);
        solver.add(made.domain());
        solver.add(constraints_formula(context, made, constraints));
        solver.push();
        solver.add(!expected.raises && differs);
        z3::check_result result = solver.check();
        switch (result) {
        case z3::unsat:
            outcome.status = bounded_status::same;
            break;
        case z3::sat:
            outcome.status = bounded_status::differs;
            outcome.counterexample = database_of(solver.get_model(), made, shape);
            break;
        case z3::unknown:
            return outcome;
        }
        solver.pop();
        if (look_for_reference_failure && !expected.raises.simplify().is_false()) {
            solver.add(expected.raises);
            if (solver.check() == z3::sat)
                outcome.reference_fails = database_of(solver.get_model(), made, shape);
        }
    } catch (const z3::exception&) {
        outcome = bounded_outcome{};
    } catch (const too_large&) {
        outcome = bounded_outcome{};
    } catch (const std::out_of_range&) {
        outcome = bounded_outcome{};
    } catch (const std::bad_optional_access&) {
        outcome = bounded_outcome{};
    }
    return outcome;
}

#endif

} // namespace qorvantel
