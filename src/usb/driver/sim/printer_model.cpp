#include "usb/driver/sim/printer_model.h"

namespace usb::sim {

void RecordingModel::set_status(std::uint8_t status) {
    std::lock_guard lock(mutex_);
    status_ = status;
}

void RecordingModel::queue_status(std::uint8_t status) {
    std::lock_guard lock(mutex_);
    queued_.push_back(status);
}

std::vector<std::vector<std::uint8_t>> RecordingModel::frames() const {
    std::lock_guard lock(mutex_);
    return {frames_.begin(), frames_.end()};
}

std::size_t RecordingModel::status_reads() const {
    std::lock_guard lock(mutex_);
    return status_reads_;
}

std::uint64_t RecordingModel::bulk_bytes() const {
    std::lock_guard lock(mutex_);
    return bulk_bytes_;
}

std::vector<std::uint8_t> RecordingModel::last_bulk() const {
    std::lock_guard lock(mutex_);
    return last_bulk_;
}

ClassAnswer RecordingModel::class_request(const SetupPacket& setup, std::span<std::uint8_t> data) {
    std::lock_guard lock(mutex_);
    if (!setup.device_to_host()) {
        frames_.emplace_back(data.begin(), data.end());
        if (frames_.size() > kMaxFrames) {
            frames_.pop_front();
        }
        return {ClassReply::Done, data.size()};
    }
    ++status_reads_;
    if (data.empty()) {
        return {ClassReply::Done, 0};
    }
    if (!queued_.empty()) {
        data[0] = queued_.front();
        queued_.pop_front();
    } else {
        data[0] = status_;
    }
    return {ClassReply::Done, 1};
}

void RecordingModel::bulk_out(std::uint8_t, std::span<const std::uint8_t> data) {
    std::lock_guard lock(mutex_);
    bulk_bytes_ += data.size();
    last_bulk_.assign(data.begin(), data.end());
}

}  // namespace usb::sim
