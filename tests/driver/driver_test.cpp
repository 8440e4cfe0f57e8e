// The driver on in-memory streams: the command line's choice of mode, where
// errors go, the shape of the interactive dialogue, and files that cannot be
// opened.
#include "driver/driver.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace qorvantel {
namespace {

struct outcome {
    int status;
    std::string output;
};

outcome run(std::initializer_list<const char*> arguments, const std::string& console)
{
    std::vector<const char*> argv{"qorvantel"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::istringstream in(console);
    std::ostringstream out;
    int status = run_command_line(static_cast<int>(argv.size()), argv.data(), in, out);
    return {status, out.str()};
}

TEST(DriverTest, BatchBetweenStreams)
{
    outcome done = run({}, "select(R, GT(a, 1))\nR(a int, b int)\n2, 1\n1, 1");
    EXPECT_EQ(done.status, 0);
    EXPECT_EQ(done.output, "select(R, GT(a, 1))\nR(a int, b int)\n2, 1\n1, 1\nR(a int, b int)\n2, 1\n\n");

    // A syntax error: nothing but the message, then a newline.
    outcome failed = run({}, "R\nR(a int)\n1 )");
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.output, "Garbage in line 3, column 3, before `)\\n'.\n");

    // An evaluation error comes after the echo.
    outcome missing = run({}, "Q\nR(a int)\n");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.output, "Q\nR(a int)\nRelation Q not found.\n");
}

TEST(DriverTest, TooManyArgumentsGiveTheUsage)
{
    outcome done = run({"a", "b", "c"}, "R\nR(a int)\n");
    EXPECT_EQ(done.status, 1);
    EXPECT_EQ(done.output,
              "syntax:\n"
              "batch mode:  qorvantel [input-file-spec output-file-spec]\n"
              "interactive: qorvantel initial-environment-file-spec\n");
}

TEST(DriverTest, InteractiveDialogue)
{
    std::istringstream environment_file("R(a int)\n2\n1\n");
    std::istringstream console("R\n\nnosuch\n   \nunion(R,R)");
    std::ostringstream out;
    run_interactive(environment_file, console, out);
    EXPECT_EQ(out.str(),
              "$R(a int)\n1\n2\n\n"
              "$R(a int)\n1\n2\n\n"
              "$Relation nosuch not found.\n"
              "$Valid expression not found in line 1, column 1, before `   \\n'.\n"
              "$(a int)\n1\n2\n\n"
              "$\n");
}

TEST(DriverTest, BrokenInitialEnvironmentEndsBeforeAnyPrompt)
{
    std::istringstream environment_file("R(a int)\n1\n)");
    std::istringstream console("R\n");
    std::ostringstream out;
    try {
        run_interactive(environment_file, console, out);
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Garbage in line 3, column 1, before `)\\n'.");
    }
    EXPECT_EQ(out.str(), "");
}

// An output file that cannot be opened is reported, and one file named as
// both input and output is refused before anything truncates it. (An input
// file that cannot be opened reads as an empty text.)
TEST(DriverTest, FilesThatCannotBeOpened)
{
    namespace fs = std::filesystem;
    fs::path directory = fs::temp_directory_path() / ("qorvantel_driver_test_" + std::to_string(getpid()));
    fs::remove_all(directory);
    fs::create_directories(directory);
    const std::string input = (directory / "in.txt").string();
    std::ofstream(input) << "R\nR(a int)\n1\n";

    // An output file that cannot be opened is an error, not a silent loss.
    const std::string unopenable = (directory / "missing" / "out.txt").string();
    outcome lost = run({input.c_str(), unopenable.c_str()}, "");
    EXPECT_EQ(lost.status, 1);
    EXPECT_EQ(lost.output, "Cannot open output file " + unopenable + ".\n");

    // The same file as input and output is refused before it is truncated.
    outcome same = run({input.c_str(), input.c_str()}, "");
    EXPECT_EQ(same.status, 1);
    EXPECT_EQ(same.output, "Input file " + input + " and output file " + input + " are the same file.\n");
    std::ifstream after(input);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(after), {}), "R\nR(a int)\n1\n");

    fs::remove_all(directory);
}

} // namespace
} // namespace qorvantel
