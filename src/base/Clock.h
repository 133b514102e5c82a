#pragma once
// Time is injected wherever it decides an outcome (log file dates, certificate expiry), so that
// tests can move it.

#include <chrono>
#include <functional>

namespace cq {

using TimePoint = std::chrono::system_clock::time_point;
using Clock = std::function<TimePoint()>;

/// The real clock.
Clock SystemClock();

/// A moment broken down in local time.
struct LocalDateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

LocalDateTime ToLocal(TimePoint moment);

} // namespace cq
