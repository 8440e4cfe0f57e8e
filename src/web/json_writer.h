// A small writer of JSON text for the page: objects, arrays, strings and
// numbers, appended to one string. Strings are passed through byte for byte
// except for the characters JSON requires escaped, so text that is not
// UTF-8 reaches the page unchanged and is decoded there.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qorvantel {

class json_writer {
public:
    json_writer& begin_object();
    json_writer& end_object();
    json_writer& begin_array();
    json_writer& end_array();
    // The name of the next member of the current object.
    json_writer& key(std::string_view name);
    json_writer& string(std::string_view content);
    json_writer& number(double figure);
    json_writer& boolean(bool truth);

    const std::string& result() const noexcept { return out_; }

private:
    // Writes the comma before an element unless it opens its container or
    // follows its key.
    void separate();

    std::string out_;
    bool needs_comma_ = false;
};

} // namespace qorvantel
