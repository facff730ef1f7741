#pragma once
// Running a command as a child of its own, so that wait4 reports its time and peak
// memory; shared by the timing programs.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace bench {

namespace fs = std::filesystem;

struct ChildRun {
    bool ok = false;
    double seconds = 0;
    long peakKiB = 0;
    std::string log;
};

inline std::string readSmallFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// out, when given, receives the child's standard output instead of the log, so that
// tools writing to standard output run without a shell in between; env holds extra
// NAME=VALUE settings for the child alone.
inline ChildRun runChild(const std::vector<std::string>& args, const fs::path& log, const fs::path& out = {},
                         const std::vector<std::string>& env = {})
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    ChildRun result;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) {
        result.log = std::string("fork failed: ") + std::strerror(errno);
        return result;
    }
    if (pid == 0) {
        const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            dup2(fd, STDOUT_FILENO);
            dup2(fd, STDERR_FILENO);
            close(fd);
        }
        if (!out.empty()) {
            const int ofd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (ofd < 0) {
                std::fprintf(stderr, "cannot create %s: %s\n", out.c_str(), std::strerror(errno));
                _exit(127);
            }
            dup2(ofd, STDOUT_FILENO);
            close(ofd);
        }
        for (const std::string& e : env)
            putenv(const_cast<char*>(e.c_str()));
        execv(argv[0], argv.data());
        std::fprintf(stderr, "cannot run %s: %s\n", argv[0], std::strerror(errno));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    pid_t waited;
    do
        waited = wait4(pid, &status, 0, &usage);
    while (waited < 0 && errno == EINTR);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    result.seconds = took.count();
    // On Linux ru_maxrss is in KiB and covers the child's own waited-for children.
    result.peakKiB = usage.ru_maxrss;
    result.log = readSmallFile(log);
    result.ok = waited == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!result.ok && result.log.empty())
        result.log = "exit status " + std::to_string(status);
    return result;
}

// Reads the file once so that every timed run finds it in the page cache.
inline void warm(const fs::path& p)
{
    const int fd = open(p.c_str(), O_RDONLY);
    if (fd < 0)
        return;
    std::vector<char> buffer(1 << 20);
    while (read(fd, buffer.data(), buffer.size()) > 0) {
    }
    close(fd);
}

inline bool executable(const fs::path& p)
{
    return access(p.c_str(), X_OK) == 0;
}

// Best time and highest peak over all runs; any failed run fails the whole.
struct Measured {
    bool ok = true;
    double seconds = 0;
    double peakMB = 0; // MB = 10^6 bytes
    std::string failure;
    std::string log; // the last run's
    int runs = 0;

    void add(const ChildRun& r)
    {
        log = r.log;
        if (!r.ok) {
            ok = false;
            failure = r.log;
        }
        seconds = runs == 0 ? r.seconds : std::min(seconds, r.seconds);
        peakMB = std::max(peakMB, static_cast<double>(r.peakKiB) * 1024 / 1e6);
        ++runs;
    }
};

} // namespace bench
