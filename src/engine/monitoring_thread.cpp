#include "engine/monitoring_thread.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "engine/transfer_packing.h"
#include "platform/clock.h"

namespace {

std::mutex g_role_bodies_mutex;

std::map<std::uint32_t, Monitoring_thread::RoleBody>& role_bodies() {
    static std::map<std::uint32_t, Monitoring_thread::RoleBody> bodies;
    return bodies;
}

}  // namespace

void Monitoring_thread::set_role_body(std::uint32_t message, RoleBody body) {
    std::lock_guard lock(g_role_bodies_mutex);
    if (body) {
        role_bodies()[message] = std::move(body);
    } else {
        role_bodies().erase(message);
    }
}

Monitoring_thread::Monitoring_thread(usb::Driver* driver)
    : PrinterProtocol(ProtocolSide::Print, driver), usb_device(&device()) {
    set_band_buffer(g_transfer_buffer);
    register_handler(WM_MT_WATCH_HOT_FOLDER,
                     [this](std::uintptr_t w, std::intptr_t l) { OnWatchHotFolder(w, l); });
    register_handler(WM_MT_SYNC_JOB_QUEUE,
                     [this](std::uintptr_t w, std::intptr_t l) { OnSyncJobQueue(w, l); });
    register_handler(WM_MT_UPDATE_JOB_INFO,
                     [this](std::uintptr_t w, std::intptr_t l) { OnUpdateJobInfo(w, l); });
    register_handler(WM_MT_PRINT_LOOP,
                     [this](std::uintptr_t w, std::intptr_t l) { OnPrintLoop(w, l); });
    register_handler(WM_MT_ESTIMATE_PRINT_TIME,
                     [this](std::uintptr_t w, std::intptr_t l) { OnEstimatePrintTime(w, l); });
    register_handler(WM_MT_SCAN_VIRTUAL_HOT_FOLDER,
                     [this](std::uintptr_t w, std::intptr_t l) { OnScanVirtualHotFolder(w, l); });
}

Monitoring_thread::~Monitoring_thread() {
    // The handlers use this object's members: the thread must end before they go.
    stop_and_join();
}

void Monitoring_thread::pause(std::uint32_t ms) {
    while (ms > 0 && !stop_requested()) {
        const std::uint32_t slice = std::min<std::uint32_t>(ms, 100);
        platform::sleep_ms(slice);
        ms -= slice;
    }
}

bool Monitoring_thread::run_role(std::uint32_t message) {
    RoleBody body;
    {
        std::lock_guard lock(g_role_bodies_mutex);
        const auto it = role_bodies().find(message);
        if (it != role_bodies().end()) {
            body = it->second;
        }
    }
    if (body) {
        body(*this);
    }
    return static_cast<bool>(body);
}

void Monitoring_thread::OnWatchHotFolder(std::uintptr_t, std::intptr_t) {
    run_role(WM_MT_WATCH_HOT_FOLDER);
}

void Monitoring_thread::OnSyncJobQueue(std::uintptr_t, std::intptr_t) {
    run_role(WM_MT_SYNC_JOB_QUEUE);
}

void Monitoring_thread::OnUpdateJobInfo(std::uintptr_t, std::intptr_t) {
    run_role(WM_MT_UPDATE_JOB_INFO);
}

void Monitoring_thread::OnEstimatePrintTime(std::uintptr_t, std::intptr_t) {
    run_role(WM_MT_ESTIMATE_PRINT_TIME);
}

void Monitoring_thread::OnScanVirtualHotFolder(std::uintptr_t, std::intptr_t) {
    run_role(WM_MT_SCAN_VIRTUAL_HOT_FOLDER);
}
