// The CSV reader: one pass over the bytes, no copy of a field unless it
// holds a doubled quote.
#include "convert/csv_reader.h"

#include "text/failure.h"

namespace qorvantel {

csv_reader::csv_reader(std::string_view data, std::string file_name) : data_(data), file_name_(std::move(file_name))
{
    if (data_.substr(0, 3) == "\xEF\xBB\xBF")
        position_ = 3;
}

void csv_reader::fail(std::size_t line, const std::string& what) const
{
    throw data_error(file_name_ + ", line " + std::to_string(line) + ": " + what);
}

void csv_reader::fail_lone_carriage_return() const
{
    fail(line_,
         "a carriage return that is not followed by a line feed; lines must end with LF or CRLF (convert "
         "old Mac line ends first, for example with tr '\\r' '\\n')");
}

std::string_view csv_reader::quoted_field(std::size_t index, std::size_t start_line)
{
    // position_ stands just after the opening quote.
    std::size_t begin = position_;
    std::size_t quote = data_.find('"', begin);
    std::size_t newlines_seen_until = begin;
    auto count_lines = [&](std::size_t until) {
        for (std::size_t i = newlines_seen_until; i < until; ++i)
            line_ += data_[i] == '\n';
        newlines_seen_until = until;
    };
    if (quote == std::string_view::npos)
        fail(start_line,
             "a quoted field opened here is not closed before the end of the file; "
             "close it with a double quote, and double every quote inside it");
    if (quote + 1 >= data_.size() || data_[quote + 1] != '"') {
        count_lines(quote);
        position_ = quote + 1;
        return data_.substr(begin, quote - begin);
    }
    // A doubled quote: collect the field with each pair undone.
    while (unquoted_.size() <= index)
        unquoted_.emplace_back();
    std::string& out = unquoted_[index];
    out.assign(data_.data() + begin, quote - begin);
    std::size_t i = quote;
    for (;;) {
        // data_[i] is a quote inside the field.
        if (i + 1 < data_.size() && data_[i + 1] == '"') {
            out += '"';
            i += 2;
        } else {
            break;
        }
        std::size_t next = data_.find('"', i);
        if (next == std::string_view::npos)
            fail(start_line,
                 "a quoted field opened here is not closed before the end of the file; "
                 "close it with a double quote, and double every quote inside it");
        out.append(data_.data() + i, next - i);
        i = next;
    }
    count_lines(i);
    position_ = i + 1;
    return out;
}

bool csv_reader::next(std::vector<csv_field>& fields)
{
    fields.clear();
    if (position_ >= data_.size())
        return false;
    const char* bytes = data_.data();
    const std::size_t size = data_.size();
    for (;;) {
        csv_field field;
        field.line = line_;
        if (position_ < size && bytes[position_] == '"') {
            ++position_;
            field.quoted = true;
            field.text = quoted_field(fields.size(), field.line);
            if (field.text.find('\0') != std::string_view::npos)
                fail(field.line, "a NUL byte (0x00) inside a field; the file is not text");
            if (position_ < size && bytes[position_] == '\r' && (position_ + 1 >= size || bytes[position_ + 1] != '\n'))
                fail_lone_carriage_return();
            if (position_ < size && bytes[position_] != ',' && bytes[position_] != '\n' && bytes[position_] != '\r')
                fail(line_,
                     "text after the closing quote of a field; a quote inside a quoted field is written "
                     "as two quotes (\"\")");
        } else {
            std::size_t begin = position_;
            while (position_ < size) {
                char c = bytes[position_];
                if (c == ',' || c == '\n' || c == '\r' || c == '"' || c == '\0')
                    break;
                ++position_;
            }
            if (position_ < size) {
                char c = bytes[position_];
                if (c == '"')
                    fail(line_,
                         "a double quote inside an unquoted field; put the whole field in double quotes and "
                         "double the quote (\"\")");
                if (c == '\0')
                    fail(line_, "a NUL byte (0x00); the file is not text");
                if (c == '\r' && (position_ + 1 >= size || bytes[position_ + 1] != '\n'))
                    fail_lone_carriage_return();
            }
            field.text = data_.substr(begin, position_ - begin);
        }
        fields.push_back(field);
        if (position_ >= size)
            return true;
        char c = bytes[position_];
        if (c == ',') {
            ++position_;
            continue;
        }
        // A line end: CRLF or LF.
        position_ += c == '\r' ? 2 : 1;
        ++line_;
        return true;
    }
}

} // namespace qorvantel
