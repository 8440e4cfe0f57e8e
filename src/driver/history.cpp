// The console's history file: libedit's format, appended to under a lock.
#include "driver/history.h"

#include <cerrno>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qorvantel {

namespace {

// The first line of a file in libedit's format.
const std::string header = "_HiStOrY_V2_";

// How long a session waits for another one to finish with the file. Each
// holds the lock only to read or write at most a thousand lines; a lock held
// longer belongs to a process that hangs, which must not hang this one.
constexpr auto longest_lock_wait = std::chrono::seconds(2);

// A file descriptor, closed (and so unlocked) when it goes.
class descriptor {
public:
    explicit descriptor(int number) : number_(number) {}
    ~descriptor()
    {
        if (number_ >= 0)
            close(number_);
    }
    descriptor(const descriptor&) = delete;
    descriptor& operator=(const descriptor&) = delete;

    int number() const { return number_; }

private:
    int number_;
};

bool lock(int file, int kind)
{
    const auto give_up = std::chrono::steady_clock::now() + longest_lock_wait;
    while (flock(file, kind | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() > give_up)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool read_whole(int file, std::string& content)
{
    content.clear();
    char buffer[1 << 16];
    for (;;) {
        const ssize_t count = read(file, buffer, sizeof buffer);
        if (count == 0)
            return true;
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return false;
        content.append(buffer, static_cast<std::size_t>(count));
    }
}

bool write_whole(int file, const std::string& content)
{
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t count = write(file, content.data() + written, content.size() - written);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        written += static_cast<std::size_t>(count);
    }
    return true;
}

// The entries of a file's content, oldest first; with_header tells whether
// it is in libedit's format (or empty), which appending relies on.
std::vector<std::string> parse(const std::string& content, bool& with_header)
{
    std::vector<std::string> entries;
    std::size_t start = 0;
    with_header = content.empty() || content.compare(0, content.find('\n'), header) == 0;
    if (with_header && !content.empty())
        start = content.find('\n') == std::string::npos ? content.size() : content.find('\n') + 1;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        if (end == std::string::npos)
            end = content.size();
        std::string line = content.substr(start, end - start);
        start = end + 1;
        if (with_header)
            line = decode_history_entry(line);
        if (!line.empty())
            entries.push_back(std::move(line));
    }
    return entries;
}

// The file's content for the newest history_limit of entries.
std::string format(const std::vector<std::string>& entries)
{
    std::string content = header + '\n';
    const std::size_t first = entries.size() > history_limit ? entries.size() - history_limit : 0;
    for (std::size_t i = first; i < entries.size(); ++i)
        content += encode_history_entry(entries[i]) + '\n';
    return content;
}

// Replaces the content of a locked file; a write cut short leaves the old
// entries behind the new ones, so that nothing is lost.
bool rewrite(int file, const std::string& content)
{
    return lseek(file, 0, SEEK_SET) == 0 && write_whole(file, content)
        && ftruncate(file, static_cast<off_t>(content.size())) == 0;
}

} // namespace

// Blanks, backslashes and control characters as libedit escapes them, in
// the octal form its reader and decode_history_entry both take; everything
// else, UTF-8 included, as it is.
std::string encode_history_entry(const std::string& entry)
{
    std::string line;
    for (const char c : entry) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            line += "\\\\";
        } else if (byte <= ' ' || byte == 0x7f) {
            line += '\\';
            line += static_cast<char>('0' + (byte >> 6));
            line += static_cast<char>('0' + ((byte >> 3) & 7));
            line += static_cast<char>('0' + (byte & 7));
        } else {
            line += c;
        }
    }
    return line;
}

// Every escape libedit writes: \ooo, \\, \^X, \M-X, \M^X and the C-style
// letters; an escape it never writes stands for itself.
std::string decode_history_entry(const std::string& line)
{
    std::string entry;
    std::size_t i = 0;
    const auto next = [&]() -> int { return i < line.size() ? static_cast<unsigned char>(line[i++]) : -1; };
    const auto control = [](int c) { return static_cast<char>(c == '?' ? 0x7f : c & 037); };
    for (int c = next(); c >= 0; c = next()) {
        if (c != '\\') {
            entry += static_cast<char>(c);
            continue;
        }
        c = next();
        if (c >= '0' && c <= '7') {
            int value = c - '0';
            for (int digits = 1; digits < 3 && i < line.size() && line[i] >= '0' && line[i] <= '7'; ++digits)
                value = value * 8 + (line[i++] - '0');
            entry += static_cast<char>(value);
        } else if (c == 'M' && i + 1 < line.size() && (line[i] == '-' || line[i] == '^')) {
            const bool is_control = line[i] == '^';
            ++i;
            const int base = next();
            entry += static_cast<char>((is_control ? control(base) : base) | 0x80);
        } else if (c == '^' && i < line.size()) {
            entry += control(next());
        } else if (c == '$' || c == '\n') {
            // libedit's marks for nothing.
        } else {
            static const std::string letters = "nrtbavfsE";
            static const std::string meanings = "\n\r\t\b\a\v\f \x1b";
            const std::size_t letter = c < 0 ? std::string::npos : letters.find(static_cast<char>(c));
            if (letter != std::string::npos)
                entry += meanings[letter];
            else
                entry += static_cast<char>(c < 0 ? '\\' : c);
        }
    }
    return entry;
}

bool history_file::load(std::vector<std::string>& entries) const
{
    entries.clear();
    descriptor file(open(name_.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.number() < 0)
        return errno == ENOENT;
    // Without the lock a rewrite may be read half done; still better than
    // no history at all.
    lock(file.number(), LOCK_SH);
    std::string content;
    if (!read_whole(file.number(), content))
        return false;
    bool with_header = false;
    entries = parse(content, with_header);
    if (entries.size() > history_limit)
        entries.erase(entries.begin(), entries.end() - static_cast<std::ptrdiff_t>(history_limit));
    return true;
}

bool history_file::append(const std::string& entry) const
{
    // Only the user may read what the user typed. Appending needs no lock
    // of its own; the lock keeps it out of another session's rewrite.
    descriptor file(open(name_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600));
    if (file.number() < 0 || !lock(file.number(), LOCK_EX))
        return false;
    struct stat status {};
    if (fstat(file.number(), &status) != 0)
        return false;
    if (status.st_size == 0)
        return write_whole(file.number(), header + '\n' + encode_history_entry(entry) + '\n');
    descriptor reading(open(name_.c_str(), O_RDONLY | O_CLOEXEC));
    std::string content;
    if (reading.number() < 0)
        return false;
    char start[16] = {};
    const ssize_t count = read(reading.number(), start, header.size() + 1);
    if (count == static_cast<ssize_t>(header.size() + 1) && header.compare(0, header.size(), start, header.size()) == 0
        && start[header.size()] == '\n') {
        // A session killed while it wrote may have left half a line.
        char last = '\n';
        const bool cut = pread(reading.number(), &last, 1, status.st_size - 1) == 1 && last != '\n';
        return write_whole(file.number(), (cut ? "\n" : "") + encode_history_entry(entry) + '\n');
    }
    // A file without the header: rewritten in libedit's format first, where
    // the writes must not all go to the end.
    if (lseek(reading.number(), 0, SEEK_SET) != 0 || !read_whole(reading.number(), content)
        || fcntl(file.number(), F_SETFL, 0) != 0)
        return false;
    bool with_header = false;
    std::vector<std::string> entries = parse(content, with_header);
    entries.push_back(entry);
    return rewrite(file.number(), format(entries));
}

bool history_file::trim() const
{
    descriptor file(open(name_.c_str(), O_RDWR | O_CLOEXEC));
    if (file.number() < 0)
        return errno == ENOENT;
    if (!lock(file.number(), LOCK_EX))
        return false;
    std::string content;
    if (!read_whole(file.number(), content))
        return false;
    bool with_header = false;
    const std::vector<std::string> entries = parse(content, with_header);
    if (with_header && entries.size() <= history_limit)
        return true;
    return rewrite(file.number(), format(entries));
}

} // namespace qorvantel
