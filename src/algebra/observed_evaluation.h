// The one walk over an expression tree: an evaluation that tells an
// observer about every node as it goes. It owns what every tool needs to get
// the same answer as the console: the fold order of union, minus and
// product (left to right, one pairwise step per further term) and the join
// (a select, or selects, over a product pair the product's rows without
// building it, and a project over such a join makes only the projected
// rows), with the results, errors and their order of expression::evaluate.
//
// The tools (the page's operator tree, lint, the SQL translator, the walk
// test) are observers: none folds operands, detects joins or calls apply
// itself. Over an environment without rows (environment::without_rows) the
// walk gives every node's schema and the errors that need no row.
#pragma once

#include "algebra/expression.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <vector>

namespace qorvantel {

// What one step of a node gave: its schema always; its relation when the
// walk built one; its row count when known. A product whose rows a join
// pairs is never built, but its count is known (the product of its terms'
// counts, at most UINT64_MAX); a select a join tests together with the
// select around it is not built and not counted, and neither is a pairwise
// step of union or minus before the last.
class node_result {
public:
    node_result() = default;
    explicit node_result(shared<relation> built);
    node_result(shared<schema> result_schema, std::optional<std::uint64_t> rows);

    const shared<schema>& result_schema() const noexcept { return schema_; }
    const std::optional<std::uint64_t>& rows() const noexcept { return rows_; }
    // The relation itself, or an empty handle when the walk did not build it.
    const shared<relation>& built() const noexcept { return built_; }

private:
    shared<schema> schema_;
    std::optional<std::uint64_t> rows_;
    shared<relation> built_;
};

// Which step of a node is reported. Union, minus and product over n terms
// report one pairwise step for each further term: term is 1 to n - 1, the
// result so far combined with that term, and the step with term n - 1 is
// the last, whose result is the node's. With one term, and for every other
// operator and a relation reference, there is one step: term 0, last.
struct node_step {
    std::size_t term = 0;
    bool last = true;
};

// What the walk tells. Every callback has a default that does nothing. The
// order: enter in preorder, before any operand of the node is walked; then
// each operand's own reports; then the node's steps, each one right after
// the term it combines, as evaluation meets them. An exception thrown by a
// callback ends the walk and leaves it unchanged, recorded on no node.
class expression_observer {
public:
    virtual ~expression_observer() = default;

    virtual void enter(const expression&) {}
    // A step that succeeded. operands are the results the step combined:
    // none for a relation reference, the argument's for select, project and
    // rename, the result so far and the term's for a pairwise step, the one
    // term's for an n-ary operator with one term.
    virtual void evaluated(const expression& node, const node_step& step, const std::vector<node_result>& operands,
                           const node_result& result)
    {
        (void)node, (void)step, (void)operands, (void)result;
    }
    // The step that raised error, which the node itself raised (an
    // input_error, or std::bad_alloc when memory ran out), not one of its
    // operands; the node reports nothing after it.
    virtual void failed(const expression& node, const node_step& step, const std::exception& error)
    {
        (void)node, (void)step, (void)error;
    }
    // With walk_errors::continue_past: an operand of the node failed or was
    // skipped, so the node was not evaluated; its other operands were walked.
    virtual void skipped(const expression&) {}
};

enum class walk_errors : unsigned char {
    // The first error ends the walk and is raised again, as evaluate raises
    // it: the nodes after it are neither entered nor reported.
    stop,
    // Every operand is walked even after one fails; a node with a failed
    // operand is skipped, and the walk returns an empty handle.
    continue_past,
};

// The expression's result, the one expression::evaluate gives (rows, order
// and error), each node reported to observer on the way.
shared<relation> evaluate_observed(const shared<expression>& query, const shared<environment>& environment,
                                   expression_observer& observer, walk_errors errors = walk_errors::stop);

} // namespace qorvantel
