// The CSV writer. Values need no escaping beyond the quoting of strings: a
// string holds no line end, and a double quote inside is doubled.
#include "convert/csv_export.h"

namespace qorvantel {

namespace {

void append_quoted(std::string& out, std::string_view s)
{
    out += '"';
    // Runs up to each double quote at a time; most strings hold none.
    for (std::size_t quote; (quote = s.find('"')) != std::string_view::npos; s.remove_prefix(quote + 1))
        out.append(s.data(), quote + 1) += '"';
    out.append(s.data(), s.size()) += '"';
}

} // namespace

std::string relation_to_csv(const relation& written)
{
    std::string out;
    const column_list& columns = written.relation_schema()->columns();
    // Room for short values up front: growing a string of many megabytes
    // by doubling copies it again and again.
    out.reserve(written.relation_table()->rows().size() * (columns.size() * 8 + 1) + 256);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i != 0)
            out += ',';
        const std::string& name = static_cast<const symbol_value&>(*columns[i]->name()).content();
        // The name of a text column is quoted like its values, so that a
        // relation with no rows comes back with the same column kinds.
        if (columns[i]->column_type()->kind() == type_kind::string)
            append_quoted(out, name);
        else
            out += name;
    }
    out += '\n';
    for (const shared<row>& each : written.relation_table()->rows()) {
        for (std::size_t i = 0; i < each->size(); ++i) {
            if (i != 0)
                out += ',';
            const value& field = *(*each)[i];
            if (field.kind() == value_kind::string)
                append_quoted(out, static_cast<const string_value&>(field).content());
            else
                append_written(out, field);
        }
        out += '\n';
    }
    return out;
}

std::string file_name_problem(const std::string& relation_name)
{
    if (relation_name.find('/') != std::string::npos)
        return "holds a slash, which cannot stand in a file name";
    return {};
}

} // namespace qorvantel
