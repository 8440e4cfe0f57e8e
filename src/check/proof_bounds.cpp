// Occurrences of relations, and the bounds they give.
#include "check/proof_bounds.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>

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

} // namespace qorvantel
