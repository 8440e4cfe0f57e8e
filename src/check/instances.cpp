// Generating small databases around the values that matter.
#include "check/instances.h"

#include "algebra/condition.h"
#include "check/column_roles.h"
#include "check/pool_values.h"
#include "check/sameness.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <set>
#include <string>

namespace qorvantel {

namespace {
void collect_condition(const condition& of, std::vector<shared<value>>& into)
{
    for (const shared<condition>& argument : of.arguments())
        collect_condition(*argument, into);
    for (const shared<value>& comparand : of.comparands())
        if (comparand->kind() != value_kind::symbol)
            into.push_back(comparand);
}

void collect(const expression& of, std::vector<shared<value>>& into)
{
    if (!of.predicate().empty())
        collect_condition(*of.predicate(), into);
    for (const shared<expression>& operand : of.operands())
        collect(*operand, into);
}

} // namespace

std::vector<shared<value>> literals_of(const std::vector<const expression*>& queries)
{
    std::vector<shared<value>> literals;
    for (const expression* query : queries)
        collect(*query, literals);
    return literals;
}

std::uint64_t draws::next() noexcept
{
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

instance_generator::instance_generator(const database& given, const std::vector<const expression*>& queries,
                                       const resolved_constraints& constraints)
    : shape_(given), constraints_(constraints)
{
    column_roles walk(given);
    std::set<std::string> names;
    for (const expression* query : queries)
        walk.walk(*query);
    std::vector<bool> read(given.relations().size(), false);
    std::vector<shared<value>> ignored;
    for (const expression* query : queries) {
        std::vector<const expression*> stack{query};
        while (!stack.empty()) {
            const expression* each = stack.back();
            stack.pop_back();
            if (each->kind() == expression_kind::relation)
                names.insert(written(*each->relation_name()));
            for (const shared<expression>& operand : each->operands())
                stack.push_back(operand.get());
        }
    }
    for (std::size_t r = 0; r < given.relations().size(); ++r)
        read_.push_back(names.count(written(*given.relations()[r].columns->name())) > 0);
    for (const resolved_reference& each : constraints.references)
        for (std::size_t c = 0; c < each.columns.size(); ++c)
            walk.link(walk.id(each.relation, each.columns[c]), walk.id(each.target, each.target_columns[c]));

    // Roles numbered in the order of their first column.
    std::vector<std::size_t> role_of_root(walk.count(), static_cast<std::size_t>(-1));
    for (std::size_t r = 0; r < given.relations().size(); ++r) {
        roles_.emplace_back();
        for (std::size_t c = 0; c < given.relations()[r].columns->columns().size(); ++c) {
            std::size_t root = walk.find(walk.id(r, c));
            if (role_of_root[root] == static_cast<std::size_t>(-1)) {
                role_of_root[root] = given_.size();
                given_.emplace_back();
                pools_.emplace_back();
            }
            roles_.back().push_back(role_of_root[root]);
        }
    }
    for (std::size_t r = 0; r < given.relations().size(); ++r) {
        const database_relation& held = given.relations()[r];
        for (std::size_t c = 0; c < held.columns->columns().size(); ++c) {
            std::vector<shared<value>> values;
            for (const shared<row>& each : held.rows)
                values.push_back((*each)[c]);
            sort_unique(values);
            std::vector<shared<value>> kept = spread(values, handful);
            std::size_t role = roles_[r][c];
            given_[role].insert(given_[role].end(), kept.begin(), kept.end());
            const type& column_type = *held.columns->columns()[c]->column_type();
            std::size_t room = column_type.kind() == type_kind::string
                ? static_cast<const string_type&>(column_type).max_length()
                : 0;
            for (const shared<value>& literal : walk.literals()[walk.id(r, c)])
                add_neighbours(*literal, column_type.kind(), room, pools_[role]);
        }
    }
    for (std::size_t role = 0; role < given_.size(); ++role) {
        sort_unique(given_[role]);
        pools_[role].insert(pools_[role].end(), given_[role].begin(), given_[role].end());
        sort_unique(pools_[role]);
    }
}

std::vector<shared<value>> instance_generator::column_pool(std::size_t relation, std::size_t column) const
{
    const type& column_type = *shape_.relations()[relation].columns->columns()[column]->column_type();
    std::vector<shared<value>> pool;
    for (const shared<value>& each : pools_[roles_[relation][column]])
        if (fits_column(column_type, *each))
            pool.push_back(each);
    if (pool.empty()) {
        // Nothing given and no literal: invented values, small and plain.
        for (int i = 1; i <= 3; ++i) {
            if (column_type.kind() == type_kind::integer)
                pool.push_back(small_integer(i));
            else
                pool.push_back(string_value::make(std::string(1, static_cast<char>('a' + i - 1))));
        }
    }
    return pool;
}

std::vector<shared<value>> instance_generator::preferred(std::size_t relation, std::size_t column) const
{
    const type& column_type = *shape_.relations()[relation].columns->columns()[column]->column_type();
    std::vector<shared<value>> out;
    // The column's own given values first, in the order of its rows.
    for (const shared<row>& each : shape_.relations()[relation].rows) {
        if (out.size() >= handful)
            break;
        const shared<value>& v = (*each)[column];
        if (std::none_of(out.begin(), out.end(), [&](const shared<value>& o) { return value_equal(*o, *v); }))
            out.push_back(v);
    }
    std::vector<shared<value>> candidates = column_pool(relation, column);
    // Then invented values, the nearest to the given ones: their neighbours.
    std::size_t room
        = column_type.kind() == type_kind::string ? static_cast<const string_type&>(column_type).max_length() : 0;
    for (const shared<value>& each : given_[roles_[relation][column]])
        add_neighbours(*each, column_type.kind(), room, candidates);
    for (const shared<value>& each : candidates)
        if (fits_column(column_type, *each)
            && std::none_of(out.begin(), out.end(), [&](const shared<value>& o) { return value_equal(*o, *each); }))
            out.push_back(each);
    return out;
}

shared<value> instance_generator::draw(std::size_t relation, std::size_t column,
                                       const std::vector<std::vector<shared<value>>>& domains, draws& random) const
{
    const type& column_type = *shape_.relations()[relation].columns->columns()[column]->column_type();
    std::vector<const shared<value>*> fitting;
    for (const shared<value>& each : domains[roles_[relation][column]])
        if (fits_column(column_type, *each))
            fitting.push_back(&each);
    if (!fitting.empty())
        return *fitting[random.below(fitting.size())];
    std::vector<shared<value>> pool = column_pool(relation, column);
    return pool[random.below(pool.size())];
}

database instance_generator::next(draws& random) const
{
    // Each role's values for this database: one to three of its pool.
    std::vector<std::vector<shared<value>>> domains(pools_.size());
    for (std::size_t role = 0; role < pools_.size(); ++role) {
        const std::vector<shared<value>>& pool = pools_[role];
        if (pool.empty())
            continue;
        std::size_t size = 1 + random.below(3);
        for (std::size_t i = 0; i < size; ++i)
            domains[role].push_back(pool[random.below(pool.size())]);
    }
    database made;
    for (std::size_t r = 0; r < shape_.relations().size(); ++r) {
        database_relation filled{shape_.relations()[r].columns, {}};
        std::size_t count = read_[r] ? random.below(max_rows + 1) : 0;
        std::size_t width = filled.columns->columns().size();
        for (std::size_t i = 0; i < count; ++i)
            filled.rows.push_back(row::make(width, [&](shared<value>* slots) {
                for (std::size_t c = 0; c < width; ++c)
                    slots[c] = draw(r, c, domains, random);
            }));
        made.relations().push_back(std::move(filled));
    }
    if (!constraints_.empty())
        keep_constraints(made, domains, random);
    // Rows repeat when the domains are small: each is kept once.
    made.keep_each_row_once();
    return made;
}

void instance_generator::keep_constraints(database& made, const std::vector<std::vector<shared<value>>>& domains,
                                          draws& random) const
{
    auto& relations = made.relations();
    auto has_target = [&](const resolved_reference& each, const row& referring) {
        for (const shared<row>& target : relations[each.target].rows) {
            bool same = true;
            for (std::size_t c = 0; same && c < each.columns.size(); ++c)
                same = value_equal(*referring[each.columns[c]], *(*target)[each.target_columns[c]]);
            if (same)
                return true;
        }
        return false;
    };
    // Targets for referring rows, through chains of references.
    for (std::size_t round = 0; round <= relations.size(); ++round) {
        bool added = false;
        for (const resolved_reference& each : constraints_.references) {
            row_list& referring = relations[each.relation].rows;
            for (std::size_t i = 0; i < referring.size(); ++i) {
                if (has_target(each, *referring[i]))
                    continue;
                const row& from = *referring[i];
                std::size_t width = relations[each.target].columns->columns().size();
                relations[each.target].rows.push_back(row::make(width, [&](shared<value>* slots) {
                    for (std::size_t c = 0; c < width; ++c)
                        slots[c] = draw(each.target, c, domains, random);
                    for (std::size_t c = 0; c < each.columns.size(); ++c)
                        slots[each.target_columns[c]] = from[each.columns[c]];
                }));
                added = true;
            }
        }
        if (!added)
            break;
    }
    // A row that shares a key with an earlier, different row is left out;
    // then every row still without its target, until none is.
    for (const resolved_key& key : constraints_.keys) {
        row_list kept;
        for (const shared<row>& each : relations[key.relation].rows) {
            bool clashes = false;
            for (const shared<row>& earlier : kept) {
                bool same_key = true;
                for (std::size_t c : key.columns)
                    same_key = same_key && value_equal(*(*each)[c], *(*earlier)[c]);
                clashes = clashes || (same_key && row_compare(*each, *earlier) != 0);
            }
            if (!clashes)
                kept.push_back(each);
        }
        relations[key.relation].rows = std::move(kept);
    }
    for (bool dropped = true; dropped;) {
        dropped = false;
        for (const resolved_reference& each : constraints_.references) {
            row_list& referring = relations[each.relation].rows;
            std::size_t before = referring.size();
            referring.erase(std::remove_if(referring.begin(), referring.end(),
                                           [&](const shared<row>& r) { return !has_target(each, *r); }),
                            referring.end());
            dropped = dropped || referring.size() != before;
        }
    }
}

} // namespace qorvantel
