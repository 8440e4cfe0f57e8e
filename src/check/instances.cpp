// Generating small databases around the values that matter.
#include "check/instances.h"

#include "algebra/condition.h"

#include <algorithm>
#include <limits>
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

void collect(const expression& of, std::vector<shared<value>>& into, std::set<std::string>& names)
{
    if (of.kind() == expression_kind::relation)
        names.insert(written(*of.relation_name()));
    if (!of.predicate().empty())
        collect_condition(*of.predicate(), into);
    for (const shared<expression>& operand : of.operands())
        collect(*operand, into, names);
}

// -2147483648 has no literal: the lowest integer an environment can hold.
constexpr std::int64_t lowest_integer = -std::numeric_limits<std::int32_t>::max();

shared<value> integer(std::int64_t n) { return shared<value>(new integer_value(static_cast<std::int32_t>(n))); }

char step(char c, int by)
{
    c = static_cast<char>(c + by);
    return c == '\'' ? static_cast<char>(c + by) : c;
}

void add_neighbours(const value& literal, const type& column_type, std::vector<shared<value>>& pool)
{
    if (literal.kind() == value_kind::integer && column_type.kind() == type_kind::integer) {
        std::int64_t n = static_cast<const integer_value&>(literal).number();
        for (std::int64_t near = n - 1; near <= n + 1; ++near)
            if (near >= lowest_integer && near <= std::numeric_limits<std::int32_t>::max())
                pool.push_back(integer(near));
        return;
    }
    if (literal.kind() != value_kind::string || column_type.kind() != type_kind::string)
        return;
    std::string s(static_cast<const string_value&>(literal).content());
    std::size_t room = static_cast<const string_type&>(column_type).max_length();
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

std::set<std::string> names_read(const std::vector<const expression*>& queries)
{
    std::vector<shared<value>> ignored;
    std::set<std::string> names;
    for (const expression* query : queries)
        collect(*query, ignored, names);
    return names;
}
} // namespace

std::vector<shared<value>> literals_of(const std::vector<const expression*>& queries)
{
    std::vector<shared<value>> literals;
    std::set<std::string> ignored;
    for (const expression* query : queries)
        collect(*query, literals, ignored);
    return literals;
}

std::vector<shared<value>> column_pool(const database& given, std::size_t relation, std::size_t column,
                                       const std::vector<shared<value>>& literals)
{
    const database_relation& held = given.relations()[relation];
    const type& column_type = *held.columns->columns()[column]->column_type();
    std::vector<shared<value>> pool;
    for (const shared<row>& each : held.rows)
        pool.push_back((*each)[column]);
    for (const shared<value>& literal : literals)
        add_neighbours(*literal, column_type, pool);
    if (column_type.kind() == type_kind::integer) {
        pool.push_back(integer(lowest_integer));
        pool.push_back(integer(std::numeric_limits<std::int32_t>::max()));
    } else {
        pool.push_back(string_value::make(""));
    }
    std::sort(pool.begin(), pool.end(),
              [](const shared<value>& a, const shared<value>& b) { return value_less(*a, *b); });
    pool.erase(std::unique(pool.begin(), pool.end(),
                           [](const shared<value>& a, const shared<value>& b) { return value_equal(*a, *b); }),
               pool.end());
    return pool;
}

std::uint64_t draws::next() noexcept
{
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

instance_generator::instance_generator(const database& given, const std::vector<const expression*>& queries)
    : shape(given)
{
    std::set<std::string> names = names_read(queries);
    std::vector<shared<value>> literals = literals_of(queries);
    for (std::size_t r = 0; r < given.relations().size(); ++r) {
        const schema& columns = *given.relations()[r].columns;
        used.push_back(names.count(written(*columns.name())) > 0);
        pools.emplace_back();
        for (std::size_t c = 0; c < columns.columns().size(); ++c)
            pools.back().push_back(used.back() ? column_pool(given, r, c, literals) : std::vector<shared<value>>{});
    }
}

database instance_generator::next(draws& random) const
{
    database made;
    for (std::size_t r = 0; r < shape.relations().size(); ++r) {
        database_relation filled{shape.relations()[r].columns, {}};
        std::size_t count = used[r] ? random.below(max_rows + 1) : 0;
        for (std::size_t i = 0; i < count; ++i) {
            const auto& column_pools = pools[r];
            filled.rows.push_back(row::make(column_pools.size(), [&](shared<value>* slots) {
                for (std::size_t c = 0; c < column_pools.size(); ++c)
                    slots[c] = column_pools[c][random.below(column_pools[c].size())];
            }));
        }
        made.relations().push_back(std::move(filled));
    }
    return made;
}

} // namespace qorvantel
