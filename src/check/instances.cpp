// Generating small databases around the values that matter.
#include "check/instances.h"

#include "algebra/condition.h"
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

// -2147483648 has no literal: the lowest integer an environment can hold.
constexpr std::int64_t lowest_integer = -std::numeric_limits<std::int32_t>::max();

shared<value> integer(std::int64_t n) { return shared<value>(new integer_value(static_cast<std::int32_t>(n))); }

char step(char c, int by)
{
    c = static_cast<char>(c + by);
    return c == '\'' ? static_cast<char>(c + by) : c;
}

// A literal and its neighbours, the values a comparison with it turns on:
// n - 1, n, n + 1; for a string, the string with its last character one
// lower (or left out, when it is the space) and the string with a space
// appended (or its last character one higher, when there is no room).
void add_neighbours(const value& literal, type_kind kind, std::size_t room, std::vector<shared<value>>& pool)
{
    if (literal.kind() == value_kind::integer && kind == type_kind::integer) {
        std::int64_t n = static_cast<const integer_value&>(literal).number();
        for (std::int64_t near = n - 1; near <= n + 1; ++near)
            if (near >= lowest_integer && near <= std::numeric_limits<std::int32_t>::max())
                pool.push_back(integer(near));
        return;
    }
    if (literal.kind() != value_kind::string || kind != type_kind::string)
        return;
    std::string s(static_cast<const string_value&>(literal).content());
    if (s.size() > room)
        return;
    pool.push_back(string_value::make(s));
    if (!s.empty()) {
        std::string before = s;
        if (before.back() == ' ')
            before.pop_back();
        else
            before.back() = step(before.back(), -1);
        pool.push_back(string_value::make(before));
    }
    std::string after = s;
    if (after.size() < room)
        after += ' ';
    else if (!after.empty() && after.back() < '~')
        after.back() = step(after.back(), 1);
    pool.push_back(string_value::make(after));
}

void sort_unique(std::vector<shared<value>>& values)
{
    std::sort(values.begin(), values.end(),
              [](const shared<value>& a, const shared<value>& b) { return value_less(*a, *b); });
    values.erase(std::unique(values.begin(), values.end(),
                             [](const shared<value>& a, const shared<value>& b) { return value_equal(*a, *b); }),
                 values.end());
}

bool fits(const value& v, const type& column_type)
{
    if (column_type.kind() == type_kind::integer)
        return v.kind() == value_kind::integer;
    return v.kind() == value_kind::string
        && static_cast<const string_value&>(v).content().size()
        <= static_cast<const string_type&>(column_type).max_length();
}

// Which base columns play one role: followed through the operators.
class role_walk {
public:
    explicit role_walk(const database& shape) : shape_(shape)
    {
        std::vector<shared<relation>> empty;
        for (const database_relation& each : shape.relations()) {
            offsets_.push_back(parent_.size());
            for (std::size_t c = 0; c < each.columns->columns().size(); ++c)
                parent_.push_back(parent_.size());
            empty.push_back(shared<relation>(new relation(each.columns, table::unsorted({}))));
        }
        empty_ = environment::of(empty);
        literals_.resize(parent_.size());
    }

    std::size_t id(std::size_t relation, std::size_t column) const { return offsets_[relation] + column; }
    std::size_t count() const { return parent_.size(); }

    std::size_t find(std::size_t x)
    {
        while (parent_[x] != x)
            x = parent_[x] = parent_[parent_[x]];
        return x;
    }
    void link(std::size_t a, std::size_t b) { parent_[find(a)] = find(b); }

    const std::vector<std::vector<shared<value>>>& literals() const { return literals_; }

    // Per column of the expression's result, the base columns it holds.
    using lineage = std::vector<std::vector<std::size_t>>;
    lineage walk(const expression& of)
    {
        lineage made;
        if (evaluate_safely(of, empty_).failed())
            return made;
        std::vector<lineage> operands;
        for (const shared<expression>& operand : of.operands())
            operands.push_back(walk(*operand));
        switch (of.kind()) {
        case expression_kind::relation:
            for (std::size_t r = 0; r < shape_.relations().size(); ++r)
                if (value_equal(*shape_.relations()[r].columns->name(), *of.relation_name()))
                    for (std::size_t c = 0; c < shape_.relations()[r].columns->columns().size(); ++c)
                        made.push_back({id(r, c)});
            return made;
        case expression_kind::union_of:
        case expression_kind::minus:
            made = operands.front();
            for (std::size_t o = 1; o < operands.size(); ++o)
                for (std::size_t i = 0; i < made.size() && i < operands[o].size(); ++i) {
                    for (std::size_t each : operands[o][i])
                        for (std::size_t other : made[i])
                            link(each, other);
                    made[i].insert(made[i].end(), operands[o][i].begin(), operands[o][i].end());
                }
            return made;
        case expression_kind::product:
            for (const lineage& operand : operands)
                made.insert(made.end(), operand.begin(), operand.end());
            return made;
        case expression_kind::project: {
            outcome argument = evaluate_safely(*of.operands().front(), empty_);
            for (const std::optional<std::size_t>& index :
                 find_columns(*argument.result->relation_schema(), of.listed_columns()))
                made.push_back(index && *index < operands.front().size() ? operands.front()[*index]
                                                                         : std::vector<std::size_t>{});
            return made;
        }
        case expression_kind::select: {
            outcome argument = evaluate_safely(*of.operands().front(), empty_);
            walk_condition(*of.predicate(), *argument.result->relation_schema(), operands.front());
            return operands.front();
        }
        case expression_kind::rename:
            return operands.front();
        }
        return made;
    }

private:
    void walk_condition(const condition& of, const schema& columns, const lineage& from)
    {
        for (const shared<condition>& argument : of.arguments())
            walk_condition(*argument, columns, from);
        std::vector<std::size_t> compared;
        std::vector<shared<value>> literals;
        for (const shared<value>& operand : of.comparands()) {
            if (operand->kind() != value_kind::symbol) {
                literals.push_back(operand);
                continue;
            }
            std::optional<std::size_t> index = find_columns(columns, {operand}).front();
            if (index && *index < from.size())
                compared.insert(compared.end(), from[*index].begin(), from[*index].end());
        }
        for (std::size_t i = 1; i < compared.size(); ++i)
            link(compared[i], compared[0]);
        for (std::size_t each : compared)
            literals_[each].insert(literals_[each].end(), literals.begin(), literals.end());
    }

    const database& shape_;
    shared<environment> empty_;
    std::vector<std::size_t> offsets_;
    std::vector<std::size_t> parent_;
    std::vector<std::vector<shared<value>>> literals_;
};

// At most n of the values, spread over their order, the first and the
// last among them.
std::vector<shared<value>> spread(const std::vector<shared<value>>& sorted, std::size_t n)
{
    if (sorted.size() <= n)
        return sorted;
    std::vector<shared<value>> kept;
    for (std::size_t i = 0; i < n; ++i)
        kept.push_back(sorted[i * (sorted.size() - 1) / (n - 1)]);
    return kept;
}
} // namespace

bool fits_column(const type& column_type, const value& v) { return fits(v, column_type); }

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
    role_walk walk(given);
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
        if (fits(*each, column_type))
            pool.push_back(each);
    if (pool.empty()) {
        // Nothing given and no literal: invented values, small and plain.
        for (int i = 1; i <= 3; ++i) {
            if (column_type.kind() == type_kind::integer)
                pool.push_back(integer(i));
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
        if (fits(*each, column_type)
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
        if (fits(*each, column_type))
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
    for (database_relation& each : made.relations()) {
        std::sort(each.rows.begin(), each.rows.end(),
                  [](const shared<row>& a, const shared<row>& b) { return row_compare(*a, *b) < 0; });
        each.rows.erase(
            std::unique(each.rows.begin(), each.rows.end(),
                        [](const shared<row>& a, const shared<row>& b) { return row_compare(*a, *b) == 0; }),
            each.rows.end());
    }
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
