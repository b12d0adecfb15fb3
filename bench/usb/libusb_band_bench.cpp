// The real printer's driver's own cost per band: one band of the widest job streamed on the bulk
// OUT endpoint as the protocol does, over the libusb seam answered by a printer that takes the
// bytes as they come. The time spent inside the seam's transfer calls (submitting, and the
// printer's own work) is taken off, so what is left is the driver's: the begin and finish calls,
// the header, the hand-over to the event thread and back. It is compared with a memcpy of the
// same band, in the same run: "ratio libusb_band_overhead_over_memcpy", goal at most 1.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/engine_limits.h"
#include "printer/printer_protocol.h"
#include "ratio_reporter.h"
#include "usb/driver/libusb/libusb_driver.h"
#include "usb/driver/sim/sim_usb_library.h"

namespace {

// The widest job: 500 mm at 720 dpi, and the columns the printer adds.
constexpr std::uint32_t kColumns = 500 * 720 * 10 / 254 + kColumnOffsetSpan;
constexpr std::size_t kBandBytes = std::size_t{kColumns} * PrinterProtocol::kBandBytesPerColumn;

// A printer that takes every band and answers every request at once.
class TakingPrinter : public usb::sim::PrinterModel {
  public:
    usb::sim::ClassAnswer class_request(const usb::sim::SetupPacket& setup,
                                        std::span<std::uint8_t> data) override {
        if (setup.device_to_host() && !data.empty()) {
            data[0] = 0x05;
            return {usb::sim::ClassReply::Done, 1};
        }
        return {usb::sim::ClassReply::Done, data.size()};
    }
    void bulk_out(std::uint8_t, std::span<const std::uint8_t>) override {}
};

std::vector<std::uint8_t> band() {
    std::vector<std::uint8_t> bytes(kBandBytes);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 131 + 17);
    }
    return bytes;
}

void driver_overhead(benchmark::State& state) {
    usb::sim::SimUsbLibrary library;
    library.add_printer(usb::sim::PrinterSpec::usb2(), 1, {1}, std::make_shared<TakingPrinter>());
    usb::libusb::LibusbDriver driver(library, usb::libusb::PrinterIds{0x3A2C, 0x0800});
    {
        PrinterProtocol protocol(ProtocolSide::Print, &driver);
        std::vector<std::uint8_t> bytes = band();
        for (auto _ : state) {
            const std::uint64_t seam_before = library.transfer_nanoseconds();
            const auto start = std::chrono::steady_clock::now();
            const int sent = protocol.BulkOutSend(bytes.data(), kBandBytes);
            const auto total =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
            const double seam =
                static_cast<double>(library.transfer_nanoseconds() - seam_before) / 1e9;
            if (sent != 1) {
                state.SkipWithError("the band was not sent");
                break;
            }
            state.SetIterationTime(total.count() - seam);
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kBandBytes));
    state.counters["submissions_per_band"] =
        static_cast<double>(library.submissions()) / static_cast<double>(state.iterations());
}

void band_memcpy(benchmark::State& state) {
    const std::vector<std::uint8_t> from = band();
    std::vector<std::uint8_t> to(kBandBytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), kBandBytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kBandBytes));
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    constexpr int kRepetitions = 5;
    benchmark::RegisterBenchmark("libusb_band/driver_overhead", driver_overhead)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond)
        ->Repetitions(kRepetitions);
    benchmark::RegisterBenchmark("libusb_band/memcpy", band_memcpy)
        ->Unit(benchmark::kMicrosecond)
        ->Repetitions(kRepetitions);
    bench_support::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("band of the widest job: %u columns, %zu bytes\n", kColumns, kBandBytes);
    reporter.print_ratio("libusb_band_overhead_over_memcpy", "libusb_band/driver_overhead",
                         "libusb_band/memcpy");
    benchmark::Shutdown();
}
