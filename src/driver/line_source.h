// Where the interactive loop takes its console lines from: a plain stream,
// or a line editor on a terminal.
#pragma once

#include <istream>
#include <ostream>
#include <string>

namespace qorvantel {

class environment;

class line_source {
public:
    virtual ~line_source() = default;

    // Called once the environment is loaded, before the first line; a
    // source may offer its names, for example for completion.
    virtual void environment_loaded(const environment& loaded);

    // Shows the prompt "$" on out and reads one line, without its line end,
    // into line. False at the end of the input.
    virtual bool read_line(std::ostream& out, std::string& line) = 0;
};

// The console as a stream: the prompt is written to out and flushed, then
// one line is read with std::getline.
class stream_line_source final : public line_source {
public:
    explicit stream_line_source(std::istream& console) : console_(console) {}

    bool read_line(std::ostream& out, std::string& line) override;

private:
    std::istream& console_;
};

} // namespace qorvantel
