#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <vector>

// What the simulated printer's firmware does with the requests that are not USB's own: class
// requests on endpoint 0 (the printer's commands and status) and the data of its bulk OUT
// endpoint. The USB side calls a model when a transfer completes, on its own thread.
namespace usb::sim {

struct SetupPacket {
    std::uint8_t request_type = 0;
    std::uint8_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    std::uint16_t length = 0;

    bool device_to_host() const { return (request_type & 0x80) != 0; }
};

enum class ClassReply {
    Done,      // answered: `length` bytes of the data were taken or given
    Stall,     // the request is refused
    NoAnswer,  // the firmware stays silent: the transfer ends only by its time-out or an abort
};

struct ClassAnswer {
    ClassReply reply = ClassReply::Done;
    std::size_t length = 0;
};

class PrinterModel {
  public:
    virtual ~PrinterModel() = default;
    // Host to device: data holds what the host sent. Device to host: the model writes its
    // answer into data (setup.length bytes at most) and says how much it wrote.
    virtual ClassAnswer class_request(const SetupPacket& setup, std::span<std::uint8_t> data) = 0;
    // The bytes of one completed bulk OUT transfer.
    virtual void bulk_out(std::uint8_t endpoint, std::span<const std::uint8_t> data) = 0;
};

// A firmware that records what it is sent and answers every read with one status byte: the
// queued ones in order, then the standing one.
class RecordingModel : public PrinterModel {
  public:
    explicit RecordingModel(std::uint8_t status = 0) : status_(status) {}

    void set_status(std::uint8_t status);
    void queue_status(std::uint8_t status);

    // The host-to-device class requests' data (the command frames), oldest first; the last
    // kMaxFrames are kept.
    std::vector<std::vector<std::uint8_t>> frames() const;
    std::size_t status_reads() const;
    std::uint64_t bulk_bytes() const;
    // The bytes of the last bulk OUT transfer.
    std::vector<std::uint8_t> last_bulk() const;

    ClassAnswer class_request(const SetupPacket& setup, std::span<std::uint8_t> data) override;
    void bulk_out(std::uint8_t endpoint, std::span<const std::uint8_t> data) override;

    static constexpr std::size_t kMaxFrames = 4096;

  private:
    mutable std::mutex mutex_;
    std::uint8_t status_;
    std::deque<std::uint8_t> queued_;
    std::deque<std::vector<std::uint8_t>> frames_;
    std::size_t status_reads_ = 0;
    std::uint64_t bulk_bytes_ = 0;
    std::vector<std::uint8_t> last_bulk_;
};

}  // namespace usb::sim
