// Columns, schemas and name schemas, and the schema operations shared by the
// operators: the distinct-name test, column lookup and coercion.
#pragma once

#include "text/dumpable.h"
#include "text/shared.h"
#include "text/text.h"
#include "values/type.h"
#include "values/value.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace qorvantel {

class column : public dumpable {
public:
    column(shared<value> name, shared<type> column_type) : name_(std::move(name)), type_(std::move(column_type)) {}

    const shared<value>& name() const noexcept { return name_; }
    const shared<type>& column_type() const noexcept { return type_; }

    std::ostream& operator>>(std::ostream& out) const override;

private:
    shared<value> name_;
    shared<type> type_;
};

using column_list = std::vector<shared<column>>;

class schema : public dumpable {
public:
    schema(shared<value> name, column_list columns) : name_(std::move(name)), columns_(std::move(columns)) {}

    // The relation's name, or empty for a schema made by an operator.
    const shared<value>& name() const noexcept { return name_; }
    const column_list& columns() const noexcept { return columns_; }

    std::ostream& operator>>(std::ostream& out) const override;

private:
    shared<value> name_;
    column_list columns_;
};

// A schema without types, S(x, y, ...): the new names a rename gives.
class name_schema : public dumpable {
public:
    name_schema(shared<value> name, std::vector<shared<value>> column_names)
        : name_(std::move(name)), column_names_(std::move(column_names))
    {
    }

    const shared<value>& name() const noexcept { return name_; }
    const std::vector<shared<value>>& column_names() const noexcept { return column_names_; }

    std::ostream& operator>>(std::ostream& out) const override;

private:
    shared<value> name_;
    std::vector<shared<value>> column_names_;
};

// A name and a type; an empty handle, position unchanged, when either is
// missing.
shared<column> parse_column(text::iterator& position);

// The column list of a relation named by name; raises the errors of the
// sequence and "Duplicate columns in ...".
shared<schema> parse_schema_columns(shared<value> name, text::iterator& position);

// A name and a parenthesised list of names; empty handle when no name.
// Where places is given, it receives where the name and then each of the
// names was read.
shared<name_schema> parse_name_schema(text::iterator& position, std::vector<source_range>* places = nullptr);

bool has_distinct_names(const column_list& columns);

// Index of the first column whose name equals name.
std::optional<std::size_t> find_column(const schema& in, const value& name);
// find_column for each name in turn, through a sorted index of the schema's
// names when both lists are long, so that wide schemas stay n log n.
std::vector<std::optional<std::size_t>> find_columns(const schema& in, const std::vector<shared<value>>& names);
[[noreturn]] void throw_column_not_found(const value& name, const schema& in);
// Raises "Duplicate columns in ..." unless the schema's names are distinct.
void require_distinct_names(const schema& in);

// The common schema of union and minus: a's names, for each column the type
// that contains the other; no schema name.
shared<schema> coerce(const shared<schema>& a, const shared<schema>& b);

} // namespace qorvantel
