// The two modes of the interpreter and the command line that chooses them.
#pragma once

#include "driver/line_source.h"

#include "relations/environment.h"
#include "text/shared.h"

#include <istream>
#include <ostream>
#include <string>

namespace qorvantel {

// What becomes of a batch run's relations once its output is written:
// released, or left for the end of the process, which is sooner (the
// program itself, which exits right after).
enum class batch_ending { release, process_exits };

// Batch mode: the input holds an expression and then an environment. Echoes
// the input, then writes the expression's relation.
void run_batch(std::istream& in, std::ostream& out, batch_ending ending = batch_ending::release);

// One console line of interactive mode against the loaded environment: the
// line's relation, or the whole environment for an empty line. Errors are
// thrown, for the caller to show.
void run_console_line(const std::string& line, const shared<environment>& loaded, std::ostream& out);

// Interactive mode: loads the environment once, then evaluates one
// expression per console line after the prompt "$". An empty line writes the
// whole environment. Errors of a line are shown and the loop goes on.
void run_interactive(std::istream& environment_file, line_source& console, std::ostream& out);
// The same with the console read as a plain stream.
void run_interactive(std::istream& environment_file, std::istream& console, std::ostream& out);

// The whole program behind main: chooses the mode from the arguments, runs
// it, and reports any error on out. Returns the exit status. In interactive
// mode the lines come from terminal when it is given, else from console.
int run_command_line(int argc, const char* const* argv, std::istream& console, std::ostream& out,
                     batch_ending ending = batch_ending::release, line_source* terminal = nullptr);

} // namespace qorvantel
