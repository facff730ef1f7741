// Faults a test asks for through the environment, put in front of the C library with
// LD_PRELOAD: a file system without locks, a lock taken late (another run gets in
// between), truncation that fails, and predictable "random" names.
#include <dlfcn.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

template <typename F> F next(const char* name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

bool asked(const char* name)
{
    const char* v = std::getenv(name);
    return v && *v;
}

} // namespace

namespace {

int lockOr(const char* name, int fd, int command, void* argument)
{
    if (command == F_OFD_SETLK || command == F_SETLK || command == F_OFD_SETLKW || command == F_SETLKW) {
        if (asked("SHIM_NO_LOCKS")) {
            errno = ENOLCK;
            return -1;
        }
        if (const char* delay = std::getenv("SHIM_LOCK_DELAY"))
            ::sleep(static_cast<unsigned>(std::atoi(delay)));
    }
    return next<int (*)(int, int, void*)>(name)(fd, command, argument);
}

} // namespace

// Every fcntl command takes at most one argument, an int or a pointer.
extern "C" int fcntl(int fd, int command, ...)
{
    va_list list;
    va_start(list, command);
    void* argument = va_arg(list, void*);
    va_end(list);
    return lockOr("fcntl", fd, command, argument);
}

extern "C" int fcntl64(int fd, int command, ...)
{
    va_list list;
    va_start(list, command);
    void* argument = va_arg(list, void*);
    va_end(list);
    return lockOr("fcntl64", fd, command, argument);
}

extern "C" int ftruncate(int fd, off_t length)
{
    if (asked("SHIM_TRUNCATE_FAILS")) {
        errno = EIO;
        return -1;
    }
    return next<int (*)(int, off_t)>("ftruncate")(fd, length);
}

// The n-th call fills with the byte n, so that the names a run tries are known in advance.
extern "C" int getentropy(void* buffer, size_t length)
{
    static unsigned char call = 0;
    if (asked("SHIM_ENTROPY")) {
        std::memset(buffer, call++, length);
        return 0;
    }
    return next<int (*)(void*, size_t)>("getentropy")(buffer, length);
}
