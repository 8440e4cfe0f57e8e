// Relations and the output format of the whole system: every result is a
// relation written by its operator>>.
#pragma once

#include "relations/row.h"
#include "relations/schema.h"
#include "relations/table.h"
#include "text/dumpable.h"
#include "text/shared.h"

#include <ostream>

namespace qorvantel {

class relation : public dumpable {
public:
    relation(shared<schema> relation_schema, shared<table> relation_table)
        : schema_(std::move(relation_schema)), table_(std::move(relation_table))
    {
    }

    const shared<schema>& relation_schema() const noexcept { return schema_; }
    const shared<table>& relation_table() const noexcept { return table_; }

    // The schema line, the rows, and an empty line.
    std::ostream& operator>>(std::ostream& out) const override;

private:
    shared<schema> schema_;
    shared<table> table_;
};

// Writes a line end: a newline, then a flush.
std::ostream& line_end(std::ostream& out);

} // namespace qorvantel
