// What grading's workers and the grading process send each other over
// their pipes.
#include "check/check_workers_pipe.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace qorvantel {

bool write_all(int fd, const std::string& bytes)
{
    const char* data = bytes.data();
    std::size_t size = bytes.size();
    while (size > 0) {
        ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool read_all(int fd, char* data, std::size_t size, const volatile std::sig_atomic_t& stop)
{
    while (size > 0) {
        ssize_t got = read(fd, data, size);
        if (got < 0 && errno == EINTR && stop == 0)
            continue;
        if (got <= 0)
            return false;
        data += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

namespace {
void put_number(std::string& out, std::uint64_t number)
{
    char bytes[sizeof number];
    std::memcpy(bytes, &number, sizeof number);
    out.append(bytes, sizeof number);
}

// No text of a mark comes near this; a larger length means a broken pipe.
const std::uint64_t longest_text = std::uint64_t{1} << 30;
} // namespace

std::string number_bytes(std::uint64_t number)
{
    std::string out;
    put_number(out, number);
    return out;
}

bool read_number(int fd, std::uint64_t& number, const volatile std::sig_atomic_t& stop)
{
    char bytes[sizeof number];
    if (!read_all(fd, bytes, sizeof bytes, stop))
        return false;
    std::memcpy(&number, bytes, sizeof number);
    return true;
}

std::string mark_bytes(std::uint64_t answer, const answer_mark& mark)
{
    std::uint64_t score = 0;
    std::memcpy(&score, &mark.score, sizeof score);
    std::string out;
    put_number(out, answer);
    put_number(out, mark.out_of_memory ? 1 : 0);
    put_number(out, score);
    for (const std::string* text : {&mark.output, &mark.warning, &mark.raised}) {
        put_number(out, text->size());
        out += *text;
    }
    return out;
}

bool read_mark(int fd, std::uint64_t& answer, answer_mark& mark, const volatile std::sig_atomic_t& stop)
{
    std::uint64_t flag = 0, score = 0;
    if (!read_number(fd, answer, stop) || !read_number(fd, flag, stop) || !read_number(fd, score, stop))
        return false;
    mark.out_of_memory = flag != 0;
    std::memcpy(&mark.score, &score, sizeof score);
    for (std::string* text : {&mark.output, &mark.warning, &mark.raised}) {
        std::uint64_t size = 0;
        if (!read_number(fd, size, stop) || size > longest_text)
            return false;
        text->resize(static_cast<std::size_t>(size));
        if (size > 0 && !read_all(fd, &(*text)[0], text->size(), stop))
            return false;
    }
    return true;
}

} // namespace qorvantel
