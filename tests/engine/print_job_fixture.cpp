#include "print_job_fixture.h"

#include <atomic>
#include <thread>

#include "config/all_settings.h"
#include "config/program_globals.h"
#include "engine/printed_jobs_folder.h"
#include "engine/transfer_packing.h"
#include "platform/clock.h"
#include "platform/ui/ui_thread.h"
#include "printer/prn_file.h"
#include "printer/protocol_state.h"

namespace test_support {

void TestFirmware::count_request() {
    if (g_printer_idle == 1) {
        ++unowned_;
    } else if (maintenance_owns_) {
        ++maintenance_requests_;
    }
}

usb::sim::ClassAnswer TestFirmware::class_request(const usb::sim::SetupPacket& setup,
                                                  std::span<std::uint8_t> data) {
    count_request();
    if (!setup.device_to_host()) {
        last_command_tick_ = platform::tick_count();
        ++commands_;
    }
    std::function<void()> act;
    if (!setup.device_to_host() && data.size() > 1) {
        std::lock_guard lock(act_mutex_);
        if (act_ && data[1] == act_code_) {
            act = std::move(act_);
            act_ = nullptr;
        }
    }
    if (act) {
        platform::ui::ui_call(act);
    }
    return Firmware::class_request(setup, data);
}

void TestFirmware::bulk_out(std::uint8_t endpoint, std::span<const std::uint8_t> data) {
    count_request();
    Firmware::bulk_out(endpoint, data);
}

void TestFirmware::act_at(std::uint8_t code, std::function<void()> act) {
    std::lock_guard lock(act_mutex_);
    act_code_ = code;
    act_ = std::move(act);
}

void PrintJobTest::SetUp() {
    previous_scale_ = platform::time_scale();
    platform::set_time_scale(25);
    const std::filesystem::path root = dir_ / "settings";
    std::filesystem::create_directories(root / "RIPCM");
    std::filesystem::create_directories(dir_ / "Output");
    g_settings_root = root.string();
    g_settings_dir = g_settings_root + "/";
    g_printed_folder = g_settings_dir + "RIPCM";
    g_printer_idle = 1;
    g_stop_printing = 0;
    g_rotary_mode = 0;
    for (int slot = 0; slot < 8; ++slot) {
        g_ink_order[slot] = slot;
    }
    write_settings();
    firmware_ = std::make_shared<TestFirmware>(
        std::make_unique<usb::sim::Recorder>(dir_ / "capture", false));
    printer_ = bus_.add_printer(usb::sim::PrinterSpec::usb2(), firmware_);
    firmware_->attach(printer_.get());
    worker_ = std::make_unique<Monitoring_thread>(&bus_);
}

void PrintJobTest::TearDown() {
    worker_.reset();
    g_prn_file.close();
    g_printer_idle = 1;
    g_stop_printing = 0;
    platform::set_time_scale(previous_scale_);
}

void PrintJobTest::write_settings(const std::map<int, std::string>& changes) {
    std::map<int, std::string> values = {{1, "1"},  {2, "1"},   {3, "2"},  {4, "2"},  {5, "1"},
                                         {6, "0"},  {7, "1"},   {8, "2"},  {9, "3"},  {10, "4"},
                                         {11, "5"}, {12, "6"},  {13, "7"}, {14, "0"}, {15, "0"},
                                         {16, "0"}, {17, "60"}, {18, "2"}};
    for (const auto& [position, value] : changes) {
        values[position] = value;
    }
    std::string text = "[overall situation]\r\n";
    for (const auto& [position, value] : values) {
        text += std::string(AllSettings::entry(position).key) + "=" + value + "\r\n";
    }
    write_file(AllSettings::path(), text);
}

std::string PrintJobTest::queue_job(const PrnBuilder& prn, const std::string& name,
                                    const std::string& copies, const std::string& emboss,
                                    const std::string& direction) {
    const std::filesystem::path path = dir_ / "Output" / name;
    prn.write(path);
    window_.add_job(path.string(), copies, emboss, direction);
    return path.string();
}

void PrintJobTest::print_first_row() {
    const std::string path = window_.printing().item_text(0, PrintRow::job_path);
    ASSERT_TRUE(run_off_ui_thread([&] { worker_->PrintJob(path); }));
}

std::string PrintJobTest::progress_while_second_pass_hangs(const std::string& path) {
    const int passes_before = firmware_->state().passes_started;
    const std::uint64_t bulk_before = firmware_->state().bulk_bytes;
    firmware_->never_finish_pass(passes_before + 2);
    boxes_.queue_answer(platform::ui::Answer::Cancel);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        worker_->PrintJob(path);
        done = true;
    });
    // Band 3 is in once the printer has had two passes and three bands of this job.
    std::string progress;
    const bool reached = pump_events_until([&] {
        const usb::sim::Firmware::State state = firmware_->state();
        if (state.passes_started < passes_before + 2 || state.column_count == 0 ||
            state.bulk_bytes - bulk_before < 3ull * state.column_count * 360) {
            return false;
        }
        progress = printing_cell(PrintRow::progress);
        return true;
    });
    EXPECT_TRUE(reached);
    printer_->unplug();
    EXPECT_TRUE(pump_events_until([&] { return done.load(); }));
    worker.join();
    printer_->replug();
    return progress;
}

std::vector<std::uint8_t> PrintJobTest::codes() const {
    std::vector<std::uint8_t> result;
    for (const Frame& frame : firmware_->state().commands) {
        result.push_back(frame.size() > 1 ? frame[1] : 0);
    }
    return result;
}

std::vector<Frame> PrintJobTest::frames(std::uint8_t code) const {
    std::vector<Frame> result;
    for (const Frame& frame : firmware_->state().commands) {
        if (frame.size() > 1 && frame[1] == code) {
            result.push_back(frame);
        }
    }
    return result;
}

std::filesystem::path PrintJobTest::printed_folder(int n) const {
    return std::filesystem::path(g_printed_folder) /
           (engine::local_date_text() + "-" + std::to_string(n));
}

PrnBuilder small_job(std::uint32_t lines, std::uint32_t y_dpi, std::uint8_t ink_mode) {
    PrnBuilder prn(10, lines);
    prn.resolution(720, y_dpi).ink_mode(ink_mode);
    for (int plane = 0; plane < 6; ++plane) {
        prn.solid(static_cast<PrnPlane>(plane), 0, lines, 4 * plane, 8);
    }
    return prn;
}

}  // namespace test_support
