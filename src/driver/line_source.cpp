// The console as a plain stream of lines.
#include "driver/line_source.h"

namespace qorvantel {

void line_source::environment_loaded(const environment&) {}

bool stream_line_source::read_line(std::ostream& out, std::string& line)
{
    out.put('$');
    out.flush();
    return static_cast<bool>(std::getline(console_, line));
}

} // namespace qorvantel
