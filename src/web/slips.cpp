// The table of slips. Rows are tried in order; the first that recognises
// the line gives the hint. A line that does not parse is read here only to
// recognise a slip, never to evaluate it: the interpreter's message stays
// the one reported.
#include "web/slips.h"

#include "web/failed_node.h"

#include "algebra/condition.h"
#include "parsing/words.h"
#include "relations/schema.h"

#include <cctype>
#include <functional>
#include <set>
#include <string_view>
#include <vector>

namespace qorvantel {

namespace {

bool name_start(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool name_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// The line with every string literal blanked out, so that a slip is never
// seen inside quoted text.
std::string outside_strings(std::string_view line)
{
    std::string out(line);
    bool inside = false;
    for (char& c : out) {
        if (c == '\'') {
            inside = !inside;
        } else if (inside) {
            c = ' ';
        }
    }
    return out;
}

struct word_at {
    std::string text;
    std::size_t from = 0, to = 0;
};

std::vector<word_at> words_of(const std::string& text)
{
    std::vector<word_at> words;
    for (std::size_t i = 0; i < text.size();) {
        if (name_start(text[i]) && (i == 0 || !name_char(text[i - 1]))) {
            std::size_t end = i;
            while (end < text.size() && name_char(text[end]))
                ++end;
            words.push_back({text.substr(i, end - i), i, end});
            i = end;
        } else {
            ++i;
        }
    }
    return words;
}

std::string lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::size_t skip_blanks(const std::string& text, std::size_t at)
{
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at])))
        ++at;
    return at;
}

// The manual's derived forms (section 6) of the operators the language
// does not have.
const char* const intersection_form = "the rows in both A and B are minus(A, minus(A, B))";
const char* const join_form = "rename one side so that the column names differ, keep the pairs that agree and project: "
                              "project(select(product(A, rename(B, B2(b1, b2))), EQ(a1, b1)), ...)";
const char* const division_form = "A ÷ B is minus(project(A, x), project(minus(product(project(A, x), B), A), x))";

struct symbol_row {
    const char* symbol;
    std::string written;
};

// A symbol of the textbook typed into the line.
slip_hint typed_symbol(const std::string& line)
{
    static const std::vector<symbol_row> symbols = {
        {"σ", "σ is written select(R, condition)"},
        {"π", "π is written project(R, column1, column2)"},
        {"ρ", "ρ is written rename(R, NewName(column1, column2))"},
        {"×", "× is written product(A, B)"},
        {"∪", "∪ is written union(A, B)"},
        {"−", "− is written minus(A, B)"},
        {"⋈", std::string("⋈ (join) has no symbol here: ") + join_form},
        {"∩", std::string("∩ (intersection) has no symbol here: ") + intersection_form},
        {"÷", std::string("÷ (division) has no symbol here: ") + division_form},
        {"∧", "∧ is written AND(condition1, condition2)"},
        {"∨", "∨ is written OR(condition1, condition2)"},
        {"¬", "¬ is written NOT(condition)"},
        {"≠", "≠ is written NEQ(a, b)"},
        {"≤", "≤ is written LTE(a, b)"},
        {"≥", "≥ is written GTE(a, b)"},
    };
    std::string text = outside_strings(line);
    for (const symbol_row& each : symbols)
        if (text.find(each.symbol) != std::string::npos)
            return {"symbol", "The page reads words, not the textbook's symbols: " + each.written + "."};
    return {};
}

// join, intersect or divide written as if the language had them.
slip_hint missing_operator(const std::string& line)
{
    for (const word_at& each : words_of(outside_strings(line))) {
        std::string word = lower(each.text);
        if (word == "join" || word == "natural" || word == "natjoin" || word == "theta")
            return {"join keyword",
                    "There is no join operator; write it as the manual does: " + std::string(join_form) + "."};
        if (word == "intersect" || word == "intersection")
            return {"intersect keyword", "There is no intersect operator; " + std::string(intersection_form) + "."};
        if (word == "divide" || word == "division")
            return {"divide keyword", "There is no division operator; " + std::string(division_form) + "."};
    }
    return {};
}

// An operator keyword in capitals (Project, SELECT) or a condition keyword
// in lower case (gt, and), followed by its bracket.
slip_hint keyword_case(const std::string& line)
{
    std::string text = outside_strings(line);
    for (const word_at& each : words_of(text)) {
        if (skip_blanks(text, each.to) >= text.size() || text[skip_blanks(text, each.to)] != '(')
            continue;
        for (const language_word& known : language_words) {
            if (known.role == word_role::type_name || each.text == known.text || lower(each.text) != lower(known.text))
                continue;
            if (known.role == word_role::expression_operator)
                return {"keyword case",
                        "Operators are written in lower case: " + std::string(known.text) + ", not " + each.text + "."};
            return {"keyword case",
                    "Condition words are written in capitals: " + std::string(known.text) + ", not " + each.text + "."};
        }
    }
    return {};
}

struct infix_row {
    const char* sign;
    word_id word;
};

// A comparison written between its operands: salary > 30000.
slip_hint infix_comparison(const std::string& line)
{
    static const infix_row signs[]
        = {{">=", word_id::gte}, {"<=", word_id::lte}, {"<>", word_id::neq}, {"!=", word_id::neq},
           {"==", word_id::eq},  {"=", word_id::eq},   {">", word_id::gt},   {"<", word_id::lt}};
    std::string text = outside_strings(line);
    for (std::size_t i = 0; i < text.size(); ++i) {
        for (const infix_row& each : signs) {
            std::string_view sign(each.sign);
            if (text.compare(i, sign.size(), sign) != 0)
                continue;
            // The operands as typed, each side's word or literal.
            std::size_t left_end = i;
            while (left_end > 0 && text[left_end - 1] == ' ')
                --left_end;
            std::size_t left = left_end;
            while (left > 0 && (name_char(line[left - 1]) || line[left - 1] == '\'' || line[left - 1] == '-'))
                --left;
            std::size_t right = skip_blanks(text, i + sign.size());
            std::size_t right_end = right;
            if (right_end < line.size() && line[right_end] == '\'') {
                std::size_t close = line.find('\'', right_end + 1);
                right_end = close == std::string::npos ? line.size() : close + 1;
            } else {
                while (right_end < line.size() && (name_char(line[right_end]) || line[right_end] == '-'))
                    ++right_end;
            }
            std::string a = line.substr(left, left_end - left), b = line.substr(right, right_end - right);
            if (a.empty())
                a = "a";
            if (b.empty())
                b = "b";
            std::string function = word(each.word).text;
            return {"infix comparison",
                    "Comparisons are written as functions: " + function + "(" + a + ", " + b + ") for " + a + " "
                        + std::string(sign) + " " + b + "."};
        }
    }
    return {};
}

// Two names with only blanks between them inside the column list of a
// project or the new names of a rename.
slip_hint missing_comma(const std::string& line)
{
    std::string text = outside_strings(line);
    std::vector<word_at> words = words_of(text);
    for (std::size_t i = 0; i + 1 < words.size(); ++i) {
        std::string_view between(text.data() + words[i].to, words[i + 1].from - words[i].to);
        bool blanks = !between.empty();
        for (char c : between)
            blanks = blanks && std::isspace(static_cast<unsigned char>(c));
        if (!blanks)
            continue;
        // Only inside project( ... ) or a rename's name list; elsewhere two
        // names in a row are another slip.
        bool listed = false;
        for (std::size_t j = 0; j < i; ++j)
            listed
                = listed || words[j].text == word(word_id::project).text || words[j].text == word(word_id::rename).text;
        if (!listed)
            continue;
        return {"missing comma",
                "Names in a list are separated by commas: " + words[i].text + ", " + words[i + 1].text + ", not "
                    + words[i].text + " " + words[i + 1].text + "."};
    }
    return {};
}

std::string joined(const std::vector<std::string>& names)
{
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i)
        out += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return out;
}

// A product whose operands share column names: which, and a rename that
// mends it.
slip_hint shared_columns(const failed_at& at)
{
    if (at.e->kind() != expression_kind::product)
        return {};
    const std::vector<tree_node>& children = at.node->children;
    // The fold failed at the last operand evaluated, against all before it.
    std::size_t last = 0;
    while (last + 1 < children.size() && children[last + 1].evaluated)
        ++last;
    if (last == 0 || !children[last].evaluated)
        return {};
    std::set<std::string> left;
    for (std::size_t i = 0; i < last; ++i)
        for (const auto& [name, type] : children[i].columns)
            left.insert(name);
    std::vector<std::string> shared, renamed;
    for (const auto& [name, type] : children[last].columns) {
        if (left.count(name)) {
            shared.push_back(name);
            renamed.push_back(name + "2");
        } else {
            renamed.push_back(name);
        }
    }
    if (shared.empty())
        return {};
    const expression& right = *at.e->operands()[last];
    std::string base = right.kind() == expression_kind::relation ? written(right.relation_name()) : "Right";
    std::string names;
    for (std::size_t i = 0; i < renamed.size(); ++i)
        names += (i == 0 ? "" : ", ") + renamed[i];
    std::string hint = "Both sides have " + std::string(shared.size() == 1 ? "a column named " : "columns named ")
        + joined(shared) + ", and a product needs distinct names. Rename one side first: rename(" + written(right)
        + ", " + base + "2(" + names + "))";
    hint += ", then compare the columns in a select, for example EQ(" + shared.front() + ", " + shared.front() + "2).";
    return {"shared columns", hint};
}

// A rename with more or fewer names than its operand has columns.
slip_hint rename_count(const failed_at& at)
{
    if (at.e->kind() != expression_kind::rename || at.node->children.empty() || !at.node->children[0].evaluated)
        return {};
    std::size_t given = at.e->new_names()->column_names().size();
    const tree_node& operand = at.node->children[0];
    std::size_t has = operand.columns.size();
    if (given == has)
        return {};
    std::vector<std::string> columns;
    for (const auto& [name, type] : operand.columns)
        columns.push_back(name);
    auto count = [](std::size_t n, const char* what) { return std::to_string(n) + " " + what + (n == 1 ? "" : "s"); };
    return {"rename count",
            "The rename gives " + count(given, "column name") + ", but " + written(*at.e->operands()[0]) + " has "
                + count(has, "column") + " (" + joined(columns) + "): give one new name for each column, in order."};
}

} // namespace

slip_hint hint_for_slip(const std::string& line, const expression* query, const tree_node* root)
{
    if (!query || !root) {
        static const std::vector<std::function<slip_hint(const std::string&)>> reading_rows
            = {typed_symbol, missing_operator, keyword_case, infix_comparison, missing_comma};
        for (const auto& row : reading_rows) {
            slip_hint found = row(line);
            if (!found.hint.empty())
                return found;
        }
        return {};
    }
    failed_at at = find_failed(*query, *root);
    if (!at.node)
        return {};
    static const std::vector<std::function<slip_hint(const failed_at&)>> running_rows = {shared_columns, rename_count};
    for (const auto& row : running_rows) {
        slip_hint found = row(at);
        if (!found.hint.empty())
            return found;
    }
    // A relation not found may be a keyword in capitals: Project(...) is
    // read as a name.
    return keyword_case(line);
}

} // namespace qorvantel
