#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
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
    std::shared_ptr<usb::sim::Firmware> firmware_;
    std::shared_ptr<usb::sim::Printer> printer_;
    std::unique_ptr<Monitoring_thread> worker_;

  private:
    double previous_scale_ = 1;
};

// A small colour job that prints: 40 pixels wide, solid blocks in every plane.
PrnBuilder small_job(std::uint32_t lines = 300, std::uint32_t y_dpi = 720,
                     std::uint8_t ink_mode = 1);

}  // namespace test_support
