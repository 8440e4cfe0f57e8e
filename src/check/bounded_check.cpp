// The bounded check through Z3.
#include "check/bounded_check.h"

#include "algebra/condition.h"
#include "check/sameness.h"

#include <algorithm>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>

#ifdef QORVANTEL_HAVE_Z3
#include "check/symbolic_encoding.h"
#endif

namespace qorvantel {

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
