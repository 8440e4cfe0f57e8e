// What the page asks of the module besides runs: result files for
// download, completions and the word table. The page makes none of these
// itself, so they are what the console and the converter make.
#include "web/session.h"

#include "convert/csv_export.h"
#include "driver/completion.h"
#include "parsing/words.h"
#include "text/text.h"
#include "web/json_writer.h"
#include "web/operator_tree.h"

#include <new>
#include <sstream>

namespace qorvantel {

std::string web_session::result_file(const std::string& line, const std::string& format) const
{
    try {
        text typed(line);
        text::iterator position = typed.begin();
        shared<expression> query = parsing<expression>::require("expression", position);
        expect_end(position);
        shared<relation> result = query->evaluate(loaded_);
        std::string schema = written(result->relation_schema());
        std::string name = schema.rfind('(', 0) == 0 ? "Result" : schema.substr(0, schema.find('('));
        json_writer out;
        out.begin_object().key("name").string(name);
        if (format == "csv") {
            out.key("text").string(relation_to_csv(*result));
        } else {
            std::ostringstream text_out;
            if (schema.rfind('(', 0) == 0)
                text_out << "Result";
            text_out << result;
            // The console's empty line after a relation ends its output,
            // not the file.
            std::string file = text_out.str();
            if (file.size() >= 2 && file.compare(file.size() - 2, 2, "\n\n") == 0)
                file.pop_back();
            out.key("text").string(file);
        }
        out.end_object();
        return out.result();
    } catch (const std::bad_alloc&) {
        return json_writer().begin_object().key("error").string(out_of_memory).end_object().result();
    } catch (const std::exception& error) {
        return json_writer().begin_object().key("error").string(error.what()).end_object().result();
    }
}

std::string web_session::completions_json(const std::string& before, const std::string& prefix) const
{
    try {
        json_writer out;
        out.begin_array();
        if (!loaded_.empty())
            for (const std::string& each : completer(*loaded_).matches(before, prefix))
                out.string(each);
        out.end_array();
        return out.result();
    } catch (...) {
        return "[]";
    }
}

std::string words_json()
{
    json_writer out;
    out.begin_array();
    for (const language_word& each : language_words) {
        const char* role = each.role == word_role::type_name ? "type"
            : each.role == word_role::expression_operator    ? "operator"
            : each.role == word_role::logical_operator       ? "logical"
                                                             : "comparison";
        out.begin_object().key("text").string(each.text).key("role").string(role).key("syntax").string(each.syntax);
        out.end_object();
    }
    out.end_array();
    return out.result();
}

} // namespace qorvantel
