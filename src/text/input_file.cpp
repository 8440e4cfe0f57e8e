// Reading an input file within the memory budget.
#include "text/input_file.h"

#include "text/failure.h"
#include "text/memory.h"
#include "text/messages.h"

#include <cerrno>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qorvantel {

namespace {

std::uint64_t budget_of(const input_file_options& options)
{
    return options.budget != 0 ? options.budget : usable_memory();
}

std::string shown_name(const std::string& path) { return path == "-" ? messages::standard_input : path; }

[[noreturn]] void refuse(const std::string& path, const char* what) { throw setup_error(shown_name(path) + what); }

[[noreturn]] void refuse_size(const std::string& path, std::uint64_t budget)
{
    throw setup_error(shown_name(path) + messages::larger_than_budget + std::to_string(budget >> 20) + " MiB.");
}

[[noreturn]] void cannot_read(const std::string& path, int error)
{
    throw setup_error("Cannot read " + (path == "-" ? std::string("standard input") : path) + ": "
                      + std::strerror(error) + ".");
}

// Refuses what a named file may not be.
void check_kind(const std::string& path, const struct stat& status, const input_file_options& options)
{
    mode_t kind = status.st_mode & S_IFMT;
    if (kind == S_IFREG)
        return;
    if (kind == S_IFDIR)
        refuse(path, messages::is_a_directory);
    if (kind == S_IFCHR || kind == S_IFBLK)
        refuse(path, messages::is_a_device);
    if (kind == S_IFSOCK)
        refuse(path, messages::is_a_socket);
    if (kind == S_IFIFO) {
        if (options.pipe_expected)
            return;
        refuse(path, messages::is_a_fifo);
    }
    refuse(path, messages::is_not_a_file);
}

// Reads descriptor to its end, refusing once more than budget bytes came.
std::string read_all(int descriptor, const std::string& path, std::uint64_t expected, std::uint64_t budget)
{
    std::string content;
    try {
        if (expected > 0)
            content.reserve(static_cast<std::size_t>(expected));
        char buffer[1 << 16];
        for (;;) {
            ssize_t got = ::read(descriptor, buffer, sizeof buffer);
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                cannot_read(path, errno);
            }
            if (got == 0)
                break;
            if (content.size() + static_cast<std::size_t>(got) > budget)
                refuse_size(path, budget);
            content.append(buffer, static_cast<std::size_t>(got));
        }
    } catch (const std::bad_alloc&) {
        // A stream that grows past what is left of the memory.
        content = std::string();
        refuse_size(path, budget);
    }
    return content;
}

} // namespace

void skip_byte_order_mark(std::string& content)
{
    if (content.compare(0, 3, "\xef\xbb\xbf") == 0)
        content.erase(0, 3);
}

std::uint64_t check_input_file(const std::string& path, const input_file_options& options)
{
    if (path == "-")
        return 0;
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        cannot_read(path, errno);
    check_kind(path, status, options);
    std::uint64_t budget = budget_of(options);
    if ((status.st_mode & S_IFMT) == S_IFREG && static_cast<std::uint64_t>(status.st_size) > budget)
        refuse_size(path, budget);
    return static_cast<std::uint64_t>(status.st_size);
}

std::string read_input_file(const std::string& path, const input_file_options& options)
{
    std::uint64_t budget = budget_of(options);
    std::string content;
    if (path == "-") {
        // Whatever standard input is (a terminal, a pipe, a file, a device
        // the shell redirected) it is read: the user chose it. A file too
        // large is refused before it is read, anything else once it passes
        // the budget.
        struct stat status {};
        std::uint64_t size = 0;
        if (::fstat(STDIN_FILENO, &status) == 0 && (status.st_mode & S_IFMT) == S_IFREG) {
            size = static_cast<std::uint64_t>(status.st_size);
            if (size > budget)
                refuse_size(path, budget);
        }
        content = read_all(STDIN_FILENO, path, size, budget);
    } else {
        std::uint64_t size = check_input_file(path, options);
        int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (descriptor < 0)
            cannot_read(path, errno);
        // What was opened is what was checked, unless the name changed
        // between the two.
        struct stat status {};
        if (::fstat(descriptor, &status) != 0) {
            int error = errno;
            ::close(descriptor);
            cannot_read(path, error);
        }
        try {
            check_kind(path, status, options);
            content = read_all(descriptor, path, size, budget);
        } catch (...) {
            ::close(descriptor);
            throw;
        }
        ::close(descriptor);
    }
    skip_byte_order_mark(content);
    return content;
}

} // namespace qorvantel
