// Entry point of the qorvantel interpreter.
#include "driver/driver.h"
#include "text/memory.h"

#ifdef QORVANTEL_LINE_EDITING
#include "driver/line_editor.h"
#endif

#include <iostream>
#include <memory>

int main(int argc, char** argv)
{
    // A query that would pass the memory the process may use then fails
    // with "Out of memory." rather than being killed without a word.
    qorvantel::limit_memory();
    std::ios_base::sync_with_stdio(false);
    std::unique_ptr<qorvantel::line_source> terminal;
#ifdef QORVANTEL_LINE_EDITING
    // Only interactive mode reads console lines; batch mode never gets the
    // editor, its signal handler or its locale.
    if (argc == 2)
        terminal = qorvantel::open_line_editor(std::cout);
#endif
    return qorvantel::run_command_line(argc, argv, std::cin, std::cout, qorvantel::batch_ending::process_exits,
                                       terminal.get());
}
