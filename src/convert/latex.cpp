// The LaTeX writer: one walk over the expression and its conditions.
// Operands of the set operators that are themselves set operators stand in
// parentheses, so the formula never depends on a precedence the reader has
// to know.
#include "convert/latex.h"

#include "algebra/condition.h"
#include "relations/schema.h"

namespace qorvantel {

namespace {

// Text-mode escapes for the characters LaTeX treats specially.
std::string escaped_text(std::string_view s)
{
    std::string out;
    for (char c : s) {
        switch (c) {
        case '\\':
            out += "\\textbackslash{}";
            break;
        case '{':
            out += "\\{";
            break;
        case '}':
            out += "\\}";
            break;
        case '#':
            out += "\\#";
            break;
        case '$':
            out += "\\$";
            break;
        case '%':
            out += "\\%";
            break;
        case '&':
            out += "\\&";
            break;
        case '_':
            out += "\\_";
            break;
        case '~':
            out += "\\textasciitilde{}";
            break;
        case '^':
            out += "\\textasciicircum{}";
            break;
        case '<':
            out += "\\textless{}";
            break;
        case '>':
            out += "\\textgreater{}";
            break;
        case '|':
            out += "\\textbar{}";
            break;
        case '"':
            out += "\\textquotedbl{}";
            break;
        case '\t':
            out += "\\ ";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string name(const value& symbol)
{
    return "\\text{" + escaped_text(static_cast<const symbol_value&>(symbol).content()) + "}";
}

std::string operand(const value& v)
{
    if (v.kind() == value_kind::symbol)
        return name(v);
    if (v.kind() == value_kind::string)
        return "\\text{'" + escaped_text(static_cast<const string_value&>(v).content()) + "'}";
    return std::to_string(static_cast<const integer_value&>(v).number());
}

const condition_symbols latex_symbols{" = ", " \\neq ", " \\leq ",  " < ",     " \\geq ",
                                      " > ", "\\lnot ", " \\land ", " \\lor ", operand};

std::string formula(const expression& e, bool nested)
{
    expression_list operands = e.operands();
    switch (e.kind()) {
    case expression_kind::relation:
        return name(*e.relation_name());
    case expression_kind::union_of:
    case expression_kind::minus:
    case expression_kind::product: {
        if (operands.size() == 1)
            return formula(*operands[0], nested);
        const char* joiner = e.kind() == expression_kind::union_of ? " \\cup "
            : e.kind() == expression_kind::minus                   ? " - "
                                                                   : " \\times ";
        std::string out;
        for (std::size_t i = 0; i < operands.size(); ++i) {
            // The left-most operand of the same operator needs no
            // parentheses: the chain groups from the left as written.
            bool same_on_left = i == 0 && operands[i]->kind() == e.kind();
            out += (i == 0 ? "" : joiner) + formula(*operands[i], !same_on_left);
        }
        return nested ? "(" + out + ")" : out;
    }
    case expression_kind::select:
        return "\\sigma_{" + condition_formula(*e.predicate(), latex_symbols) + "}(" + formula(*operands[0], false)
            + ")";
    case expression_kind::project: {
        std::string out = "\\pi_{";
        for (std::size_t i = 0; i < e.listed_columns().size(); ++i)
            out += (i == 0 ? "" : ", ") + name(*e.listed_columns()[i]);
        return out + "}(" + formula(*operands[0], false) + ")";
    }
    case expression_kind::rename: {
        const name_schema& names = *e.new_names();
        std::string out = "\\rho_{" + name(*names.name()) + "(";
        for (std::size_t i = 0; i < names.column_names().size(); ++i)
            out += (i == 0 ? "" : ", ") + name(*names.column_names()[i]);
        return out + ")}(" + formula(*operands[0], false) + ")";
    }
    }
    return {};
}

} // namespace

std::string latex_formula(const expression& query) { return formula(query, false); }

std::string condition_formula(const condition& c, const condition_symbols& symbols, bool nested)
{
    switch (c.kind()) {
    case condition_kind::comparison: {
        const char* sign = symbols.eq;
        switch (c.comparison()) {
        case comparison_operator::eq:
            break;
        case comparison_operator::neq:
            sign = symbols.neq;
            break;
        case comparison_operator::lte:
            sign = symbols.lte;
            break;
        case comparison_operator::lt:
            sign = symbols.lt;
            break;
        case comparison_operator::gte:
            sign = symbols.gte;
            break;
        case comparison_operator::gt:
            sign = symbols.gt;
            break;
        }
        std::string out;
        for (std::size_t i = 0; i < c.comparands().size(); ++i)
            out += (i == 0 ? "" : sign) + symbols.operand(*c.comparands()[i]);
        return out;
    }
    case condition_kind::negation:
        return symbols.negation + condition_formula(*c.arguments().front(), symbols, true);
    case condition_kind::conjunction:
    case condition_kind::disjunction: {
        if (c.arguments().size() == 1)
            return condition_formula(*c.arguments().front(), symbols, nested);
        const char* joiner = c.kind() == condition_kind::conjunction ? symbols.conjunction : symbols.disjunction;
        std::string out;
        for (std::size_t i = 0; i < c.arguments().size(); ++i)
            out += (i == 0 ? "" : joiner) + condition_formula(*c.arguments()[i], symbols, true);
        return nested ? "(" + out + ")" : out;
    }
    }
    return {};
}

} // namespace qorvantel
