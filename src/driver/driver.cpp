// The driver: command line, the two modes, and the one place where errors
// are caught and shown.
#include "driver/driver.h"

#include "driver/block_output.h"

#include "algebra/expression.h"
#include "relations/environment.h"
#include "text/diagnostics.h"
#include "text/text.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>

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

namespace {
void run_console_line(const std::string& line, const shared<environment>& loaded, std::ostream& out)
{
    if (line.empty()) {
        if (!loaded.empty())
            out << loaded;
        return;
    }
    text typed(line);
    text::iterator position = typed.begin();
    shared<expression> query = parsing<expression>::require("expression", position);
    expect_end(position);
    shared<relation> result = query->evaluate(loaded);
    if (!result.empty())
        out << result;
}

void write_message(std::ostream& out, const char* message)
{
    for (const char* each = message; *each != '\0'; ++each)
        write_message_char(out, *each);
    out.put('\n');
    out.flush();
}
} // namespace

void run_interactive(std::istream& environment_file, std::istream& console, std::ostream& out)
{
    shared<environment> loaded;
    {
        text initial(environment_file);
        text::iterator position = initial.begin();
        loaded = parsing<environment>::require("environment", position);
        expect_end(position);
    }
    std::string line;
    for (;;) {
        out.put('$');
        out.flush();
        if (!std::getline(console, line))
            break;
        try {
            run_console_line(line, loaded, out);
        } catch (const std::exception& error) {
            write_message(out, error.what());
        }
    }
    out.put('\n');
    out.flush();
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

[[noreturn]] void throw_usage()
{
    throw std::runtime_error("syntax:\n"
                             "batch mode:  qorvantel [input-file-spec output-file-spec]\n"
                             "interactive: qorvantel initial-environment-file-spec");
}

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
    std::error_code ignored;
    if (std::filesystem::equivalent(input_name, output_name, ignored)) {
        error_message message;
        message << "Input file " << input_name << " and output file " << output_name << " are the same file.";
        throw_message(message);
    }
}

void run_batch_files(const std::string& input_name, const std::string& output_name, batch_ending ending)
{
    std::ifstream in(input_name);
    refuse_same_file(input_name, output_name);
    std::ofstream out(output_name, std::ios_base::out | std::ios_base::trunc);
    if (!out)
        throw_file_error("Cannot open output file ", output_name);
    // A failure to write must not pass for success, but the error that
    // ended the run, if any, is the one to report.
    bool written = run_batch_in_blocks(in, out.rdbuf(), ending);
    out.close();
    if (!written || !out)
        throw_file_error("Cannot write output file ", output_name);
}
} // namespace

int run_command_line(int argc, const char* const* argv, std::istream& console, std::ostream& out,
                     batch_ending ending)
{
    try {
        switch (argc) {
        case 1:
            if (!run_batch_in_blocks(console, out.rdbuf(), ending))
                out.setstate(std::ios_base::badbit);
            break;
        case 2: {
            std::ifstream environment_file(argv[1]);
            run_interactive(environment_file, console, out);
            break;
        }
        case 3:
            run_batch_files(argv[1], argv[2], ending);
            break;
        default:
            throw_usage();
        }
        out.flush();
        if (!out)
            throw std::runtime_error("Cannot write standard output.");
    } catch (const std::exception& error) {
        write_message(out, error.what());
        return 1;
    }
    return 0;
}

} // namespace qorvantel
