#include "exports/export_state.h"

#include <atomic>
#include <vector>

namespace {
std::atomic<bool> running {false};
std::vector<std::function<void(bool)>>& listeners()
{
    static std::vector<std::function<void(bool)>> l;
    return l;
}
}  // namespace

bool export_running() { return running.load(); }

void export_on_running(std::function<void(bool running)> listener)
{
    listeners().push_back(std::move(listener));
}

void set_export_running(bool on)
{
    running.store(on);
    for (const auto& l : listeners())
        l(on);
}
