// SPDX-License-Identifier: GPL-3.0-or-later
#include "DiagnosticLog.h"

#include <atomic>
#include <mutex>

namespace pacemark {
namespace {

struct SinkState {
    std::mutex mutex;
    DiagnosticLog::Sink sink;
    // Read without the lock on every library log call, most of which are
    // dropped while the log is silent.
    std::atomic<bool> enabled{false};
};

SinkState& state() {
    static SinkState instance;
    return instance;
}

}  // namespace

void DiagnosticLog::setSink(Sink sink) {
    SinkState& s = state();
    const std::lock_guard lock(s.mutex);
    s.enabled = static_cast<bool>(sink);
    s.sink = std::move(sink);
}

bool DiagnosticLog::isEnabled() { return state().enabled.load(std::memory_order_relaxed); }

void DiagnosticLog::write(std::string_view source, std::string_view line) {
    SinkState& s = state();
    if (!s.enabled.load(std::memory_order_relaxed)) return;
    const std::lock_guard lock(s.mutex);
    if (s.sink) s.sink(source, line);
}

}  // namespace pacemark
