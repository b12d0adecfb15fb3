#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "usb/driver/sim/printer_model.h"
#include "usb/driver/sim/recorder.h"

// The simulated printer's firmware: it answers the printer's commands with the status bytes
// the workstation waits for, takes passes the time the printer needs for them on the program
// clock, keeps the printer's state, records what it was sent, and plays scripted faults.
namespace usb::sim {

class Cable;

class Firmware : public PrinterModel {
  public:
    explicit Firmware(std::unique_ptr<Recorder> recorder = nullptr);

    // The printer the firmware runs in, for the faults that pull its cable.
    void attach(Cable* printer);

    // Scripted faults.
    // The n-th command (counted from 1) with this code is answered with status.
    void answer_at(std::uint8_t code, int n, std::uint8_t status);
    // The n-th pass (counted from 1) never reports that it is done.
    void never_finish_pass(int n);
    // The n-th bulk OUT piece (counted from 1) is lost with the connection, which comes
    // back after ms.
    void lose_connection_at_piece(int n, std::uint32_t ms);
    // No class request is answered while silent.
    void set_silent(bool silent);
    // The stepping's pause after a bidirectional pass, part of its time.
    void set_bidir_pass_delay_ms(std::uint32_t ms);

    struct State {
        bool job_running = false;
        bool pass_in_progress = false;
        int passes_started = 0;
        int passes_done = 0;
        std::uint32_t column_count = 0;
        std::uint8_t direction = 0;
        std::uint32_t y_position = 0;
        std::uint64_t bulk_bytes = 0;
        // The head cleaning or ink charging the printer is busy with (its command), 0 none.
        std::uint8_t maintenance = 0;
        // The last kKeptCommands frames received, oldest first.
        std::deque<std::vector<std::uint8_t>> commands;
    };
    static constexpr std::size_t kKeptCommands = 4096;
    State state() const;
    // The time of one pass at the present column count and direction, in program ms.
    std::uint32_t pass_time_ms() const;

    ClassAnswer class_request(const SetupPacket& setup, std::span<std::uint8_t> data) override;
    void bulk_out(std::uint8_t endpoint, std::span<const std::uint8_t> data) override;

    // Times of the printer's slower actions, in program ms.
    static constexpr std::uint32_t kSkipFeedMs = 300;
    static constexpr std::uint32_t kEndActionMs = 3000;
    static constexpr std::uint32_t kJobFinishMs = 2000;
    // The printer's own maintenance runs, during which it answers every readiness question
    // with busy and then with the answer it held back.
    static constexpr std::uint32_t kHeadCleaningMs = 150'000;
    static constexpr std::uint32_t kInkChargingInstallMs = 570'000;
    static constexpr std::uint32_t kInkChargingMaintenanceMs = 390'000;

  private:
    void command_locked(std::span<const std::uint8_t> frame);
    // The printer stops: what it printed is over, unreported.
    void stop_locked();
    void advance_locked(std::uint32_t now);
    void finish_pass_locked();
    std::uint32_t pass_time_locked() const;

    mutable std::mutex mutex_;
    std::unique_ptr<Recorder> recorder_;
    Cable* printer_ = nullptr;
    State state_;
    std::uint8_t status_ = 0x05;
    // A status reported once before the standing one (a pass that ended after another command).
    std::optional<std::uint8_t> interrupt_;
    bool command_since_pass_ = false;
    // The acceptance of the last pass command has not been read yet.
    bool pass_answer_unread_ = false;
    std::uint32_t pass_due_ = 0;
    bool pass_never_done_ = false;
    std::optional<std::uint32_t> feed_due_;
    std::optional<std::pair<std::uint32_t, std::uint8_t>> end_action_due_;
    std::optional<std::uint32_t> job_finish_due_;
    std::optional<std::uint32_t> maintenance_due_;
    std::uint8_t answer_after_maintenance_ = 0x05;
    bool silent_ = false;
    std::uint32_t bidir_delay_ms_ = 0;
    std::map<std::uint8_t, int> command_counts_;
    std::map<std::pair<std::uint8_t, int>, std::uint8_t> scripted_answers_;
    std::set<int> passes_never_done_;
    std::map<int, std::uint32_t> lost_pieces_;
    int pieces_ = 0;
};

}  // namespace usb::sim
