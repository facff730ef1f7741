#pragma once
// The system's polite request to end the program (on Linux SIGTERM, as at shutdown or
// from kill; SIGHUP, the terminal it was started from closing; SIGINT, Ctrl+C there),
// handed to the program as an ordinary event, so that it can first take back what a
// run in progress has half written. Windows asks a window program through its windows
// (WM_CLOSE, the session's end) instead, so there this does nothing.

#include <functional>

class QObject;

namespace platform {

// From now on such a request calls `handler` from the event loop, once `context` is
// gone never. The first request only asks: a second one ends the program at once, as
// any request did before, should the first go unanswered.
void onEndRequest(QObject* context, std::function<void()> handler);

} // namespace platform
