// The texts of the records a receiver module hands to its callback, kept in
// order for the module tests; while held, the callback waits, as a busy
// program would.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/record.h"
#include "support/free_port.h"

namespace sink {

inline std::mutex mutex;
inline std::condition_variable changed;
inline std::vector<std::string> got;
inline bool held = false;
inline int entered = 0;  // calls begun, held ones included

extern "C" inline void take(tagCommunicationData_* p)
{
    std::unique_lock lock(mutex);
    ++entered;
    changed.wait(lock, [] { return !held; });
    got.emplace_back(p->msg.impMsg.cLogContent);
}

inline void hold(bool on)
{
    std::lock_guard lock(mutex);
    held = on;
    changed.notify_all();
}

inline std::size_t count()
{
    std::lock_guard lock(mutex);
    return got.size();
}

inline int calls()
{
    std::lock_guard lock(mutex);
    return entered;
}

inline std::vector<std::string> contents()
{
    std::lock_guard lock(mutex);
    return got;
}

// Releases a held callback and forgets everything; for TearDown.
inline void reset()
{
    hold(false);
    std::lock_guard lock(mutex);
    got.clear();
    entered = 0;
}

}  // namespace sink

// Polls `done` until it holds; the limit is only against hanging.
template <class Pred>
bool eventually(Pred done, std::chrono::milliseconds limit = std::chrono::seconds(60))
{
    for (auto end = std::chrono::steady_clock::now() + limit;
         std::chrono::steady_clock::now() < end;) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

// dwIP of 127.0.0.<last>: first octet in the low byte.
constexpr uint32_t loopback_dwip(int last) { return 127u | uint32_t(last) << 24; }
