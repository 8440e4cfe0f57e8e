// A preloaded stand-in for read(2) that fails like a broken disk: once
// QORVANTEL_FAIL_READ_AFTER bytes have been read from the descriptor
// QORVANTEL_FAIL_READ_FD, every further read of it returns -1 with EIO.
// Used by the reliability tests through LD_PRELOAD.
#include <cerrno>
#include <cstdlib>

#include <dlfcn.h>
#include <sys/types.h>
#include <unistd.h>

namespace {
using read_function = ssize_t (*)(int, void*, size_t);

long setting(const char* name, long otherwise)
{
    const char* text = std::getenv(name);
    return text == nullptr ? otherwise : std::strtol(text, nullptr, 10);
}
} // namespace

extern "C" ssize_t read(int fd, void* buffer, size_t count)
{
    static read_function real = reinterpret_cast<read_function>(dlsym(RTLD_NEXT, "read"));
    static long failing_fd = setting("QORVANTEL_FAIL_READ_FD", -1);
    static long allowed = setting("QORVANTEL_FAIL_READ_AFTER", 0);
    if (fd != failing_fd)
        return real(fd, buffer, count);
    if (allowed <= 0) {
        errno = EIO;
        return -1;
    }
    if (count > static_cast<size_t>(allowed))
        count = static_cast<size_t>(allowed);
    ssize_t got = real(fd, buffer, count);
    if (got > 0)
        allowed -= got;
    return got;
}
