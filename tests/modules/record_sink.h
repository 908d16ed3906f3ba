// What a receiver module hands to its callback, kept in order for the module
// tests; while held, the callback waits, as a busy program would.
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
inline std::vector<tagCommunicationData_> got;
inline bool held = false;
inline int entered = 0;  // calls begun, held ones included

extern "C" inline void take(tagCommunicationData_* p)
{
    std::unique_lock lock(mutex);
    ++entered;
    changed.wait(lock, [] { return !held; });
    got.push_back(*p);
}

inline void hold(bool on)
{
    std::lock_guard lock(mutex);
    held = on;
    changed.notify_all();
}

inline std::vector<tagCommunicationData_> records()
{
    std::lock_guard lock(mutex);
    return got;
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
    std::vector<std::string> out;
    for (const auto& r : got)
        out.emplace_back(r.msg.impMsg.cLogContent);
    return out;
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
