// Reading, resolving and testing keys and references.
#include "check/constraints.h"

#include "check/database.h"
#include "relations/schema.h"
#include "text/text.h"

#include <set>
#include <sstream>
#include <stdexcept>

namespace qorvantel {

namespace {
std::string trimmed(const std::string& text)
{
    std::size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos)
        return "";
    return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

bool is_name(const std::string& word)
{
    if (word.empty() || is_digit(word[0]) || word[0] == '-' || word[0] == '+')
        return false;
    for (char c : word)
        if (!is_symbol_char(c))
            return false;
    return true;
}

// "R(a, b)": the relation and its columns, one or more, each once.
void read_columns(const std::string& text, const char* what, std::string& relation, std::vector<std::string>& columns)
{
    std::string whole = trimmed(text);
    std::size_t open = whole.find('(');
    if (open == std::string::npos || whole.back() != ')')
        throw std::runtime_error(std::string(what) + " is written RELATION(COLUMN, ...), not \"" + whole + "\".");
    relation = trimmed(whole.substr(0, open));
    if (!is_name(relation))
        throw std::runtime_error(std::string(what) + ": \"" + relation + "\" is not a relation name.");
    std::string inside = whole.substr(open + 1, whole.size() - open - 2);
    std::istringstream parts(inside);
    std::set<std::string> seen;
    for (std::string part; std::getline(parts, part, ',');) {
        std::string name = trimmed(part);
        if (!is_name(name))
            throw std::runtime_error(std::string(what) + ": \"" + name + "\" is not a column name.");
        if (!seen.insert(name).second)
            throw std::runtime_error(std::string(what) + ": column " + name + " is named twice.");
        columns.push_back(name);
    }
    if (columns.empty() || (!inside.empty() && inside.back() == ','))
        throw std::runtime_error(std::string(what) + " names no column, or an empty one.");
}

std::string listed(const std::string& relation, const std::vector<std::string>& columns)
{
    std::string out = relation + "(";
    for (std::size_t i = 0; i < columns.size(); ++i)
        out += (i > 0 ? ", " : "") + columns[i];
    return out + ")";
}

std::size_t relation_index(const database& on, const std::string& name, const std::string& line)
{
    for (std::size_t r = 0; r < on.relations().size(); ++r)
        if (written(*on.relations()[r].columns->name()) == name)
            return r;
    throw std::runtime_error(line + ": the database has no relation " + name + ".");
}

std::vector<std::size_t> column_indexes(const database& on, std::size_t relation, const std::vector<std::string>& names,
                                        const std::string& line)
{
    const schema& columns = *on.relations()[relation].columns;
    std::vector<std::size_t> indexes;
    for (const std::string& name : names) {
        std::size_t found = columns.columns().size();
        for (std::size_t c = 0; c < columns.columns().size(); ++c)
            if (written(*columns.columns()[c]->name()) == name)
                found = c;
        if (found == columns.columns().size())
            throw std::runtime_error(line + ": " + written(*columns.name()) + " has no column " + name + ".");
        indexes.push_back(found);
    }
    return indexes;
}

// The projection of a row on columns, compared value by value.
bool same_on(const row& a, const std::vector<std::size_t>& a_columns, const row& b,
             const std::vector<std::size_t>& b_columns)
{
    for (std::size_t i = 0; i < a_columns.size(); ++i)
        if (!value_equal(*a[a_columns[i]], *b[b_columns[i]]))
            return false;
    return true;
}
} // namespace

std::string constraint_set::text() const
{
    std::string out;
    for (const key_constraint& key : keys)
        out += "key: " + listed(key.relation, key.columns) + "\n";
    for (const reference_constraint& reference : references)
        out += "references: " + listed(reference.relation, reference.columns) + " -> "
            + listed(reference.target, reference.target_columns) + "\n";
    return out;
}

bool read_constraint_line(const std::string& line, constraint_set& into)
{
    std::string text = trimmed(line);
    if (text.rfind("key:", 0) == 0) {
        key_constraint key;
        read_columns(text.substr(4), "a key", key.relation, key.columns);
        into.keys.push_back(std::move(key));
        return true;
    }
    if (text.rfind("references:", 0) == 0) {
        std::string rest = text.substr(11);
        std::size_t arrow = rest.find("->");
        if (arrow == std::string::npos)
            throw std::runtime_error("a reference is written \"references: R(a) -> S(b)\".");
        reference_constraint reference;
        read_columns(rest.substr(0, arrow), "a reference", reference.relation, reference.columns);
        read_columns(rest.substr(arrow + 2), "a referenced key", reference.target, reference.target_columns);
        if (reference.columns.size() != reference.target_columns.size())
            throw std::runtime_error("a reference names as many columns on each side of ->.");
        into.references.push_back(std::move(reference));
        return true;
    }
    return false;
}

constraint_set read_constraints(const std::string& source, const std::string& name)
{
    constraint_set read;
    std::istringstream in(source);
    std::size_t number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string text = trimmed(line);
        if (text.empty() || text[0] == '#')
            continue;
        try {
            if (!read_constraint_line(text, read))
                throw std::runtime_error("expected \"key: R(a)\" or \"references: R(a) -> S(b)\".");
        } catch (const std::runtime_error& error) {
            throw std::runtime_error(name + ":" + std::to_string(number) + ": " + error.what());
        }
    }
    return read;
}

resolved_constraints resolve_constraints(const constraint_set& constraints, const database& on)
{
    resolved_constraints resolved;
    for (const key_constraint& key : constraints.keys) {
        std::string line = "key " + listed(key.relation, key.columns);
        std::size_t r = relation_index(on, key.relation, line);
        resolved.keys.push_back({r, column_indexes(on, r, key.columns, line)});
    }
    for (const reference_constraint& reference : constraints.references) {
        std::string line = "reference " + listed(reference.relation, reference.columns) + " -> "
            + listed(reference.target, reference.target_columns);
        std::size_t r = relation_index(on, reference.relation, line);
        std::size_t t = relation_index(on, reference.target, line);
        resolved_reference made{r, column_indexes(on, r, reference.columns, line), t,
                                column_indexes(on, t, reference.target_columns, line)};
        for (std::size_t i = 0; i < made.columns.size(); ++i) {
            const type& from = *on.relations()[r].columns->columns()[made.columns[i]]->column_type();
            const type& to = *on.relations()[t].columns->columns()[made.target_columns[i]]->column_type();
            if (from.kind() != to.kind())
                throw std::runtime_error(line + ": " + reference.columns[i] + " and " + reference.target_columns[i]
                                         + " are of different kinds.");
        }
        resolved.references.push_back(std::move(made));
    }
    return resolved;
}

bool constraints_hold(const resolved_constraints& constraints, const database& on,
                      const std::vector<std::vector<std::size_t>>* kept)
{
    auto rows_of = [&](std::size_t r) {
        std::vector<const row*> rows;
        const row_list& all = on.relations()[r].rows;
        if (kept == nullptr) {
            for (const shared<row>& each : all)
                rows.push_back(each.get());
        } else {
            for (std::size_t i : (*kept)[r])
                rows.push_back(all[i].get());
        }
        return rows;
    };
    for (const resolved_key& key : constraints.keys) {
        std::vector<const row*> rows = rows_of(key.relation);
        for (std::size_t i = 0; i < rows.size(); ++i)
            for (std::size_t j = i + 1; j < rows.size(); ++j)
                if (same_on(*rows[i], key.columns, *rows[j], key.columns) && row_compare(*rows[i], *rows[j]) != 0)
                    return false;
    }
    for (const resolved_reference& reference : constraints.references) {
        std::vector<const row*> targets = rows_of(reference.target);
        for (const row* each : rows_of(reference.relation)) {
            bool found = false;
            for (const row* target : targets)
                found = found || same_on(*each, reference.columns, *target, reference.target_columns);
            if (!found)
                return false;
        }
    }
    return true;
}

std::string broken_constraint(const constraint_set& constraints, const resolved_constraints& resolved,
                              const database& on)
{
    for (std::size_t i = 0; i < resolved.keys.size(); ++i) {
        resolved_constraints one;
        one.keys.push_back(resolved.keys[i]);
        if (!constraints_hold(one, on))
            return "key " + listed(constraints.keys[i].relation, constraints.keys[i].columns);
    }
    for (std::size_t i = 0; i < resolved.references.size(); ++i) {
        resolved_constraints one;
        one.references.push_back(resolved.references[i]);
        const reference_constraint& each = constraints.references[i];
        if (!constraints_hold(one, on))
            return "reference " + listed(each.relation, each.columns) + " -> "
                + listed(each.target, each.target_columns);
    }
    return "";
}

std::string constraint_problem(const constraint_set& constraints, const database& on)
{
    try {
        resolved_constraints resolved = resolve_constraints(constraints, on);
        std::string broken = broken_constraint(constraints, resolved, on);
        return broken.empty() ? "" : "the database breaks " + broken + ".";
    } catch (const std::runtime_error& error) {
        return error.what();
    }
}

} // namespace qorvantel
