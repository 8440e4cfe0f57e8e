// The web session: loading, console lines, and the operator tree.
#include "web/session.h"

#include "algebra/expression.h"
#include "algebra/left_associative_expression.h"
#include "algebra/project_expression.h"
#include "algebra/rename_expression.h"
#include "algebra/select_expression.h"
#include "driver/driver.h"
#include "parsing/keywords.h"
#include "text/diagnostics.h"
#include "text/text.h"
#include "web/json_writer.h"

#include <memory>
#include <new>
#include <sstream>
#include <stdexcept>
#include <streambuf>
#include <vector>

#ifndef QORVANTEL_VERSION
#define QORVANTEL_VERSION "unknown"
#endif

namespace qorvantel {

const char* web_version() { return QORVANTEL_VERSION; }

namespace {

// The console writes an error as its message, ESC escaped, and a newline.
std::string console_message(const char* message)
{
    std::ostringstream out;
    for (const char* each = message; *each != '\0'; ++each)
        write_message_char(out, *each);
    out.put('\n');
    return out.str();
}

// A memory failure inside the module says so plainly: the page stays usable
// and the user learns why nothing came back.
const char* const out_of_memory = "Out of memory: the result does not fit in the page's memory.";
const char* const internal_error = "Internal error.";

// Keeps the first limit bytes written and counts the rest, so that a
// result of millions of rows is measured without holding all its text.
class capped_buffer : public std::streambuf {
public:
    explicit capped_buffer(std::size_t limit) : limit_(limit) {}

    const std::string& kept() const noexcept { return kept_; }
    std::size_t total() const noexcept { return total_; }

protected:
    int_type overflow(int_type character) override
    {
        if (traits_type::eq_int_type(character, traits_type::eof()))
            return traits_type::not_eof(character);
        char one = traits_type::to_char_type(character);
        xsputn(&one, 1);
        return character;
    }

    std::streamsize xsputn(const char* characters, std::streamsize count) override
    {
        std::size_t size = static_cast<std::size_t>(count);
        if (kept_.size() < limit_)
            kept_.append(characters, std::min(size, limit_ - kept_.size()));
        total_ += size;
        return count;
    }

private:
    std::size_t limit_;
    std::string kept_;
    std::size_t total_ = 0;
};

// Stands in for an operand already evaluated, so that each operator of the
// tree is evaluated once over its operands' results.
class evaluated_expression final : public expression {
public:
    evaluated_expression(shared<expression> original, shared<relation> result)
        : original_(std::move(original)), result_(std::move(result))
    {
    }
    shared<expression> parse(text::iterator&) const override { return shared<expression>(); }
    shared<relation> evaluate(const shared<environment>&) const override { return result_; }
    std::ostream& operator>>(std::ostream& out) const override { return out << original_; }

private:
    shared<expression> original_;
    shared<relation> result_;
};

struct tree_node {
    std::string kind;       // the operator's keyword, or "relation"
    std::string label;      // the operator with its own arguments
    std::string expression; // the subexpression's text, runnable as a line
    bool evaluated = false;
    std::string schema;
    std::vector<std::pair<std::string, std::string>> columns;
    std::size_t rows = 0;
    std::string error;
    std::vector<tree_node> children;
};

template <class T>
std::string written(const T& object)
{
    std::ostringstream out;
    out << object;
    return out.str();
}

void describe_result(tree_node& node, const relation& result)
{
    node.evaluated = true;
    node.schema = written(result.relation_schema());
    for (const shared<column>& each : result.relation_schema()->columns())
        node.columns.emplace_back(written(each->name()), written(each->column_type()));
    node.rows = result.relation_table()->rows().size();
}

// Evaluates an operator over operands that are already evaluated; an error
// of this step is the node's own.
shared<relation> evaluate_step(tree_node& node, const expression& step, const shared<environment>& loaded)
{
    try {
        return step.evaluate(loaded);
    } catch (const std::bad_alloc&) {
        node.error = out_of_memory;
        throw;
    } catch (const std::exception& error) {
        node.error = error.what();
        throw;
    }
}

shared<expression> stand_in(const shared<expression>& original, shared<relation> result)
{
    return shared<expression>(new evaluated_expression(original, std::move(result)));
}

shared<relation> evaluate_tree(const shared<expression>& query, tree_node& node, const shared<environment>& loaded);

// A select, project or rename node: its argument's subtree, then the same
// operator with the same parameter over the argument's computed result.
template <class Operator, class Parameter>
shared<relation> evaluate_unary(tree_node& node, const Operator& original, const char* keyword,
                                const std::string& detail, const Parameter& parameter,
                                const shared<environment>& loaded)
{
    node.kind = keyword;
    node.label = node.kind + " " + detail;
    node.children.emplace_back();
    shared<relation> operand = evaluate_tree(original.argument(), node.children.back(), loaded);
    Operator step(stand_in(original.argument(), operand), parameter);
    return evaluate_step(node, step, loaded);
}

// Evaluates the expression node by node, in the order its own evaluation
// takes (so the first error is the one the console reports), and records
// each node. A node whose operand failed stays unevaluated.
shared<relation> evaluate_tree(const shared<expression>& query, tree_node& node, const shared<environment>& loaded)
{
    node.expression = written(query);
    const expression& e = *query;
    shared<relation> result;
    if (auto* reference = dynamic_cast<const atomic_expression*>(&e)) {
        node.kind = "relation";
        node.label = written(reference->name());
        result = evaluate_step(node, e, loaded);
    } else if (auto* fold = dynamic_cast<const left_associative_expression*>(&e)) {
        const char* keyword = dynamic_cast<const union_expression*>(&e)   ? keywords().union_word.word()
                              : dynamic_cast<const minus_expression*>(&e) ? keywords().minus_word.word()
                                                                          : keywords().product_word.word();
        node.kind = keyword;
        node.label = keyword;
        for (const shared<expression>& term : fold->terms()) {
            node.children.emplace_back();
            shared<relation> operand = evaluate_tree(term, node.children.back(), loaded);
            if (result.empty()) {
                result = operand;
                continue;
            }
            // The fold so far with this term, as a two-term operator over
            // the results already computed: the same checks and messages, in
            // the same order, as the whole operator's evaluation.
            expression_list pair{stand_in(query, result), stand_in(term, operand)};
            shared<expression> step;
            if (dynamic_cast<const union_expression*>(&e))
                step = shared<expression>(new union_expression(std::move(pair)));
            else if (dynamic_cast<const minus_expression*>(&e))
                step = shared<expression>(new minus_expression(std::move(pair)));
            else
                step = shared<expression>(new product_expression(std::move(pair)));
            try {
                result = step->evaluate(loaded);
            } catch (const std::bad_alloc&) {
                node.error = out_of_memory;
                throw;
            } catch (const std::exception& error) {
                node.error = error.what();
                throw;
            }
        }
    } else if (auto* selection = dynamic_cast<const select_expression*>(&e)) {
        result = evaluate_unary(node, *selection, keywords().select_word.word(), written(selection->predicate()),
                                selection->predicate(), loaded);
    } else if (auto* projection = dynamic_cast<const project_expression*>(&e)) {
        result = evaluate_unary(node, *projection, keywords().project_word.word(),
                                written(separated(*projection->projected_columns())), projection->projected_columns(),
                                loaded);
    } else if (auto* renaming = dynamic_cast<const rename_expression*>(&e)) {
        result = evaluate_unary(node, *renaming, keywords().rename_word.word(), written(renaming->new_names()),
                                renaming->new_names(), loaded);
    } else {
        // An operator the tree does not know: evaluated whole, drawn as a leaf.
        node.kind = "expression";
        node.label = node.expression;
        result = evaluate_step(node, e, loaded);
    }
    describe_result(node, *result);
    return result;
}

void write_columns(json_writer& out, const std::vector<std::pair<std::string, std::string>>& columns)
{
    out.key("columns").begin_array();
    for (const auto& [name, type] : columns)
        out.begin_object().key("name").string(name).key("type").string(type).end_object();
    out.end_array();
}

void write_tree(json_writer& out, const tree_node& node)
{
    out.begin_object();
    out.key("kind").string(node.kind);
    out.key("label").string(node.label);
    out.key("expression").string(node.expression);
    out.key("evaluated").boolean(node.evaluated);
    if (node.evaluated) {
        out.key("schema").string(node.schema);
        write_columns(out, node.columns);
        out.key("rows").number(static_cast<double>(node.rows));
    }
    if (!node.error.empty())
        out.key("error").string(node.error);
    out.key("children").begin_array();
    for (const tree_node& child : node.children)
        write_tree(out, child);
    out.end_array();
    out.end_object();
}

void write_table(json_writer& out, const relation& result, std::size_t row_limit)
{
    tree_node shape;
    describe_result(shape, result);
    out.key("result").begin_object();
    out.key("schema").string(shape.schema);
    write_columns(out, shape.columns);
    out.key("count").number(static_cast<double>(shape.rows));
    out.key("rows").begin_array();
    const row_list& rows = result.relation_table()->rows();
    std::string cell;
    for (std::size_t i = 0; i < rows.size() && i < row_limit; ++i) {
        out.begin_array();
        for (const shared<value>& field : *rows[i]) {
            cell.clear();
            if (!field.empty())
                append_written(cell, *field);
            out.string(cell);
        }
        out.end_array();
    }
    out.end_array();
    out.end_object();
}

void write_text(json_writer& out, const capped_buffer& text)
{
    out.key("text").string(text.kept());
    out.key("text_bytes").number(static_cast<double>(text.total()));
}

} // namespace

std::string web_session::load_environment(const std::string& content)
{
    loaded_ = shared<environment>();
    try {
        text initial(content);
        text::iterator position = initial.begin();
        shared<environment> read = parsing<environment>::require("environment", position);
        expect_end(position);
        loaded_ = read;
        return std::string();
    } catch (const std::bad_alloc&) {
        return console_message(out_of_memory);
    } catch (const std::exception& error) {
        return console_message(error.what());
    } catch (...) {
        return console_message(internal_error);
    }
}

std::string web_session::environment_json() const
{
    try {
        json_writer out;
        out.begin_object().key("relations").begin_array();
        if (!loaded_.empty()) {
            for (const auto& [name, bound] : loaded_->relations()) {
                tree_node shape;
                describe_result(shape, *bound);
                out.begin_object();
                out.key("name").string(written(name));
                out.key("schema").string(shape.schema);
                write_columns(out, shape.columns);
                out.key("rows").number(static_cast<double>(shape.rows));
                out.end_object();
            }
        }
        out.end_array().end_object();
        return out.result();
    } catch (...) {
        return "{\"relations\":[]}";
    }
}

std::string web_session::console_line(const std::string& line) const
{
    std::ostringstream out;
    try {
        run_console_line(line, loaded_, out);
        return out.str();
    } catch (const std::exception& error) {
        // What the console has written of the line stays before the message.
        return out.str() + console_message(error.what());
    } catch (...) {
        return out.str() + console_message(internal_error);
    }
}

std::string web_session::run_json(const std::string& line, std::size_t text_limit, std::size_t row_limit) const
{
    capped_buffer text_buffer(text_limit);
    std::ostream text_out(&text_buffer);
    tree_node root;
    bool has_tree = false;
    std::string failure;
    shared<relation> result;
    try {
        if (line.empty()) {
            if (!loaded_.empty())
                text_out << loaded_;
        } else {
            text typed(line);
            text::iterator position = typed.begin();
            shared<expression> query = parsing<expression>::require("expression", position);
            expect_end(position);
            has_tree = true;
            result = evaluate_tree(query, root, loaded_);
            text_out << result;
        }
    } catch (const std::bad_alloc&) {
        failure = out_of_memory;
    } catch (const std::exception& error) {
        failure = error.what();
    } catch (...) {
        failure = internal_error;
    }
    try {
        if (!failure.empty())
            text_out << console_message(failure.c_str());
        text_out.flush();
        json_writer out;
        out.begin_object();
        write_text(out, text_buffer);
        if (!failure.empty())
            out.key("error").string(failure);
        if (!result.empty())
            write_table(out, *result, row_limit);
        if (has_tree) {
            out.key("tree");
            write_tree(out, root);
        }
        out.end_object();
        return out.result();
    } catch (...) {
        return "{\"text\":\"\",\"text_bytes\":0,\"error\":\"Out of memory: the result does not fit in the page's "
               "memory.\"}";
    }
}

} // namespace qorvantel
