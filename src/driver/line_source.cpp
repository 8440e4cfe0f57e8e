// The console as a plain stream of lines.
#include "driver/line_source.h"

#include "driver/messages.h"
#include "text/diagnostics.h"

#include <limits>
#include <new>
#include <stdexcept>

namespace qorvantel {

void line_source::environment_loaded(const environment&) {}

bool stream_line_source::read_line(std::ostream& out, std::string& line)
{
    out.put('$');
    out.flush();
    // With bad among the stream's exceptions, getline passes on what made
    // it fail, a read error or a lack of memory for the line, which would
    // otherwise both be only a bad stream, like the end of the input.
    std::ios_base::iostate saved = console_.exceptions();
    console_.exceptions(saved | std::ios_base::badbit);
    try {
        bool read = static_cast<bool>(std::getline(console_, line));
        console_.exceptions(saved);
        return read;
    } catch (const std::bad_alloc&) {
        // Drops what was read of the line and reads past its end, so that
        // the session goes on with the next line.
        std::string().swap(line);
        console_.clear();
        try {
            console_.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
        } catch (const std::exception&) {
            console_.exceptions(saved);
            throw_message(messages::cannot_read_input);
        }
        console_.exceptions(saved);
        throw;
    } catch (const std::exception&) {
        console_.clear(console_.rdstate() & ~std::ios_base::badbit);
        console_.exceptions(saved);
        throw_message(messages::cannot_read_input);
    }
}

} // namespace qorvantel
