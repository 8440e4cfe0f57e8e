// The driver: command line, the two modes, and the one place where errors
// are caught and shown.
#include "driver/driver.h"

#include "driver/block_output.h"
#include "driver/messages.h"

#include "algebra/expression.h"
#include "relations/environment.h"
#include "text/diagnostics.h"
#include "text/failure.h"
#include "text/pool.h"
#include "text/text.h"

#include <filesystem>
#include <fstream>
#include <limits>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>

#include <sys/stat.h>

namespace qorvantel {

namespace {
// What a batch run that ends the process leaves behind, held here so that
// it stays reachable (not a leak) until the process ends.
struct left_until_exit {
    shared<expression> query;
    shared<environment> loaded;
    shared<relation> result;
};
left_until_exit* left_behind = nullptr;
} // namespace

void run_batch(std::istream& in, std::ostream& out, batch_ending ending)
{
    shared<expression> query;
    shared<environment> loaded;
    {
        text input(in);
        text::iterator position = input.begin();
        query = parsing<expression>::require("expression", position);
        loaded = parsing<environment>::require("environment", position);
        expect_end(position);
        // The echo reproduces the input, each line with its newline.
        out.write(input.content().data(), static_cast<std::streamsize>(input.content().size()));
    }
    shared<relation> result = query->evaluate(loaded);
    if (!result.empty())
        out << result;
    // Releasing a table of a million rows visits every row and value once
    // more, a quarter of the run's time; the process ends next and gives
    // all its memory back at once.
    if (ending == batch_ending::process_exits && left_behind == nullptr)
        left_behind = new left_until_exit{std::move(query), std::move(loaded), std::move(result)};
}

void run_console_line(const std::string& line, const shared<environment>& loaded, std::ostream& out)
{
    if (line.empty()) {
        if (!loaded.empty())
            out << loaded;
        return;
    }
    shared<expression> query = parse_whole<expression>("expression", line);
    shared<relation> result = query->evaluate(loaded);
    if (!result.empty())
        out << result;
}

namespace {

// An output that can no longer be written (a closed pipe with SIGPIPE
// ignored, a full disk) ends the run rather than evaluating into nothing.
void require_written(std::ostream& out)
{
    if (!out)
        throw_message(messages::cannot_write_output);
}

void write_message(std::ostream& out, const char* message)
{
    for (const char* each = message; *each != '\0'; ++each)
        write_message_char(out, *each);
    out.put('\n');
    out.flush();
}
} // namespace

void run_interactive(std::istream& environment_file, line_source& console, std::ostream& out)
{
    shared<environment> loaded;
    {
        text initial(environment_file);
        loaded = parse_whole<environment>("environment", initial);
    }
    console.environment_loaded(*loaded);
    std::string line;
    for (;;) {
        // A read error of the console leaves from here and ends the
        // session; a line too long for memory is that line's error.
        bool too_long = false;
        try {
            if (!console.read_line(out, line))
                break;
        } catch (const std::bad_alloc&) {
            too_long = true;
        }
        require_written(out);
        try {
            if (too_long)
                throw std::bad_alloc();
            run_console_line(line, loaded, out);
        } catch (...) {
            write_message(out, failure_of(std::current_exception()).message.c_str());
        }
        require_written(out);
        // A big query leaves its chunks free; the session need not keep
        // its peak memory.
        pool::trim();
    }
    out.put('\n');
    out.flush();
}

void run_interactive(std::istream& environment_file, std::istream& console, std::ostream& out)
{
    stream_line_source lines(console);
    run_interactive(environment_file, lines, out);
}

namespace {
// A batch run whose output goes to target in blocks (see block_output).
// What was written is passed on before an error leaves, so that the error
// message follows it on a shared stream. False when a write failed.
bool run_batch_in_blocks(std::istream& in, std::streambuf* target, batch_ending ending)
{
    block_output block(target);
    std::ostream out(&block);
    try {
        run_batch(in, out, ending);
    } catch (...) {
        block.drain();
        throw;
    }
    return block.drain();
}

[[noreturn]] void throw_usage() { throw_message(messages::usage); }

[[noreturn]] void throw_file_error(const char* what, const std::string& name)
{
    error_message message;
    message << what << name << ".";
    throw_message(message);
}

// Opening the output file truncates it, so the same file as the input
// would lose the user's data before it is read.
void refuse_same_file(const std::string& input_name, const std::string& output_name)
{
    // stat rather than std::filesystem::equivalent, which declines to
    // compare FIFOs and other special files.
    struct stat input {};
    struct stat output {};
    if (stat(input_name.c_str(), &input) == 0 && stat(output_name.c_str(), &output) == 0
        && input.st_dev == output.st_dev && input.st_ino == output.st_ino) {
        error_message message;
        message << "Input file " << input_name << " and output file " << output_name << " are the same file.";
        throw_message(message);
    }
}

void run_batch_files(const std::string& input_name, const std::string& output_name, batch_ending ending)
{
    // Compared by name before either is opened: opening a FIFO for reading
    // waits for a writer, which would never come if both names are the FIFO.
    refuse_same_file(input_name, output_name);
    // A directory cannot be opened as a file: like a missing file, it reads
    // as an empty input.
    std::error_code ignored;
    std::ifstream in;
    if (!std::filesystem::is_directory(input_name, ignored))
        in.open(input_name);
    std::ofstream out(output_name, std::ios_base::out | std::ios_base::trunc);
    if (!out)
        throw_file_error("Cannot open output file ", output_name);
    // A failure to write must not pass for success, but the error that
    // ended the run, if any, is the one to report.
    bool written = false;
    try {
        written = run_batch_in_blocks(in, out.rdbuf(), ending);
    } catch (const read_error&) {
        throw_file_error("Cannot read input file ", input_name);
    }
    out.close();
    if (!written || !out)
        throw_file_error("Cannot write output file ", output_name);
}

// The environment the user named must be there: a session over an empty
// environment would only answer that no relation exists.
void run_interactive_file(const std::string& environment_name, line_source* terminal, std::istream& console,
                          std::ostream& out)
{
    std::error_code ignored;
    std::ifstream environment_file;
    if (!std::filesystem::is_directory(environment_name, ignored))
        environment_file.open(environment_name);
    if (!environment_file.is_open())
        throw_file_error("Cannot open environment file ", environment_name);
    try {
        if (terminal != nullptr)
            run_interactive(environment_file, *terminal, out);
        else
            run_interactive(environment_file, console, out);
    } catch (const read_error&) {
        throw_file_error("Cannot read environment file ", environment_name);
    }
}
} // namespace

int run_command_line(int argc, const char* const* argv, std::istream& console, std::ostream& out, batch_ending ending,
                     line_source* terminal)
{
    try {
        switch (argc) {
        case 1:
            try {
                if (!run_batch_in_blocks(console, out.rdbuf(), ending))
                    out.setstate(std::ios_base::badbit);
            } catch (const read_error&) {
                throw_message(messages::cannot_read_input);
            }
            break;
        case 2:
            run_interactive_file(argv[1], terminal, console, out);
            break;
        case 3:
            run_batch_files(argv[1], argv[2], ending);
            break;
        default:
            throw_usage();
        }
        out.flush();
        if (!out)
            throw_message(messages::cannot_write_output);
    } catch (...) {
        write_message(out, failure_of(std::current_exception()).message.c_str());
        return 1;
    }
    return 0;
}

} // namespace qorvantel
