// The expression interface and the relation reference, the simplest
// expression: the name of a relation of the environment.
#pragma once

#include "parsing/parsing.h"
#include "relations/environment.h"
#include "relations/relation.h"
#include "text/dumpable.h"

#include <vector>

namespace qorvantel {

class condition;
class expression;

using expression_list = std::vector<shared<expression>>;
using relation_list = std::vector<shared<relation>>;

// What an expression node is. Tools that walk a tree (the web's operator
// tree, the answer checker, the converters) test this instead of asking for
// concrete classes. A new enumerator makes the compiler warn at each switch
// over it, but not at the tests in if-chains: HACKING.md lists both.
enum class expression_kind : unsigned char { relation, union_of, minus, product, select, project, rename };

class expression : public parsing<expression>, public dumpable {
public:
    // A pure function of the expression and the environment; returns a
    // non-empty relation, possibly one the environment or another result
    // holds, since relations are shared and never changed.
    virtual shared<relation> evaluate(const shared<environment>& environment) const = 0;

    virtual expression_kind kind() const noexcept = 0;
    // The operator's keyword as written ("union", "select", ...); the empty
    // string for a relation reference, which is written as its name alone.
    const char* keyword() const noexcept;

    // The operand expressions in order: the terms of union, minus and
    // product, the one argument of select, project and rename, none for a
    // relation reference.
    virtual expression_list operands() const = 0;

    // The operator over the results of its operands, computed already and
    // given in order: evaluate without evaluating the operands. Union, minus
    // and product given two results make one step of their fold, the result
    // so far with the next term. The checks and messages are those of
    // evaluate; a relation reference, which has no operands, looks itself up.
    virtual shared<relation> apply(const relation_list& operand_results,
                                   const shared<environment>& environment) const = 0;

    // The parameters besides the operands; each is empty where the kind has
    // none. relation_name: the name a relation reference reads. predicate:
    // the condition of a select. listed_columns: the columns a project
    // keeps. new_names: the schema name and column names of a rename.
    virtual const shared<value>& relation_name() const noexcept;
    virtual const shared<condition>& predicate() const noexcept;
    virtual const std::vector<shared<value>>& listed_columns() const noexcept;
    virtual const shared<name_schema>& new_names() const noexcept;

    // Where the expression was read, from its first character to its last;
    // not known for a tree a tool built. The registry records it.
    const source_range& place() const noexcept { return place_; }
    // Where each of listed_columns() was read, in order; where the schema
    // name and then each column name of new_names() were read. Empty when
    // not known and where the kind has no such parameter.
    virtual const std::vector<source_range>& listed_column_places() const noexcept;
    virtual const std::vector<source_range>& new_name_places() const noexcept;

protected:
    friend class parsing<expression>;
    source_range place_;
};

// The relation reference: a relation name alone, atomic in having no operands.
class atomic_expression final : public expression {
public:
    atomic_expression() = default;
    explicit atomic_expression(shared<value> name) : name_(std::move(name)) {}

    shared<expression> parse(text::iterator& position) const override;
    // The environment's own relation; "Relation R not found." otherwise.
    shared<relation> evaluate(const shared<environment>& environment) const override;
    std::ostream& operator>>(std::ostream& out) const override;

    expression_kind kind() const noexcept override { return expression_kind::relation; }
    expression_list operands() const override { return {}; }
    shared<relation> apply(const relation_list& operand_results, const shared<environment>& environment) const override;
    const shared<value>& relation_name() const noexcept override { return name_; }

private:
    shared<value> name_;
};

} // namespace qorvantel
