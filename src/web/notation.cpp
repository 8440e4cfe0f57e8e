// Textbook notation as the page shows it. The grouping follows the LaTeX
// writer of the converter, so the line shown and the LaTeX copied say the
// same: set operators between their operands, a set-operator operand in
// parentheses unless it is the left-most of a chain of the same operator,
// AND and OR in parentheses inside another condition.
#include "web/notation.h"

#include "algebra/condition.h"
#include "convert/latex.h"
#include "relations/schema.h"

#include <string>
#include <vector>

namespace qorvantel {

namespace {

// A formula being written: runs of text, and subscripts.
class pieces {
public:
    pieces& text(std::string_view more)
    {
        if (items_.empty() || items_.back().sub)
            items_.push_back({std::string(more), nullptr});
        else
            items_.back().text += more;
        return *this;
    }
    pieces& sub(pieces inner)
    {
        items_.push_back({std::string(), std::make_shared<pieces>(std::move(inner))});
        return *this;
    }
    pieces& append(const pieces& more)
    {
        for (const item& each : more.items_) {
            if (each.sub)
                items_.push_back(each);
            else
                text(each.text);
        }
        return *this;
    }

    void write(json_writer& out) const
    {
        out.begin_array();
        for (const item& each : items_) {
            if (each.sub) {
                out.begin_object().key("sub");
                each.sub->write(out);
                out.end_object();
            } else {
                out.string(each.text);
            }
        }
        out.end_array();
    }

    // The plain line: a subscript set off by a space.
    std::string line() const
    {
        std::string out;
        for (const item& each : items_)
            out += each.sub ? " " + each.sub->line() : each.text;
        return out;
    }

private:
    struct item {
        std::string text;
        std::shared_ptr<pieces> sub;
    };
    std::vector<item> items_;
};

std::string operand_text(const value& v)
{
    std::string out;
    append_written(out, v);
    return out;
}

const condition_symbols notation_symbols{" = ", " ≠ ", " ≤ ", " < ", " ≥ ", " > ", "¬", " ∧ ", " ∨ ", operand_text};

const char* set_symbol(expression_kind kind)
{
    return kind == expression_kind::union_of ? "∪" : kind == expression_kind::minus ? "−" : "×";
}

std::string name_list(const std::vector<shared<value>>& names)
{
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i)
        out += (i == 0 ? "" : ", ") + operand_text(*names[i]);
    return out;
}

// The operator with its parameters, without its operands: "σ", then the
// subscript.
pieces head(const expression& e)
{
    pieces out;
    switch (e.kind()) {
    case expression_kind::relation:
        out.text(operand_text(*e.relation_name()));
        break;
    case expression_kind::union_of:
    case expression_kind::minus:
    case expression_kind::product:
        out.text(set_symbol(e.kind()));
        break;
    case expression_kind::select:
        out.text("σ").sub(pieces().text(condition_formula(*e.predicate(), notation_symbols)));
        break;
    case expression_kind::project:
        out.text("π").sub(pieces().text(name_list(e.listed_columns())));
        break;
    case expression_kind::rename: {
        const name_schema& names = *e.new_names();
        out.text("ρ").sub(pieces().text(operand_text(*names.name()) + "(" + name_list(names.column_names()) + ")"));
        break;
    }
    }
    return out;
}

pieces formula(const expression& e, bool nested)
{
    expression_list operands = e.operands();
    switch (e.kind()) {
    case expression_kind::relation:
        return head(e);
    case expression_kind::union_of:
    case expression_kind::minus:
    case expression_kind::product: {
        if (operands.size() == 1)
            return formula(*operands[0], nested);
        pieces out;
        if (nested)
            out.text("(");
        for (std::size_t i = 0; i < operands.size(); ++i) {
            bool same_on_left = i == 0 && operands[i]->kind() == e.kind();
            if (i > 0)
                out.text(std::string(" ") + set_symbol(e.kind()) + " ");
            out.append(formula(*operands[i], !same_on_left));
        }
        if (nested)
            out.text(")");
        return out;
    }
    case expression_kind::select:
    case expression_kind::project:
    case expression_kind::rename:
        return head(e).text("(").append(formula(*operands[0], false)).text(")");
    }
    return {};
}

void write_symbols(json_writer& out, const expression& e)
{
    out.string(head(e).line());
    for (const shared<expression>& operand : e.operands())
        write_symbols(out, *operand);
}

} // namespace

void write_notation(json_writer& out, const expression& query)
{
    out.key("formula");
    formula(query, false).write(out);
    out.key("symbols").begin_array();
    write_symbols(out, query);
    out.end_array();
    out.key("latex").string(latex_formula(query));
}

} // namespace qorvantel
