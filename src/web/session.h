// The interpreter behind the web page: one loaded environment and the
// requests the page makes of it. Every entry point returns text and never
// lets an exception out, since the caller is JavaScript.
//
// Strings are bytes: the page hands over the UTF-8 bytes of what the user
// typed, and gets back the very bytes the console would write.
#pragma once

#include "relations/environment.h"
#include "text/diagnostics.h"
#include "text/shared.h"

#include <cstddef>
#include <optional>
#include <string>

namespace qorvantel {

class web_session {
public:
    // Reads an environment text, replacing the loaded one. Returns what the
    // console writes when its initial environment fails to load (the message
    // and a newline), or nothing on success. After a failure no relation is
    // loaded, and a line names the relation it does not find.
    std::string load_environment(const std::string& content);

    // The relations loaded, as JSON: name, schema, columns and row count;
    // after a failed load, the place its error reports (error_line,
    // error_column, error_at_end, error_excerpt) when it reports one.
    std::string environment_json() const;

    // What the interactive console writes for one typed line after its
    // prompt: the relation, the environment for an empty line, or the
    // message of the error and a newline.
    std::string console_line(const std::string& line) const;

    // The same line as JSON for the page: the console's text (cut after
    // text_limit bytes), the result as a table (at most row_limit rows), the
    // error if any, and the expression's operator tree with the schema and
    // the row count of every node.
    std::string run_json(const std::string& line, std::size_t text_limit, std::size_t row_limit) const;

    // A result as a file the page offers for download, as JSON {"name",
    // "text"} or {"error"}: format "csv" is the converter's CSV (what
    // "qorvantel-convert to-csv" writes, so that from-csv reads back the
    // same kinds), "environment" the relation as the console writes it, a
    // result without a name called Result so that the file loads again.
    std::string result_file(const std::string& line, const std::string& format) const;

    // The console's completions of the word prefix typed after before, as a
    // JSON array of strings: the columns of the relation in scope first.
    std::string completions_json(const std::string& before, const std::string& prefix) const;

private:
    shared<environment> loaded_{new environment()};
    std::optional<source_place> load_place_;
};

// The language's words, from the word table the parser reads, as JSON:
// [{"text", "role" ("operator", "logical", "comparison", "type"),
// "syntax"}], in the table's order.
std::string words_json();

// The version the module was built from.
const char* web_version();

} // namespace qorvantel
