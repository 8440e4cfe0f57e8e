// Both expressions of a check as Z3 formulas over symbolic relations: each
// relation N rows with a presence flag each, each result a list of
// candidate rows with the formula under which each is present, and the
// formula under which the expression raises. Built only with Z3.
#pragma once

#ifdef QORVANTEL_HAVE_Z3

#include "algebra/condition.h"
#include "algebra/expression.h"
#include "check/database.h"

#include <cstddef>
#include <stdexcept>
#include <vector>
#include <z3++.h>

namespace qorvantel {

struct symbolic_row {
    z3::expr present;
    std::vector<z3::expr> values;
};

struct symbolic_result {
    std::vector<symbolic_row> rows;
    z3::expr raises;
    // Empty when the expression raises on every database.
    shared<schema> columns;
};

struct truth {
    z3::expr holds;
    z3::expr raises;
};

// Past this many candidate rows the formula is too large to be worth
// building: encode raises too_large, and the check answers unknown.
constexpr std::size_t most_candidates = 4096;

struct too_large : std::runtime_error {
    too_large() : std::runtime_error("too large") {}
};

// Strings are width bytes wide, the widest column or literal: every value
// of char(n) has zero bytes from n on.
class encoder {
public:
    encoder(z3::context& context, const database& shape, const std::vector<std::size_t>& bounds, unsigned width);

    const std::vector<std::vector<symbolic_row>>& base() const noexcept { return base_; }
    const z3::expr& domain() const noexcept { return domain_; }
    const shared<environment>& empty() const noexcept { return empty_; }

    symbolic_result encode(const expression& of);

    z3::expr member(const std::vector<z3::expr>& values, const std::vector<symbolic_row>& in);

    z3::expr equal(const std::vector<z3::expr>& a, const std::vector<z3::expr>& b);

    // A value of the database back from a model.
    shared<value> value_of(const z3::model& model, const z3::expr& field, const type& column_type);

private:
    void add(std::vector<symbolic_row>& into, symbolic_row each);

    z3::expr field(const char* name, const type& column_type);

    z3::expr literal(const value& of);

    truth evaluate(const condition& test, const schema& columns, const std::vector<z3::expr>& values);

    static z3::expr compare(comparison_operator op, const z3::expr& l, const z3::expr& r, bool integers);

    z3::context& context_;
    const database& shape_;
    unsigned width_;
    z3::expr domain_;
    shared<environment> empty_;
    std::vector<std::vector<symbolic_row>> base_;
};

} // namespace qorvantel

#endif
