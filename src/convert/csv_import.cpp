// From CSV to environment text in two passes over the bytes: the first
// checks every value and finds each column's type, the second writes the
// rows. Two passes keep memory to the file itself.
#include "convert/csv_import.h"

#include "convert/csv_reader.h"
#include "convert/field_text.h"
#include "convert/names.h"

#include "text/failure.h"

namespace qorvantel {

std::vector<type_request> parse_type_requests(std::string_view types)
{
    std::vector<type_request> requests;
    std::size_t begin = 0;
    while (begin <= types.size()) {
        std::size_t comma = types.find(',', begin);
        // A comma inside char(n) is impossible, so every comma ends an entry.
        std::string_view entry = types.substr(begin, comma == std::string_view::npos ? comma : comma - begin);
        std::size_t equals = entry.rfind('=');
        auto malformed = [&] {
            throw setup_error("--types: " + quoted_for_message(entry)
                              + " is not COLUMN=TYPE with TYPE int, char or char(n)");
        };
        if (equals == std::string_view::npos || equals == 0)
            malformed();
        type_request request;
        request.column = std::string(entry.substr(0, equals));
        std::string_view kind = entry.substr(equals + 1);
        if (kind == "int") {
            request.integer = true;
        } else if (kind.substr(0, 5) == "char(" && kind.size() > 6 && kind.back() == ')') {
            std::string_view width = kind.substr(5, kind.size() - 6);
            std::optional<std::int32_t> n = integer_of(width);
            if (width.find_first_not_of("0123456789") != std::string_view::npos)
                malformed();
            if (!n || *n < 1)
                throw setup_error("--types: the width " + std::string(width) + " of " + request.column
                                  + " is out of range (1 to 2147483647)");
            request.length = static_cast<std::uint32_t>(*n);
        } else if (kind != "char") {
            malformed();
        }
        requests.push_back(request);
        if (comma == std::string_view::npos)
            break;
        begin = comma + 1;
    }
    return requests;
}

std::string relation_name_of_file(std::string_view path)
{
    std::size_t slash = path.find_last_of('/');
    std::string_view base = slash == std::string_view::npos ? path : path.substr(slash + 1);
    std::size_t dot = base.rfind('.');
    if (dot != std::string_view::npos && dot > 0)
        base = base.substr(0, dot);
    return std::string(base);
}

namespace {

// What pass one learned about a column.
struct column_facts {
    std::string name;
    const type_request* request = nullptr;
    std::size_t longest = 0;
    bool text_seen = false;    // a quoted value or one that is plainly text
    bool problem_seen = false; // a decimal, a date or a big integer
    field_shape problem_shape = field_shape::text;
    std::size_t problem_line = 0;
    std::string problem_value;
    bool header_quoted = false;
    bool values_seen = false;
    bool integer = false; // the decided type
};

// Records that are one empty unquoted field, with nothing but line ends
// after them, are the blank lines many editors leave at the end.
bool trailing_blank(const std::vector<csv_field>& fields, const csv_reader& reader)
{
    return fields.size() == 1 && !fields[0].quoted && fields[0].text.empty() && reader.only_line_ends_left();
}

std::string where(const std::string& file_name, std::size_t line, const std::string& column)
{
    return file_name + ", line " + std::to_string(line) + ", column " + column;
}

[[noreturn]] void shape_error(const std::string& file_name, const column_facts& facts)
{
    std::string what
        = where(file_name, facts.problem_line, facts.name) + ": the value " + quoted_for_message(facts.problem_value);
    switch (facts.problem_shape) {
    case field_shape::big_integer:
        what += " is an integer outside the range of int (-2147483647 to 2147483647)";
        break;
    case field_shape::decimal:
        what += " is a decimal number, and the environment format holds whole numbers only";
        break;
    default:
        what += " is a date or a time, which the environment format has no type for";
        break;
    }
    throw data_error(what + "; read the column as text with --types " + facts.name + "=char");
}

void check_value(const std::string& file_name, const csv_field& field, column_facts& facts)
{
    if (field.text.empty() && !field.quoted)
        throw data_error(where(file_name, field.line, facts.name)
                         + ": an empty value; the environment format has no NULL or missing value, so fill "
                           "one in (an empty string is written as \"\")");
    std::string problem = string_problem(field.text);
    if (!problem.empty())
        throw data_error(where(file_name, field.line, facts.name) + ": the value " + quoted_for_message(field.text)
                         + " " + problem);
    if (field.text.size() > facts.longest)
        facts.longest = field.text.size();
    facts.values_seen = true;
    if (facts.request) {
        if (facts.request->integer && !integer_of(field.text))
            throw data_error(where(file_name, field.line, facts.name) + ": the value " + quoted_for_message(field.text)
                             + " is not an integer from -2147483647 to 2147483647, as --types " + facts.name
                             + "=int asks");
        if (facts.request->length && field.text.size() > *facts.request->length)
            throw data_error(where(file_name, field.line, facts.name) + ": the value " + quoted_for_message(field.text)
                             + " is longer than the " + std::to_string(*facts.request->length)
                             + " characters of --types " + facts.name + "=char("
                             + std::to_string(*facts.request->length) + ")");
        return;
    }
    if (facts.text_seen)
        return;
    field_shape shape = field.quoted ? field_shape::text : shape_of(field.text);
    if (shape == field_shape::text) {
        facts.text_seen = true;
    } else if (shape != field_shape::integer && !facts.problem_seen) {
        facts.problem_seen = true;
        facts.problem_shape = shape;
        facts.problem_line = field.line;
        facts.problem_value = std::string(field.text);
    }
}

void append_integer(std::string& out, std::int32_t number)
{
    char digits[16];
    char* end = digits + sizeof digits;
    char* p = end;
    std::uint32_t magnitude = number < 0 ? 0u - static_cast<std::uint32_t>(number) : static_cast<std::uint32_t>(number);
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (number < 0)
        *--p = '-';
    out.append(p, end);
}

} // namespace

std::string relation_from_csv(std::string_view data, const std::string& file_name, const std::string& relation_name,
                              const std::vector<type_request>& requests, std::set<std::string>& used)
{
    if (!name_problem(relation_name, name_role::relation).empty())
        throw data_error(name_error(file_name, relation_name, name_role::relation)
                         + " (with --name, or by renaming the file)");
    csv_reader reader(data, file_name);
    std::vector<csv_field> fields;
    if (!reader.next(fields) || (fields.size() == 1 && fields[0].text.empty()))
        throw data_error(file_name
                         + ", line 1: no header row; the first line must name the columns, "
                           "separated by commas");
    std::vector<column_facts> columns(fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i) {
        column_facts& facts = columns[i];
        facts.name = std::string(fields[i].text);
        // A quoted name marks a text column when no value says otherwise:
        // how to-csv writes a relation with no rows.
        facts.header_quoted = fields[i].quoted;
        std::string at = file_name + ", line " + std::to_string(fields[i].line);
        if (!name_problem(facts.name, name_role::column).empty())
            throw data_error(name_error(at, facts.name, name_role::column));
        for (std::size_t j = 0; j < i; ++j)
            if (columns[j].name == facts.name)
                throw data_error(at + ": the column name " + quoted_for_message(facts.name)
                                 + " stands twice in the header; give each column its own name");
        for (const type_request& request : requests)
            if (request.column == facts.name)
                facts.request = &request;
        if (facts.request)
            used.insert(facts.name);
    }

    // Pass one: every value checked, every column's type found.
    csv_reader first(data, file_name);
    first.next(fields);
    while (first.next(fields)) {
        if (trailing_blank(fields, first))
            break;
        if (fields.size() != columns.size())
            throw data_error(file_name + ", line " + std::to_string(fields[0].line) + ": "
                             + std::to_string(fields.size()) + (fields.size() == 1 ? " field" : " fields")
                             + " where the header names " + std::to_string(columns.size())
                             + "; every row must have one value per column");
        for (std::size_t i = 0; i < fields.size(); ++i)
            check_value(file_name, fields[i], columns[i]);
    }
    std::string out = relation_name + "(";
    for (std::size_t i = 0; i < columns.size(); ++i) {
        column_facts& facts = columns[i];
        if (facts.request) {
            facts.integer = facts.request->integer;
        } else if (!facts.text_seen && facts.problem_seen) {
            shape_error(file_name, facts);
        } else {
            facts.integer = !facts.text_seen && (facts.values_seen || !facts.header_quoted);
        }
        out += i == 0 ? "" : ", ";
        out += facts.name;
        if (facts.integer) {
            out += " int";
        } else {
            std::size_t length = facts.request && facts.request->length ? *facts.request->length : facts.longest;
            if (length > 4294967295u)
                throw data_error(file_name + ", column " + facts.name + ": values longer than 4294967295 bytes");
            out += " char(" + std::to_string(length == 0 ? 1 : length) + ")";
        }
    }
    out += ")\n";

    // Pass two: the rows, each value in its column's literal form.
    csv_reader second(data, file_name);
    second.next(fields);
    while (second.next(fields)) {
        if (trailing_blank(fields, second))
            break;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i != 0)
                out += ", ";
            if (columns[i].integer) {
                append_integer(out, *integer_of(fields[i].text));
            } else {
                out += '\'';
                out += fields[i].text;
                out += '\'';
            }
        }
        out += '\n';
    }
    out += '\n';
    return out;
}

} // namespace qorvantel
