// Databases: an environment's relations as cuttable row lists.
#include "check/database.h"

#include "text/diagnostics.h"
#include "text/text.h"

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

shared<environment> load_environment(const std::string& source)
{
    return parse_whole<environment>("environment", source);
}

} // namespace qorvantel
