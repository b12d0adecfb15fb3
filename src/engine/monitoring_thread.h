#pragma once

#include <cstdint>

#include "platform/thread.h"

// The worker-thread class of every background role. Each of the main window's six workers is
// given its role by one thread message, and the role runs for the life of the process. The
// roles' own loops come with the print engine and the job intake; until then a role message
// finds no handler and the worker waits.

inline constexpr std::uint32_t WM_MT_WATCH_HOT_FOLDER = 0x469;
inline constexpr std::uint32_t WM_MT_SYNC_JOB_QUEUE = 0x46A;
inline constexpr std::uint32_t WM_MT_UPDATE_JOB_INFO = 0x46B;
inline constexpr std::uint32_t WM_MT_PRINT_LOOP = 0x46C;
inline constexpr std::uint32_t WM_MT_SCAN_VIRTUAL_HOT_FOLDER = 0x46D;
inline constexpr std::uint32_t WM_MT_ESTIMATE_PRINT_TIME = 0x476;

class Monitoring_thread : public platform::WorkerThread {
  public:
    Monitoring_thread() = default;
    ~Monitoring_thread() override { stop_and_join(); }
};
