#include "platform/clock.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace platform {
namespace {

using SteadyClock = std::chrono::steady_clock;

double scale_from_environment() {
    const char* text = std::getenv("VELQUORIN_TIME_SCALE");
    if (text == nullptr || *text == '\0') {
        return 1.0;
    }
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    // A value that is not a plain positive number is ignored rather than trusted: a scale of
    // zero or below would make every wait endless or instant.
    if (end == text || *end != '\0' || !std::isfinite(value) || value <= 0.0) {
        return 1.0;
    }
    return value;
}

// The tick count is kept as an anchor (program ms at a real instant) plus the real time since,
// times the scale; changing the scale re-anchors so the count never jumps.
struct ClockState {
    std::mutex mutex;
    double scale = scale_from_environment();
    SteadyClock::time_point anchor_real = SteadyClock::now();
    double anchor_ticks = 0.0;

    double ticks_now_locked(SteadyClock::time_point now) const {
        const double real_ms = std::chrono::duration<double, std::milli>(now - anchor_real).count();
        return anchor_ticks + real_ms * scale;
    }
};

ClockState& state() {
    static ClockState clock_state;
    return clock_state;
}

}  // namespace

std::uint32_t tick_count() {
    ClockState& s = state();
    std::lock_guard lock(s.mutex);
    const double ticks = s.ticks_now_locked(SteadyClock::now());
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ticks));
}

void sleep_ms(std::uint32_t ms) {
    if (ms == 0) {
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(real_microseconds(ms)));
}

double time_scale() {
    ClockState& s = state();
    std::lock_guard lock(s.mutex);
    return s.scale;
}

void set_time_scale(double scale) {
    if (!(scale > 0.0) || !std::isfinite(scale)) {
        scale = 1.0;
    }
    ClockState& s = state();
    std::lock_guard lock(s.mutex);
    const auto now = SteadyClock::now();
    s.anchor_ticks = s.ticks_now_locked(now);
    s.anchor_real = now;
    s.scale = scale;
}

std::int64_t real_microseconds(std::uint32_t program_ms) {
    const double us = static_cast<double>(program_ms) * 1000.0 / time_scale();
    return us < 1.0 ? 1 : static_cast<std::int64_t>(us);
}

void set_tick_count(std::uint32_t ticks) {
    ClockState& s = state();
    std::lock_guard lock(s.mutex);
    s.anchor_real = SteadyClock::now();
    s.anchor_ticks = static_cast<double>(ticks);
}

}  // namespace platform
