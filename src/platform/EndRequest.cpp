#include "EndRequest.h"

#ifndef _WIN32
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace platform {

#ifdef _WIN32

void onEndRequest(QObject*, std::function<void()>) {}

#else

namespace {

// A signal handler may do almost nothing: it writes a byte that the event loop reads.
int requestPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(requestPipe[1], &byte, 1);
}

} // namespace

void onEndRequest(QObject* context, std::function<void()> handler)
{
    if (requestPipe[0] < 0) {
        if (::pipe(requestPipe) != 0)
            return;
        for (int fd : requestPipe) {
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        }
    }
    auto* notifier = new QSocketNotifier(requestPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [handler = std::move(handler)] {
        char bytes[16];
        while (::read(requestPipe[0], bytes, sizeof bytes) > 0) {
        }
        handler();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // The handler is reset as it is entered, so that a second request finds the default.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (int s : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(s, &action, nullptr);
}

#endif

} // namespace platform
