#include "usb/driver/sim/recorder.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace usb::sim {
namespace {

std::string hex(std::span<const std::uint8_t> bytes) {
    static const char* const kHex = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t b : bytes) {
        text.push_back(kHex[b >> 4]);
        text.push_back(kHex[b & 0xF]);
    }
    return text;
}

std::string band_file_name(unsigned number) {
    char name[32];
    std::snprintf(name, sizeof name, "band-%06u.bin", number);
    return name;
}

}  // namespace

std::unique_ptr<Recorder> Recorder::from_environment() {
    const char* folder = std::getenv("VELQUORIN_SIM_CAPTURE");
    if (folder == nullptr || *folder == '\0') {
        return nullptr;
    }
    const char* bands = std::getenv("VELQUORIN_SIM_CAPTURE_BANDS");
    auto recorder =
        std::make_unique<Recorder>(folder, bands != nullptr && std::string(bands) == "1");
    if (!recorder->ok()) {
        std::fprintf(stderr, "VELQUORIN_SIM_CAPTURE: cannot write to %s\n", folder);
    }
    return recorder;
}

Recorder::Recorder(const std::filesystem::path& folder, bool keep_bands)
    : folder_(folder), keep_bands_(keep_bands), sheet_(folder) {
    std::error_code error;
    std::filesystem::create_directories(folder_, error);
    events_ = create(folder_ / "events.jsonl");
}

Recorder::File Recorder::create(const std::filesystem::path& path) {
    // "e": the descriptor is opened close-on-exec.
    return File(std::fopen(path.c_str(), "wbe"));
}

Recorder::~Recorder() {
    std::lock_guard lock(mutex_);
    end_band_locked();
}

void Recorder::line_locked(const std::string& json) {
    // Written through at once, so that a reader sees each event as it happens.
    if (events_ == nullptr) {
        return;
    }
    std::fputs(json.c_str(), events_.get());
    std::fputc('\n', events_.get());
    std::fflush(events_.get());
}

void Recorder::end_band_locked() {
    if (!band_open_) {
        return;
    }
    std::string json = "{\"kind\":\"band\",\"bytes\":" + std::to_string(band_bytes_) +
                       ",\"sha256\":\"" + digest_.hex_digest() + "\"";
    if (keep_bands_) {
        band_file_.reset();
        json += ",\"file\":\"" + band_file_name(band_number_) + "\"";
    }
    line_locked(json + "}");
    ++band_number_;
    band_open_ = false;
    band_bytes_ = 0;
}

void Recorder::command(std::span<const std::uint8_t> frame) {
    std::lock_guard lock(mutex_);
    end_band_locked();
    line_locked("{\"kind\":\"command\",\"frame\":\"" + hex(frame) + "\"}");
    sheet_.command(frame);
}

void Recorder::status(std::uint8_t byte) {
    std::lock_guard lock(mutex_);
    line_locked("{\"kind\":\"status\",\"byte\":\"" + hex({&byte, 1}) + "\"}");
}

void Recorder::bulk(std::span<const std::uint8_t> data) {
    std::lock_guard lock(mutex_);
    if (!band_open_) {
        band_open_ = true;
        if (keep_bands_) {
            band_file_ = create(folder_ / band_file_name(band_number_));
        }
    }
    band_bytes_ += data.size();
    digest_.update(data);
    sheet_.bulk(data);
    if (band_file_ != nullptr) {
        std::fwrite(data.data(), 1, data.size(), band_file_.get());
    }
}

}  // namespace usb::sim
