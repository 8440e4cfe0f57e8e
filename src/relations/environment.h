// The environment: relation names bound to relations, read from environment
// text and written back in the same format.
#pragma once

#include "parsing/parsing.h"
#include "relations/relation.h"
#include "text/dumpable.h"

#include <map>
#include <vector>

namespace qorvantel {

// Orders relation names by their bytes; lookups may use a bare value.
struct name_order {
    using is_transparent = void;
    bool operator()(const shared<value>& a, const shared<value>& b) const { return value_less(*a, *b); }
    bool operator()(const value& a, const shared<value>& b) const { return value_less(a, *b); }
    bool operator()(const shared<value>& a, const value& b) const { return value_less(*a, b); }
};

class environment : public dumpable, public parsing<environment> {
public:
    using relation_map = std::map<shared<value>, shared<relation>, name_order>;

    environment() = default;
    // The relations given, each under its schema's name; a name given twice
    // is a logic error (the callers build environments of distinct names).
    explicit environment(relation_map relations) : relations_(std::move(relations)) {}

    // An environment of the given relations, each under its schema's name:
    // how tools make databases of their own without writing text and
    // reading it back. Throws std::logic_error on a repeated or missing name.
    static shared<environment> of(const std::vector<shared<relation>>& relations);
    // The same relation names and schemas, every table empty: what a walk
    // over schemas alone evaluates against.
    shared<environment> without_rows() const;

    // Every relation, in byte order of the names.
    std::ostream& operator>>(std::ostream& out) const override;

    // Reads relations until no relation name follows; never empty-handed.
    shared<environment> parse(text::iterator& position) const override;

    // The relation named name, or an empty handle.
    shared<relation> find_relation(const value& name) const;

    const relation_map& relations() const noexcept { return relations_; }

private:
    relation_map relations_;
};

} // namespace qorvantel
