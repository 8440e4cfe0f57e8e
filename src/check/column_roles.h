// Which columns play one role: the columns a condition compares with each
// other, the columns a union or a difference puts in one place, the
// columns a rename gives new names, followed through every operator back
// to the relations' own columns; and the literals each column is compared
// with. Union-find over the columns of every relation of a database.
#pragma once

#include "algebra/expression.h"
#include "check/database.h"

#include <cstddef>
#include <vector>

namespace qorvantel {

class column_roles {
public:
    explicit column_roles(const database& shape);

    std::size_t id(std::size_t relation, std::size_t column) const { return offsets_[relation] + column; }
    std::size_t count() const { return parent_.size(); }

    std::size_t find(std::size_t x);
    void link(std::size_t a, std::size_t b) { parent_[find(a)] = find(b); }

    const std::vector<std::vector<shared<value>>>& literals() const { return literals_; }

    // Per column of the expression's result, the base columns it holds.
    using lineage = std::vector<std::vector<std::size_t>>;
    lineage walk(const expression& of);

private:
    void walk_condition(const condition& of, const schema& columns, const lineage& from);

    const database& shape_;
    shared<environment> empty_;
    std::vector<std::size_t> offsets_;
    std::vector<std::size_t> parent_;
    std::vector<std::vector<shared<value>>> literals_;
};

} // namespace qorvantel
