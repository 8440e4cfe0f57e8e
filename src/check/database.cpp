// Databases: an environment's relations as cuttable row lists.
#include "check/database.h"

#include "text/diagnostics.h"
#include "text/text.h"

#include <algorithm>
#include <sstream>

namespace qorvantel {

database::database(const environment& loaded)
{
    for (const auto& [name, held] : loaded.relations())
        relations_.push_back({held->relation_schema(), held->relation_table()->rows()});
}

std::vector<row_address> database::all_rows() const
{
    std::vector<row_address> rows;
    for (std::size_t r = 0; r < relations_.size(); ++r)
        for (std::size_t i = 0; i < relations_[r].rows.size(); ++i)
            rows.push_back({r, i});
    return rows;
}

std::string database::text_of(const std::vector<row_address>& kept) const
{
    // Each relation's schema line, then its kept rows one per line, then an
    // empty line: the form the console writes an environment in.
    std::vector<std::vector<std::size_t>> chosen(relations_.size());
    for (const row_address& address : kept)
        chosen[address.relation].push_back(address.row);
    std::string out;
    for (std::size_t r = 0; r < relations_.size(); ++r) {
        out += written(*relations_[r].columns);
        out += '\n';
        for (std::size_t index : chosen[r]) {
            const row& each = *relations_[r].rows[index];
            for (std::size_t v = 0; v < each.size(); ++v) {
                if (v > 0)
                    out += ", ";
                append_written(out, *each[v]);
            }
            out += '\n';
        }
        out += '\n';
    }
    return out;
}

std::vector<std::vector<std::size_t>> database::by_relation(const std::vector<row_address>& kept) const
{
    std::vector<std::vector<std::size_t>> chosen(relations_.size());
    for (const row_address& address : kept)
        chosen[address.relation].push_back(address.row);
    return chosen;
}

void database::keep_each_row_once()
{
    for (database_relation& each : relations_) {
        std::sort(each.rows.begin(), each.rows.end(),
                  [](const shared<row>& a, const shared<row>& b) { return row_compare(*a, *b) < 0; });
        each.rows.erase(
            std::unique(each.rows.begin(), each.rows.end(),
                        [](const shared<row>& a, const shared<row>& b) { return row_compare(*a, *b) == 0; }),
            each.rows.end());
    }
}

shared<environment> database::environment_of(const std::vector<row_address>& kept) const
{
    std::vector<std::vector<std::size_t>> chosen = by_relation(kept);
    std::vector<shared<relation>> made;
    for (std::size_t r = 0; r < relations_.size(); ++r) {
        row_list rows;
        for (std::size_t index : chosen[r])
            rows.push_back(relations_[r].rows[index]);
        made.push_back(shared<relation>(new relation(relations_[r].columns, table::unsorted(std::move(rows)))));
    }
    return environment::of(made);
}

shared<environment> database::whole() const
{
    std::vector<shared<relation>> made;
    for (const database_relation& each : relations_)
        made.push_back(shared<relation>(new relation(each.columns, table::unsorted(each.rows))));
    return environment::of(made);
}

shared<environment> load_environment(const std::string& source)
{
    return parse_whole<environment>("environment", source);
}

} // namespace qorvantel
