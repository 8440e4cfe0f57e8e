// The expression interface and the relation reference, the simplest
// expression: the name of a relation of the environment.
#pragma once

#include "parsing/parsing.h"
#include "relations/environment.h"
#include "relations/relation.h"
#include "text/dumpable.h"

namespace qorvantel {

class expression : public parsing<expression>, public dumpable {
public:
    // A pure function of the expression and the environment; returns a
    // non-empty relation, possibly one the environment or another result
    // holds, since relations are shared and never changed.
    virtual shared<relation> evaluate(const shared<environment>& environment) const = 0;
};

class atomic_expression final : public expression {
public:
    atomic_expression() = default;
    explicit atomic_expression(shared<value> name) : name_(std::move(name)) {}

    shared<expression> parse(text::iterator& position) const override;
    // The environment's own relation; "Relation R not found." otherwise.
    shared<relation> evaluate(const shared<environment>& environment) const override;
    std::ostream& operator>>(std::ostream& out) const override;

    const shared<value>& name() const noexcept { return name_; }

private:
    shared<value> name_;
};

} // namespace qorvantel
