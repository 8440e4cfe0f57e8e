// Reading an input file for the companion programs, and turning whatever
// was thrown into the message shown.
#include "text/failure.h"
#include "text/input_file.h"
#include "text/messages.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <new>
#include <stdexcept>

#include <sys/stat.h>
#include <unistd.h>

namespace qorvantel {
namespace {

std::string refusal(const std::string& path, const input_file_options& options = {})
{
    try {
        read_input_file(path, options);
        return "<read>";
    } catch (const tool_error& error) {
        return error.kind() == failure_kind::setup ? error.what() : "<not a setup error>";
    }
}

class InputFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/qorvantel-input-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
    }
    void TearDown() override
    {
        for (const std::string& each : made_)
            std::remove(each.c_str());
        rmdir(folder_.c_str());
    }
    std::string made(const std::string& name, const std::string& content)
    {
        std::string path = folder_ + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        made_.push_back(path);
        return path;
    }
    std::string folder_;
    std::vector<std::string> made_;
};

TEST_F(InputFile, RefusesWhatIsNoRegularFileByName)
{
    std::string fifo = folder_ + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    made_.push_back(fifo);
    const std::pair<std::string, std::string> cases[] = {
        {folder_, folder_ + " is a directory."},
        {"/dev/zero", "/dev/zero is a device, not a file."},
        {fifo, fifo + " is a named pipe, not a file."},
        {folder_ + "/none", "Cannot read " + folder_ + "/none: No such file or directory."},
    };
    for (const auto& [path, message] : cases)
        EXPECT_EQ(refusal(path), message);
}

TEST_F(InputFile, SkipsAByteOrderMarkAndKeepsTheRest)
{
    const std::pair<std::string, std::string> cases[] = {
        {"\xef\xbb\xbfR(a int)\n", "R(a int)\n"},
        {"\xef\xbb\xbf", ""},
        {"\xef\xbbR", "\xef\xbbR"},
        {"R\xef\xbb\xbf", "R\xef\xbb\xbf"},
        {"", ""},
    };
    for (const auto& [content, read] : cases)
        EXPECT_EQ(read_input_file(made("f.txt", content)), read);
}

TEST_F(InputFile, RefusesAFileLargerThanTheBudgetBeforeReading)
{
    input_file_options small;
    small.budget = 3 << 20;
    std::string path = made("big.txt", std::string((3 << 20) + 1, 'x'));
    EXPECT_EQ(refusal(path, small), path + " is larger than the memory budget of 3 MiB.");
    EXPECT_EQ(check_input_file(made("fits.txt", "abc"), small), 3u);
}

TEST(Failure, EveryExceptionHasItsMessageAndKind)
{
    auto of = [](auto thrown) { return failure_of(std::make_exception_ptr(thrown)); };
    EXPECT_EQ(of(std::bad_alloc()).message, messages::out_of_memory);
    EXPECT_EQ(of(std::bad_alloc()).kind, failure_kind::memory);
    EXPECT_EQ(of(usage_error("u")).kind, failure_kind::usage);
    EXPECT_EQ(of(setup_error("s")).message, "s");
    EXPECT_EQ(of(data_error("d")).kind, failure_kind::input);
    EXPECT_EQ(of(std::runtime_error("Relation R not found.")).message, "Relation R not found.");
    EXPECT_EQ(of(42).message, messages::internal_error);
    EXPECT_EQ(of(42).kind, failure_kind::internal);
}

} // namespace
} // namespace qorvantel
