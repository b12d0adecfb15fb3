#pragma once

#include <cstdint>

// The program's sleeps and time-outs all go through this clock. A process-wide time scale
// lets the tests and the demo run them faster without touching a single constant: with a
// scale of 50 a 5000 ms wait takes 100 ms of real time, and tick_count() advances 50 times
// faster than the wall clock. The simulated printer runs on the same clock.
namespace platform {

// Milliseconds on the program's clock; wraps around after 2^32 ms like the tick count that the
// polling loops were written for, so every time-out compares differences, never values.
std::uint32_t tick_count();

// Sleeps for ms milliseconds of program time.
void sleep_ms(std::uint32_t ms);

// The current scale (1 = real time). Read once from VELQUORIN_TIME_SCALE; tests set it.
double time_scale();
void set_time_scale(double scale);

// Program-time milliseconds as real microseconds at the current scale; for the few places
// (condition waits) that need a real duration.
std::int64_t real_microseconds(std::uint32_t program_ms);

// Moves the tick count to a chosen value, so that tests can put a wait across the wrap.
void set_tick_count(std::uint32_t ticks);

}  // namespace platform
