#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "engine/monitoring_thread.h"
#include "message_box_recorder.h"
#include "prn_builder.h"
#include "temp_dir.h"
#include "test_main_window.h"
#include "usb/driver/sim/bus.h"
#include "usb/driver/sim/firmware.h"

namespace test_support {

using Frame = std::vector<std::uint8_t>;

// The simulated printer's firmware as the job printer's tests see it: it also counts the
// requests (commands, status reads and band pieces) that reach it while nobody owns the
// printer, or while a test's stand-in for maintenance owns it, and lets a test act while the
// printer takes a command, as the operator might at that moment.
class TestFirmware : public usb::sim::Firmware {
  public:
    using usb::sim::Firmware::Firmware;

    usb::sim::ClassAnswer class_request(const usb::sim::SetupPacket& setup,
                                        std::span<std::uint8_t> data) override;
    void bulk_out(std::uint8_t endpoint, std::span<const std::uint8_t> data) override;

    // Requests that came while g_printer_idle was 1.
    int unowned_requests() const { return unowned_; }
    // While set, the printer is owned by a stand-in for maintenance that sends nothing itself:
    // every request that comes meanwhile is another owner's.
    void set_maintenance_owns(bool owns) { maintenance_owns_ = owns; }
    int requests_while_maintenance_owns() const { return maintenance_requests_; }
    // Command frames received, all of them, and the tick count at which the last one came.
    int commands_received() const { return commands_; }
    std::uint32_t last_command_tick() const { return last_command_tick_; }

    // The next command with `code` is held until `act` has run on the user-interface thread,
    // as the operator's click at that moment would be served there.
    void act_at(std::uint8_t code, std::function<void()> act);

  private:
    void count_request();

    std::atomic<int> unowned_{0};
    std::atomic<bool> maintenance_owns_{false};
    std::atomic<int> maintenance_requests_{0};
    std::atomic<int> commands_{0};
    std::atomic<std::uint32_t> last_command_tick_{0};
    std::mutex act_mutex_;
    std::uint8_t act_code_ = 0;
    std::function<void()> act_;
};

// One job printer on its own simulated printer (firmware with a capture) and a main window
// with both lists, a settings root with "all_setting.ini", on a fast clock.
class PrintJobTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // "all_setting.ini" with every entry as installed, then the given positions changed.
    void write_settings(const std::map<int, std::string>& changes = {});
    // Writes a print file into the job folder and queues it in both lists.
    std::string queue_job(const PrnBuilder& prn, const std::string& name = "job.prn",
                          const std::string& copies = "1", const std::string& emboss = "N/A",
                          const std::string& direction = "BiDirection");
    // Runs the job printer on the first printing-list row, as the print loop does.
    void print_first_row();
    // Prints the job at `path` while the printer hangs in its second pass, and returns the
    // progress cell once three bands are in; the job then ends by a lost connection.
    std::string progress_while_second_pass_hangs(const std::string& path);

    std::vector<std::uint8_t> codes() const;
    // The frames sent with code.
    std::vector<Frame> frames(std::uint8_t code) const;
    std::string printing_cell(int column) { return window_.printing().item_text(0, column); }
    std::string job_cell(int column) { return window_.jobs().item_text(0, column); }
    std::filesystem::path printed_folder(int n) const;

    TempDir dir_;
    MessageBoxRecorder boxes_;
    TestMainWindow window_;
    usb::sim::Bus bus_;
    std::shared_ptr<TestFirmware> firmware_;
    std::shared_ptr<usb::sim::Printer> printer_;
    std::unique_ptr<Monitoring_thread> worker_;

  private:
    double previous_scale_ = 1;
};

// A small colour job that prints: 40 pixels wide, solid blocks in every plane.
PrnBuilder small_job(std::uint32_t lines = 300, std::uint32_t y_dpi = 720,
                     std::uint8_t ink_mode = 1);

}  // namespace test_support
