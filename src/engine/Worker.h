#pragma once
// The run's second thread. Internal to the engine.

#include "Conversion.h"
#include "LineWalk.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

namespace engine {

// Each output buffer: a line begun below the flush mark, or below the worker's limit, fits.
constexpr std::size_t kOutputBuffer = 2 * kDirectAt;
constexpr std::size_t kWorkerLimit = kDirectAt - kSlack;

// Converts the last part of a split block (its share measured from the last blocks' times)
// on a thread of its own, into a buffer of its own that the run then takes over, and then
// reads the next block ahead. It stops early at a line the fast path cannot finish and once
// its buffer holds kDirectAt bytes, so that memory stays bounded.
class Conversion::PartWorker {
public:
    PartWorker();
    ~PartWorker();

    // readAhead: the reader whose next block to read once the part is converted, or nullptr.
    void start(const HeldScan& scan, std::size_t from, std::size_t to, LineReader* readAhead);
    // Waits for the converted part.
    const ScanOut& wait()
    {
        waitFor(converted_);
        return result_;
    }
    // Waits until the reader may be used again.
    void waitIdle() { waitFor(idle_); }
    // How long the last part took to convert and read ahead; only after waitIdle().
    std::chrono::steady_clock::duration busy() const { return busy_; }
    // The first line the worker did not convert; only between wait() and the next start().
    std::size_t stoppedAt() const { return stoppedAt_; }
    // The worker's buffer; only between wait() and the next start().
    Buffer& buffer() { return buffer_; }
    std::size_t& capacity() { return capacity_; }
    // Where the buffer's lines end, when the scan keeps them; as the buffer.
    std::vector<std::size_t>& ends() { return ends_; }

private:
    static bool spinUntil(const std::atomic<bool>& flag);
    void waitFor(const std::atomic<bool>& flag);
    void signal(std::atomic<bool>& flag);
    void loop();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable finished_;
    static constexpr int kSpins = 20000;
    std::atomic<bool> pending_{false};
    std::atomic<bool> converted_{true};
    std::atomic<bool> idle_{true};
    bool quit_ = false;
    HeldScan scan_{};
    std::size_t from_ = 0;
    std::size_t to_ = 0;
    LineReader* ahead_ = nullptr;
    ScanOut result_{nullptr, 0, 0, 0, 0};
    std::chrono::steady_clock::duration busy_{};
    Buffer buffer_;
    std::size_t capacity_ = 0;
    std::vector<std::size_t> ends_;
    std::size_t stoppedAt_ = 0;
    std::thread thread_; // last: starts once the members above exist
};

} // namespace engine
