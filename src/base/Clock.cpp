#include "base/Clock.h"

#include <ctime>

namespace cq {

Clock SystemClock() {
    return [] {
        return std::chrono::system_clock::now();
    };
}

LocalDateTime ToLocal(TimePoint moment) {
    const auto sinceEpoch = moment.time_since_epoch();
    const auto seconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
    const std::time_t t = seconds.count();
    std::tm tm{};
    localtime_r(&t, &tm);
    LocalDateTime local;
    local.year = tm.tm_year + 1900;
    local.month = tm.tm_mon + 1;
    local.day = tm.tm_mday;
    local.hour = tm.tm_hour;
    local.minute = tm.tm_min;
    local.second = tm.tm_sec;
    local.millisecond = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch - seconds).count());
    return local;
}

} // namespace cq
