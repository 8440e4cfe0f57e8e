// The history file: libedit's line format both ways, the newest thousand
// entries, files older builds wrote, and two writers at once.
#include "driver/history.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qorvantel {
namespace {

using entries = std::vector<std::string>;

std::string read_file(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void write_file(const std::string& name, const std::string& content)
{
    std::ofstream(name, std::ios::binary) << content;
}

class HistoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/qorvantel_history_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory_ = pattern;
        name_ = directory_ + "/history";
    }
    void TearDown() override
    {
        std::remove(name_.c_str());
        rmdir(directory_.c_str());
    }

    std::string directory_;
    std::string name_;
};

TEST(HistoryFormatTest, EntriesAsLibeditWritesThem)
{
    struct {
        const char* entry;
        const char* line;
    } cases[] = {
        {"select(Emp, GT(id, 1))", "select(Emp,\\040GT(id,\\0401))"},
        {"a\\b", "a\\\\b"},
        {"tab\there", "tab\\011here"},
        {"two\nlines", "two\\012lines"},
        {"\x01\x1b\x7f", "\\001\\033\\177"},
        {"'caf\xc3\xa9'", "'caf\xc3\xa9'"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(encode_history_entry(c.entry), c.line) << c.entry;
        EXPECT_EQ(decode_history_entry(c.line), c.entry) << c.line;
    }
    // Any byte comes back as it went in.
    std::string every_byte;
    for (int byte = 1; byte < 256; ++byte)
        every_byte += static_cast<char>(byte);
    every_byte += '\0';
    EXPECT_EQ(decode_history_entry(encode_history_entry(every_byte)), every_byte);
}

TEST(HistoryFormatTest, OtherEscapesLibeditMayHaveWritten)
{
    struct {
        const char* line;
        std::string entry;
    } cases[] = {
        {"x\\040y\\134z\\^A\\^?", "x y\\z\x01\x7f"}, // as libedit writes them
        {"\\^A\\^?", "\x01\x7f"},
        {"\\M-a\\M^A", "\xe1\x81"},
        {"\\s\\t\\n\\E", " \t\n\x1b"},
        {"a\\$b", "ab"},
        {"\\0", std::string(1, '\0')},
        {"\\101\\1012", "AA2"},
        {"\\q", "q"},
        {"end\\", "end\\"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decode_history_entry(c.line), c.entry) << c.line;
}

TEST_F(HistoryTest, AppendsKeepTheNewestThousand)
{
    history_file history(name_);
    entries loaded;
    EXPECT_TRUE(history.load(loaded)); // no file yet: no entries
    EXPECT_TRUE(loaded.empty());
    EXPECT_TRUE(history.trim());
    for (int i = 1; i <= 1005; ++i)
        ASSERT_TRUE(history.append("R " + std::to_string(i)));
    struct stat status {};
    ASSERT_EQ(stat(name_.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_EQ(read_file(name_).substr(0, 20), "_HiStOrY_V2_\nR\\0401\n");

    ASSERT_TRUE(history.load(loaded));
    ASSERT_EQ(loaded.size(), history_limit);
    EXPECT_EQ(loaded.front(), "R 6");
    EXPECT_EQ(loaded.back(), "R 1005");

    ASSERT_TRUE(history.trim());
    const std::string trimmed = read_file(name_);
    EXPECT_EQ(trimmed.substr(0, 20), "_HiStOrY_V2_\nR\\0406\n");
    EXPECT_EQ(std::count(trimmed.begin(), trimmed.end(), '\n'), 1001);
    entries again;
    ASSERT_TRUE(history.load(again));
    EXPECT_EQ(again, loaded);
}

TEST_F(HistoryTest, FilesOfEarlierBuilds)
{
    history_file history(name_);
    entries loaded;
    // As libedit wrote it, with its escapes.
    write_file(name_, "_HiStOrY_V2_\nproject(Emp,\\040name)\n\\^A\\M-a\n");
    ASSERT_TRUE(history.load(loaded));
    EXPECT_EQ(loaded, (entries{"project(Emp, name)", "\x01\xe1"}));

    // Half a line, left by a session killed while it wrote, stays apart.
    write_file(name_, "_HiStOrY_V2_\nDept\nproj");
    ASSERT_TRUE(history.append("Emp"));
    ASSERT_TRUE(history.load(loaded));
    EXPECT_EQ(loaded, (entries{"Dept", "proj", "Emp"}));

    // As GNU readline wrote it: one entry a line, nothing escaped. Appending
    // turns it into libedit's format.
    write_file(name_, "select(Emp, GT(id, 1))\na\\040b\n\nDept\n");
    ASSERT_TRUE(history.load(loaded));
    EXPECT_EQ(loaded, (entries{"select(Emp, GT(id, 1))", "a\\040b", "Dept"}));
    ASSERT_TRUE(history.append("Emp"));
    EXPECT_EQ(read_file(name_), "_HiStOrY_V2_\nselect(Emp,\\040GT(id,\\0401))\na\\\\040b\nDept\nEmp\n");
}

TEST_F(HistoryTest, FilesThatFail)
{
    entries loaded;
    // A directory cannot be read as history, nor written.
    history_file directory(directory_);
    EXPECT_FALSE(directory.load(loaded));
    EXPECT_FALSE(directory.append("Dept"));
    // A file in a directory that does not exist cannot be made.
    history_file missing(directory_ + "/missing/history");
    EXPECT_TRUE(missing.load(loaded));
    EXPECT_FALSE(missing.append("Dept"));
}

TEST_F(HistoryTest, TwoWritersAtOnceLoseNothing)
{
    // Two processes append to a full file and cut it back after every line,
    // as sessions that end while others go on. Afterwards the file holds the
    // newest thousand: all their lines, each process's in its order.
    constexpr int per_writer = 300;
    history_file history(name_);
    std::string full = "_HiStOrY_V2_\n";
    for (std::size_t i = 0; i < history_limit; ++i)
        full += "old\n";
    write_file(name_, full);
    pid_t writers[2];
    for (int writer = 0; writer < 2; ++writer) {
        writers[writer] = fork();
        ASSERT_GE(writers[writer], 0);
        if (writers[writer] == 0) {
            bool all = true;
            for (int i = 0; i < per_writer; ++i)
                all = history.append(std::to_string(writer) + " " + std::to_string(i)) && history.trim() && all;
            _exit(all ? 0 : 1);
        }
    }
    for (pid_t writer : writers) {
        int status = 0;
        ASSERT_EQ(waitpid(writer, &status, 0), writer);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    entries loaded;
    ASSERT_TRUE(history.load(loaded));
    ASSERT_EQ(loaded.size(), history_limit);
    EXPECT_EQ(std::count(loaded.begin(), loaded.end(), "old"), static_cast<long>(history_limit - 2 * per_writer));
    int next[2] = {0, 0};
    for (const std::string& entry : loaded) {
        if (entry == "old")
            continue;
        const int writer = entry[0] - '0';
        ASSERT_TRUE(writer == 0 || writer == 1) << entry;
        EXPECT_EQ(entry, std::to_string(writer) + " " + std::to_string(next[writer]));
        ++next[writer];
    }
}

} // namespace
} // namespace qorvantel
