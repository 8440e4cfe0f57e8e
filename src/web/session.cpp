// The web session: loading an environment, console lines, and runs that
// answer with the result as a table and the operator tree.
#include "web/session.h"

#include "algebra/expression.h"
#include "driver/driver.h"
#include "text/diagnostics.h"
#include "text/text.h"
#include "web/failed_node.h"
#include "web/json_writer.h"
#include "web/notation.h"
#include "web/operator_tree.h"
#include "web/slips.h"

#include <new>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <streambuf>

#ifdef QORVANTEL_VERSION_HEADER
#include "web/generated_version.h" // written by web/CMakeLists.txt
#endif
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

// The place an input error reports, as the members error_line,
// error_column, error_at_end and error_excerpt; nothing for an error that
// reports none.
void write_place(json_writer& out, const std::optional<source_place>& place)
{
    if (!place)
        return;
    out.key("error_line").number(static_cast<double>(place->line));
    out.key("error_column").number(static_cast<double>(place->column));
    out.key("error_at_end").boolean(place->at_end);
    out.key("error_excerpt").string(place->excerpt);
}

void write_text(json_writer& out, const capped_buffer& text)
{
    out.key("text").string(text.kept());
    out.key("text_bytes").number(static_cast<double>(text.total()));
}

} // namespace

std::string web_session::load_environment(const std::string& content)
{
    // A failed load leaves no relation loaded, but an environment all the
    // same, so that a later line is answered "Relation R not found.".
    loaded_ = shared<environment>(new environment());
    load_place_.reset();
    try {
        loaded_ = parse_whole<environment>("environment", content);
        return std::string();
    } catch (const std::bad_alloc&) {
        return console_message(out_of_memory);
    } catch (const input_error& error) {
        load_place_ = error.place();
        return console_message(error.what());
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
        out.end_array();
        write_place(out, load_place_);
        out.end_object();
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
    std::optional<source_place> place, furthest;
    shared<relation> result;
    shared<expression> query;
    try {
        if (line.empty()) {
            if (!loaded_.empty())
                text_out << loaded_;
        } else {
            query = parse_whole<expression>("expression", line);
            has_tree = true;
            result = evaluate_tree(query, root, loaded_);
            text_out << result;
        }
    } catch (const std::bad_alloc&) {
        failure = out_of_memory;
    } catch (const input_error& error) {
        failure = error.what();
        place = error.place();
        furthest = error.furthest();
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
        write_place(out, place);
        if (furthest) // where reading stopped, at or after the reported place
            out.key("error_furthest_line")
                .number(static_cast<double>(furthest->line))
                .key("error_furthest_column")
                .number(static_cast<double>(furthest->column))
                .key("error_furthest_at_end")
                .boolean(furthest->at_end);
        if (!result.empty())
            write_table(out, *result, row_limit);
        if (has_tree) {
            out.key("tree");
            write_tree(out, root);
            out.key("notation").begin_object();
            write_notation(out, *query);
            out.end_object();
        }
        if (!failure.empty() && has_tree) {
            // Where the failed node went wrong, from the nodes' places.
            out.key("error_ranges").begin_array();
            for (const source_range& at : fault_places(*query, root)) {
                out.begin_object().key("line").number(static_cast<double>(at.line));
                out.key("column").number(static_cast<double>(at.column));
                out.key("end_line").number(static_cast<double>(at.end_line));
                out.key("end_column").number(static_cast<double>(at.end_column)).end_object();
            }
            out.end_array();
        }
        if (!failure.empty()) {
            slip_hint slip = hint_for_slip(line, has_tree ? query.get() : nullptr, has_tree ? &root : nullptr);
            if (!slip.hint.empty())
                out.key("slip").string(slip.slip).key("hint").string(slip.hint);
        }
        out.end_object();
        return out.result();
    } catch (...) {
        return "{\"text\":\"\",\"text_bytes\":0,\"error\":\"Out of memory: the result does not fit in the page's "
               "memory.\"}";
    }
}

} // namespace qorvantel
