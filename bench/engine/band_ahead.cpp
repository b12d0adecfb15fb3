// Whether each band reaches the printer before the printer is ready for it: the largest job
// the size limits accept (500 mm wide, 700 mm long, 720 x 720 dpi, ink on every line) printed
// by the job printer on the simulated printer, at USB 2 and at USB 3 speed. The simulated
// printer stamps, on the program clock, the end of each band's data and the end of each pass
// (the pass command's time plus the pass's time); a band is ahead when its last byte came no
// later than the end of the pass before it. Run with a time scale (argument 1, default 20) and
// a length (argument 2, default 700 mm): the data path runs on the real clock, so a larger
// scale only makes the figure harder (at 20 the data path has a twentieth of its real time).
//
//   build/bench/bench/engine/bench_band_ahead [scale] [length_mm]

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <unistd.h>

#include "config/program_globals.h"
#include "engine/monitoring_thread.h"
#include "engine/prn_header.h"
#include "platform/clock.h"
#include "printer/protocol_state.h"
#include "usb/driver/sim/bus.h"
#include "usb/driver/sim/firmware.h"

namespace {

class TimingFirmware : public usb::sim::Firmware {
  public:
    void bulk_out(std::uint8_t endpoint, std::span<const std::uint8_t> data) override {
        Firmware::bulk_out(endpoint, data);
        std::lock_guard lock(mutex_);
        last_bulk_ = platform::tick_count();
        band_open_ = true;
    }
    usb::sim::ClassAnswer class_request(const usb::sim::SetupPacket& setup,
                                        std::span<std::uint8_t> data) override {
        const usb::sim::ClassAnswer answer = Firmware::class_request(setup, data);
        if (!setup.device_to_host() && data.size() >= 2 &&
            (data[1] == 0x38 || data[1] == 0x02 || data[1] == 0x03)) {
            std::lock_guard lock(mutex_);
            if (band_open_) {
                const std::uint32_t now = platform::tick_count();
                passes_.push_back({last_bulk_, now + pass_time_ms()});
                band_open_ = false;
            }
        }
        return answer;
    }

    struct Pass {
        std::uint32_t band_end;
        std::uint32_t pass_end;
    };
    std::vector<Pass> passes() const {
        std::lock_guard lock(mutex_);
        return passes_;
    }

  private:
    mutable std::mutex mutex_;
    std::uint32_t last_bulk_ = 0;
    bool band_open_ = false;
    std::vector<Pass> passes_;
};

// Writes the job: every line carries dots in every plane (no blank band to skip).
void write_job(const std::filesystem::path& path, std::uint32_t row_bytes, std::uint32_t lines) {
    PrnHeader header;
    header.width_dots = row_bytes * 4;
    header.line_count = lines;
    header.bits_per_pixel = 2;
    header.row_bytes = row_bytes;
    header.direction = 1;
    header.ink_mode = 1;
    std::vector<std::uint8_t> bytes(kPrnHeaderSize, 0);
    encode_prn_header(header, bytes.data());
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::vector<std::uint8_t> line(kPrnPlaneCount * std::size_t{row_bytes});
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    for (std::uint8_t& b : line) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        b = static_cast<std::uint8_t>(state);
    }
    for (std::uint32_t l = 0; l < lines; ++l) {
        std::fwrite(line.data(), 1, line.size(), file);
    }
    std::fclose(file);
}

double share_ahead(const usb::sim::PrinterSpec& spec, const std::string& path, int* counted) {
    usb::sim::Bus bus;
    auto firmware = std::make_shared<TimingFirmware>();
    auto printer = bus.add_printer(spec, firmware);
    firmware->attach(printer.get());
    Monitoring_thread worker(&bus);
    g_printer_idle = 1;
    worker.PrintJob(path);
    const std::vector<TimingFirmware::Pass> passes = firmware->passes();
    int ahead = 0;
    for (std::size_t k = 1; k < passes.size(); ++k) {
        ahead += static_cast<std::int32_t>(passes[k].band_end - passes[k - 1].pass_end) <= 0;
    }
    *counted = static_cast<int>(passes.size()) - 1;
    return *counted > 0 ? 100.0 * ahead / *counted : 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Positional numbers only: scripts/bench.sh hands every program the benchmark options.
    std::vector<double> numbers;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-' && std::atof(argv[i]) > 0) {
            numbers.push_back(std::atof(argv[i]));
        }
    }
    const double scale = numbers.size() > 0 ? numbers[0] : 20;
    const double length_mm = numbers.size() > 1 ? std::min(numbers[1], 700.0) : 700;
    platform::set_time_scale(scale);
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("band_ahead_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    g_settings_root = (dir / "settings").string();
    g_settings_dir = g_settings_root + "/";
    g_printed_folder = g_settings_dir + "RIPCM";
    std::filesystem::create_directories(g_printed_folder);
    // 500 mm at 720 dpi: 14172 pixels, 3543 bytes of 2-bit pixels a plane row.
    const std::uint32_t row_bytes = 3543;
    const auto lines = static_cast<std::uint32_t>(length_mm / 25.4 * 720);
    std::printf("job: %u x %u pixels (%.0f x %.0f mm), 4 passes bidirectional, scale %.0f\n",
                row_bytes * 4, lines, row_bytes * 4 * 25.4 / 720, length_mm, scale);
    for (const auto& [name, spec] : {std::pair{"USB 2", usb::sim::PrinterSpec::usb2()},
                                     std::pair{"USB 3", usb::sim::PrinterSpec::usb3()}}) {
        const std::string path = (dir / "job.prn").string();
        write_job(path, row_bytes, lines);  // no job row: the file stays where it is
        int counted = 0;
        const double share = share_ahead(spec, path, &counted);
        std::printf("%s: %.1f%% of %d passes had their band before the printer was ready\n", name,
                    share, counted);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
