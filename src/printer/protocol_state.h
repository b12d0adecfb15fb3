#pragma once

#include <atomic>
#include <cstdint>

#include "config/program_globals.h"  // g_rotary_mode: 1 rotary, 0 flatbed

// The protocol's shared state: one set for the whole process, used by the print thread, the
// maintenance dialogs and the nozzle-check print without a lock; g_printer_idle keeps their
// exchanges apart. Each uses this state only while it owns the printer, and g_printer_idle is
// written only by the claims that own it (printer/printer_claim.h). The flags that several
// threads read are atomics of their stated width.

// The frame of the next command; a sender sets the bytes it needs and leaves the rest.
extern std::uint8_t g_command_buffer[6];
// Bytes to send (2, 3 or 6); after a completed send, the bytes transferred.
extern int g_command_length;
// The last status byte read; a read that transfers nothing leaves it.
extern std::atomic<std::uint8_t> g_status_byte;
extern int g_status_length;

extern std::atomic<std::uint8_t> g_stop_printing;
extern std::atomic<int> g_printer_idle;
extern std::atomic<int> g_pass_done;
extern std::atomic<std::uint8_t> g_pass_sent;
extern int g_pass_toggle;
extern int g_first_pass_seen;
extern std::uint32_t g_first_pass_tick;
extern int g_pass_timing_calibrated;
extern std::uint32_t g_pass_timeout_ms;
extern std::uint32_t g_bidir_pass_delay_ms;
extern std::atomic<std::uint8_t> g_reconnect_cancelled;
// Set with g_stop_printing by the maintenance side when the printer reports it stopped.
extern std::atomic<std::uint8_t> g_nozzle_print_error;

// Arguments of the set-up commands, set by the print engine from the job's header and
// stepping (and by the maintenance side); the engine's headers take them from here.
extern std::uint8_t g_direction;    // 0 unidirectional, 1 bidirectional
extern std::uint8_t g_ink_mode;     // 1-15; 0 until a job set it
extern std::uint8_t g_not_2vanish;  // 1 unless ink mode 4
extern std::uint32_t g_column_count;
extern std::int32_t g_y_position;  // motor steps, sent as a 32-bit value

// The pass-done time-out a job starts with.
inline constexpr std::uint32_t kInitialPassTimeoutMs = 8600;
