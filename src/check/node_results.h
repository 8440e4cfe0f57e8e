// Every node's result on one database, as the one walk gives it: what the
// fault finder and the row explanations read. A node that the walk does not
// build (a product a join pairs without building it, a select tested with
// the one around it) is walked on its own when asked for.
#pragma once

#include "algebra/expression.h"

#include <map>

namespace qorvantel {

class node_results {
public:
    explicit node_results(shared<environment> on) : on_(std::move(on)) {}

    // The node's result on the database; an empty handle when it fails.
    shared<relation> of(const shared<expression>& node);
    const shared<environment>& database() const noexcept { return on_; }

private:
    shared<environment> on_;
    std::map<const expression*, shared<relation>> built_;
};

// The same rows, column by column, whatever the column names.
bool same_rows(const relation& a, const relation& b);
// Whether the table holds the row's values (names aside).
bool holds_row(const relation& in, const row& wanted);
// A row as the console writes it, without the line end.
std::string row_text(const row& written_row);

} // namespace qorvantel
