// JSON text: UTF-8 strings and the writer.
#include "text/json.h"

#include <cmath>
#include <cstdio>

namespace qorvantel {

namespace {
// The length of the valid UTF-8 sequence at the start of rest (1 to 4), or
// 0 when its first byte begins none: no overlong forms, no surrogates,
// nothing past U+10FFFF.
std::size_t utf8_sequence(std::string_view rest)
{
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(rest[i]); };
    unsigned char first = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xbf;
    if (first >= 0xc2 && first <= 0xdf) {
        length = 2;
    } else if (first >= 0xe0 && first <= 0xef) {
        length = 3;
        if (first == 0xe0)
            low = 0xa0;
        else if (first == 0xed)
            high = 0x9f;
    } else if (first >= 0xf0 && first <= 0xf4) {
        length = 4;
        if (first == 0xf0)
            low = 0x90;
        else if (first == 0xf4)
            high = 0x8f;
    } else {
        return 0;
    }
    if (rest.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xbf)
            return 0;
    return length;
}
} // namespace

void append_json_string(std::string& out, std::string_view text)
{
    static const char hex[] = "0123456789abcdef";
    out += '"';
    for (std::size_t i = 0; i < text.size();) {
        char c = text[i];
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte >= 0x80) {
            std::size_t length = utf8_sequence(text.substr(i));
            if (length == 0) {
                out += "\xef\xbf\xbd";
                ++i;
            } else {
                out.append(text.data() + i, length);
                i += length;
            }
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (byte < 0x20 || byte == 0x7f) {
            out += "\\u00";
            out += hex[byte >> 4];
            out += hex[byte & 15];
        } else {
            out += c;
        }
        ++i;
    }
    out += '"';
}

std::string json_string(std::string_view text)
{
    std::string out;
    append_json_string(out, text);
    return out;
}

std::string json_strings(const std::vector<std::string>& texts)
{
    std::string out = "[";
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (i > 0)
            out += ", ";
        append_json_string(out, texts[i]);
    }
    return out + "]";
}

void json_writer::separate()
{
    if (needs_comma_)
        out_.push_back(',');
    needs_comma_ = true;
}

json_writer& json_writer::begin_object()
{
    separate();
    out_.push_back('{');
    needs_comma_ = false;
    return *this;
}

json_writer& json_writer::end_object()
{
    out_.push_back('}');
    needs_comma_ = true;
    return *this;
}

json_writer& json_writer::begin_array()
{
    separate();
    out_.push_back('[');
    needs_comma_ = false;
    return *this;
}

json_writer& json_writer::end_array()
{
    out_.push_back(']');
    needs_comma_ = true;
    return *this;
}

json_writer& json_writer::key(std::string_view name)
{
    string(name);
    out_.push_back(':');
    needs_comma_ = false;
    return *this;
}

json_writer& json_writer::string(std::string_view content)
{
    separate();
    append_json_string(out_, content);
    return *this;
}

json_writer& json_writer::number(double figure)
{
    separate();
    // Counts are whole numbers well inside a double's exact range.
    char written[32];
    if (std::isfinite(figure))
        std::snprintf(written, sizeof written, "%.17g", figure);
    else
        std::snprintf(written, sizeof written, "null");
    out_.append(written);
    return *this;
}

json_writer& json_writer::boolean(bool truth)
{
    separate();
    out_.append(truth ? "true" : "false");
    return *this;
}

} // namespace qorvantel
