// A database as the checker handles it: the relations of an environment as
// schemas and row lists that can be cut down to any subset of their rows or
// filled with rows of generated values, and written back as environment text
// that the interpreter loads as it stands.
#pragma once

#include "relations/environment.h"
#include "relations/relation.h"

#include <cstddef>
#include <string>
#include <vector>

namespace qorvantel {

struct database_relation {
    shared<schema> columns;
    row_list rows;
};

// The address of one row: its relation's index and its index there.
struct row_address {
    std::size_t relation;
    std::size_t row;
};

class database {
public:
    database() = default;
    explicit database(const environment& loaded);

    const std::vector<database_relation>& relations() const noexcept { return relations_; }
    std::vector<database_relation>& relations() noexcept { return relations_; }

    // Every row of every relation, relation by relation, in row order.
    std::vector<row_address> all_rows() const;
    // The environment text of the schemas with only the given rows.
    std::string text_of(const std::vector<row_address>& kept) const;
    // The environment text of the whole database.
    std::string text() const { return text_of(all_rows()); }

private:
    std::vector<database_relation> relations_;
};

// Reads environment text; raises the interpreter's own errors.
shared<environment> load_environment(const std::string& source);

} // namespace qorvantel
