// The notebook's operator tree: the expression's nodes laid out, then each
// filled in with its result as the evaluation reaches it.
#include "python/observed_tree.h"

#include "algebra/condition.h"
#include "algebra/expression.h"
#include "check/json_text.h"
#include "driver/messages.h"
#include "text/diagnostics.h"

#include <new>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace qorvantel {

namespace {

template <class T>
std::string written_of(const T& object)
{
    std::ostringstream out;
    out << object;
    return out.str();
}

struct node {
    const expression* source = nullptr;
    std::string kind, label, text;
    bool evaluated = false;
    std::string schema, error;
    std::size_t rows = 0;
    std::vector<node> children;
};

std::string label_of(const expression& e)
{
    switch (e.kind()) {
    case expression_kind::relation:
        return written_of(e.relation_name());
    case expression_kind::union_of:
    case expression_kind::minus:
    case expression_kind::product:
        return e.keyword();
    case expression_kind::select:
        return std::string(e.keyword()) + " " + written_of(e.predicate());
    case expression_kind::project:
        return std::string(e.keyword()) + " " + written_of(separated(e.listed_columns()));
    case expression_kind::rename:
        return std::string(e.keyword()) + " " + written_of(e.new_names());
    }
    return written_of(e);
}

void lay_out(const shared<expression>& query, node& into)
{
    const expression& e = *query;
    into.source = &e;
    into.kind = e.kind() == expression_kind::relation ? "relation" : e.keyword();
    into.label = label_of(e);
    into.text = written_of(query);
    for (const shared<expression>& operand : e.operands()) {
        into.children.emplace_back();
        lay_out(operand, into.children.back());
    }
}

node* find(node& in, const expression* source)
{
    if (in.source == source)
        return &in;
    for (node& child : in.children)
        if (node* found = find(child, source))
            return found;
    return nullptr;
}

void record(node& into, const relation& result)
{
    into.evaluated = true;
    into.schema = written_of(result.relation_schema());
    into.rows = result.relation_table()->rows().size();
}

std::string json_of(const node& n)
{
    std::string out = "{\"kind\": " + json_string(n.kind) + ", \"label\": " + json_string(n.label)
        + ", \"expression\": " + json_string(n.text) + ", \"evaluated\": " + (n.evaluated ? "true" : "false");
    if (n.evaluated)
        out += ", \"schema\": " + json_string(n.schema) + ", \"rows\": " + std::to_string(n.rows);
    if (!n.error.empty())
        out += ", \"error\": " + json_string(n.error);
    out += ", \"children\": [";
    for (std::size_t i = 0; i < n.children.size(); ++i)
        out += (i > 0 ? ", " : "") + json_of(n.children[i]);
    return out + "]}";
}

} // namespace

std::string observed_tree_json(const std::string& expression_text, const shared<environment>& loaded)
{
    shared<expression> query;
    try {
        query = parse_whole<expression>("expression", expression_text);
    } catch (const std::exception& error) {
        return "{\"error\": " + json_string(error.what()) + "}";
    }
    node root;
    lay_out(query, root);
    try {
        shared<relation> result = query->evaluate(loaded);
        record(root, *result);
    } catch (const std::bad_alloc&) {
        root.error = messages::out_of_memory;
    } catch (const interrupted&) {
        throw;
    } catch (const std::exception& error) {
        root.error = error.what();
    }
    (void)find;
    return json_of(root);
}

} // namespace qorvantel
