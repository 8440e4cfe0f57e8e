// Shrinking rows, then values.
#include "check/minimal_database.h"

#include "check/shrink.h"

#include <algorithm>

namespace qorvantel {

database only(const database& rows, const std::vector<row_address>& kept)
{
    database made;
    std::vector<std::vector<std::size_t>> by = rows.by_relation(kept);
    for (std::size_t r = 0; r < rows.relations().size(); ++r) {
        database_relation each{rows.relations()[r].columns, {}};
        for (std::size_t i : by[r])
            each.rows.push_back(rows.relations()[r].rows[i]);
        made.relations().push_back(std::move(each));
    }
    return made;
}

namespace {
bool is_given(const database& given, std::size_t relation, std::size_t column, const value& v)
{
    for (const shared<row>& each : given.relations()[relation].rows)
        if (value_equal(*(*each)[column], v))
            return true;
    return false;
}

// A copy of rows whose fields equal to from in columns of one role hold to
// instead (where it fits), or only the one field when alone.
database replaced(const database& rows, const instance_generator& values, std::size_t relation, std::size_t index,
                  std::size_t column, const shared<value>& to, bool alone)
{
    database made = rows;
    const shared<value> from = (*rows.relations()[relation].rows[index])[column];
    std::size_t role = values.role_of(relation, column);
    for (std::size_t r = 0; r < made.relations().size(); ++r) {
        database_relation& each = made.relations()[r];
        std::size_t width = each.columns->columns().size();
        for (std::size_t i = 0; i < each.rows.size(); ++i) {
            const row& old = *each.rows[i];
            bool touched = false;
            for (std::size_t c = 0; c < width; ++c) {
                bool here = r == relation && i == index && c == column;
                touched = touched || here
                    || (!alone && values.role_of(r, c) == role && value_equal(*old[c], *from)
                        && fits_column(*each.columns->columns()[c]->column_type(), *to));
            }
            if (!touched)
                continue;
            each.rows[i] = row::make(width, [&](shared<value>* slots) {
                for (std::size_t c = 0; c < width; ++c) {
                    bool here = r == relation && i == index && c == column;
                    bool same_role = !alone && values.role_of(r, c) == role && value_equal(*old[c], *from)
                        && fits_column(*each.columns->columns()[c]->column_type(), *to);
                    slots[c] = here || same_role ? to : old[c];
                }
            });
        }
    }
    return made;
}

// Fields whose value the given database does not hold take, where the
// difference stays, one of the column's ordinary values: the same value
// everywhere in its role first (a key and the references to it together),
// then the field alone.
database simplify_values(database rows, const database& given, const instance_generator& values,
                         const database_test& holds)
{
    for (std::size_t r = 0; r < rows.relations().size(); ++r) {
        std::size_t width = rows.relations()[r].columns->columns().size();
        for (std::size_t i = 0; i < rows.relations()[r].rows.size(); ++i)
            for (std::size_t c = 0; c < width; ++c) {
                const shared<value> now = (*rows.relations()[r].rows[i])[c];
                if (is_given(given, r, c, *now))
                    continue;
                bool done = false;
                for (bool alone : {false, true}) {
                    for (const shared<value>& candidate : values.preferred(r, c)) {
                        if (value_equal(*candidate, *now))
                            break;
                        database attempt = replaced(rows, values, r, i, c, candidate, alone);
                        if (holds(attempt)) {
                            rows = std::move(attempt);
                            done = true;
                            break;
                        }
                    }
                    if (done)
                        break;
                }
            }
    }
    return rows;
}

} // namespace

database minimal_database(const database& rows, const database_test& holds, const database& given,
                          const instance_generator* values)
{
    auto shrunk = [&](const database& from) {
        std::vector<row_address> all = from.all_rows();
        std::vector<std::size_t> indexes(all.size());
        for (std::size_t i = 0; i < indexes.size(); ++i)
            indexes[i] = i;
        auto addresses = [&](const std::vector<std::size_t>& chosen) {
            std::vector<row_address> kept;
            for (std::size_t i : chosen)
                kept.push_back(all[i]);
            return kept;
        };
        std::vector<std::size_t> minimal = shrink_to_minimal(
            indexes, [&](const std::vector<std::size_t>& chosen) { return holds(only(from, addresses(chosen))); });
        return only(from, addresses(minimal));
    };
    database kept = shrunk(rows);
    if (values == nullptr)
        return kept;
    kept = simplify_values(std::move(kept), given, *values, holds);
    kept.keep_each_row_once();
    return shrunk(kept);
}

} // namespace qorvantel
