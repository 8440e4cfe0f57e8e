// Reading and writing environments.
#include "relations/environment.h"

#include "text/diagnostics.h"

#include <stdexcept>

namespace qorvantel {

std::ostream& environment::operator>>(std::ostream& out) const
{
    for (const auto& entry : relations_)
        out << entry.second;
    return out;
}

shared<environment> environment::of(const std::vector<shared<relation>>& relations)
{
    relation_map bound;
    for (const auto& each : relations) {
        const shared<value>& name = each->relation_schema()->name();
        if (name.empty() || !bound.emplace(name, each).second)
            throw std::logic_error("environment::of: relation without a name or named twice");
    }
    return shared<environment>(new environment(std::move(bound)));
}

shared<environment> environment::without_rows() const
{
    relation_map empty;
    for (const auto& entry : relations_)
        empty.emplace(entry.first,
                      shared<relation>(new relation(entry.second->relation_schema(), table::unsorted({}))));
    return shared<environment>(new environment(std::move(empty)));
}

shared<relation> environment::find_relation(const value& name) const
{
    auto found = relations_.find(name);
    return found == relations_.end() ? shared<relation>() : found->second;
}

shared<environment> environment::parse(text::iterator& position) const
{
    shared<environment> result(new environment());
    relation_map& relations = result->relations_;
    text::iterator working = position;
    for (;;) {
        shared<value> name = parse_symbol(working);
        if (name.empty())
            break;
        shared<schema> relation_schema = parse_schema_columns(name, working);
        row_list rows;
        value_dictionary shared_values(relation_schema->columns().size());
        for (;;) {
            shared<row> next = parse_row(working, *relation_schema, &shared_values);
            if (next.empty())
                break;
            rows.push_back(std::move(next));
        }
        shared<relation> read(new relation(relation_schema, table::unsorted(std::move(rows))));
        if (relations.find(name) != relations.end()) {
            // The position still stands where the previous relation ended.
            error_message message;
            message << "Redefinition of relation " << name << " " << position << ".";
            throw_message(message);
        }
        relations.emplace(name, std::move(read));
        position = working;
    }
    return result;
}

} // namespace qorvantel
