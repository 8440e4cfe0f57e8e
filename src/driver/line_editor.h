// The console on a terminal: line editing, history and completion through
// the line-editing library, and Ctrl-C that abandons a line or stops a query.
// Built into the program only when a line-editing library was found.
#pragma once

#include "driver/line_source.h"

#include <memory>
#include <ostream>

namespace qorvantel {

// A line editor when standard input and standard output are both
// terminals, else null: then the console is read as a plain stream, so
// that piped and redirected runs behave exactly as without the editor.
// Notices (an unreadable history file) go to out. Once the environment is
// loaded and while the editor lives, Ctrl-C requests an interrupt instead of
// ending the program.
std::unique_ptr<line_source> open_line_editor(std::ostream& out);

} // namespace qorvantel
