// The JSON writer of the page's glue.
#include "web/json_writer.h"

#include <cmath>
#include <cstdio>

namespace qorvantel {

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
    out_.push_back('"');
    for (char each : content) {
        unsigned char byte = static_cast<unsigned char>(each);
        if (each == '"' || each == '\\') {
            out_.push_back('\\');
            out_.push_back(each);
        } else if (byte < 0x20 || byte == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(byte));
            out_.append(escaped);
        } else {
            out_.push_back(each);
        }
    }
    out_.push_back('"');
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
