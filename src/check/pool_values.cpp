// Pool values.
#include "check/pool_values.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>

namespace qorvantel {

// -2147483648 has no literal: the lowest integer an environment can hold.
constexpr std::int64_t lowest_integer = -std::numeric_limits<std::int32_t>::max();

shared<value> small_integer(std::int64_t n) { return shared<value>(new integer_value(static_cast<std::int32_t>(n))); }

namespace {
char step(char c, int by)
{
    c = static_cast<char>(c + by);
    return c == '\'' ? static_cast<char>(c + by) : c;
}
} // namespace

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
                pool.push_back(small_integer(near));
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

bool fits_column(const type& column_type, const value& v)
{
    if (column_type.kind() == type_kind::integer)
        return v.kind() == value_kind::integer;
    return v.kind() == value_kind::string
        && static_cast<const string_value&>(v).content().size()
        <= static_cast<const string_type&>(column_type).max_length();
}

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

} // namespace qorvantel
