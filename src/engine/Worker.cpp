#include "Worker.h"

#include "Simd.h"

#include <cstdint>

namespace engine {

Conversion::PartWorker::PartWorker()
    : buffer_(newBuffer(kOutputBuffer)), capacity_(kOutputBuffer), thread_([this] { loop(); })
{
}

Conversion::PartWorker::~PartWorker()
{
    {
        const std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void Conversion::PartWorker::start(const HeldScan& scan, std::size_t from, std::size_t to, LineReader* readAhead)
{
    {
        const std::lock_guard lock(mutex_);
        scan_ = scan;
        from_ = from;
        to_ = to;
        ahead_ = readAhead;
        converted_.store(false, std::memory_order_relaxed);
        idle_.store(false, std::memory_order_relaxed);
        pending_.store(true, std::memory_order_release);
    }
    wake_.notify_one();
}

// Blocks follow each other within microseconds: a short wait costs less than being
// put to sleep and woken. True when the flag was set meanwhile.
bool Conversion::PartWorker::spinUntil(const std::atomic<bool>& flag)
{
    for (int i = 0; i < kSpins; ++i) {
        if (flag.load(std::memory_order_acquire))
            return true;
#if TOLVANE_HAVE_SSE2
        _mm_pause();
#else
        std::this_thread::yield();
#endif
    }
    return false;
}

void Conversion::PartWorker::waitFor(const std::atomic<bool>& flag)
{
    if (!spinUntil(flag)) {
        std::unique_lock lock(mutex_);
        finished_.wait(lock, [&] { return flag.load(std::memory_order_acquire); });
    }
}

void Conversion::PartWorker::signal(std::atomic<bool>& flag)
{
    {
        const std::lock_guard lock(mutex_);
        flag.store(true, std::memory_order_release);
    }
    finished_.notify_one();
}

void Conversion::PartWorker::loop()
{
    for (;;) {
        if (!spinUntil(pending_)) {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return pending_.load(std::memory_order_acquire) || quit_; });
            if (quit_)
                return;
        }
        pending_.store(false, std::memory_order_relaxed);
        const auto began = std::chrono::steady_clock::now();
        Tiles tiles;
        ScanOut out{buffer_.get(), 0, capacity_, kWorkerLimit, INT64_MAX};
        ends_.clear();
        if (scan_.keepEnds)
            out.ends = &ends_;
        std::size_t lineStart = from_;
        scanLines(scan_, lineStart, to_, tiles, out);
        result_ = out;
        stoppedAt_ = lineStart;
        signal(converted_);
        if (ahead_)
            ahead_->readAhead();
        busy_ = std::chrono::steady_clock::now() - began;
        signal(idle_);
    }
}

} // namespace engine
