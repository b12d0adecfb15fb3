#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>

// Bounded reading of the descriptor tables a device returns. A table is firmware's word about
// itself and may be wrong: every length in it is checked against the bytes actually held, and
// a table that claims more than it holds is malformed, never read past its end.
namespace usb {

class MalformedDescriptor : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

inline constexpr std::uint8_t kDescriptorDevice = 1;
inline constexpr std::uint8_t kDescriptorConfiguration = 2;
inline constexpr std::uint8_t kDescriptorString = 3;
inline constexpr std::uint8_t kDescriptorInterface = 4;
inline constexpr std::uint8_t kDescriptorEndpoint = 5;
inline constexpr std::uint8_t kDescriptorBos = 15;
inline constexpr std::uint8_t kDescriptorDeviceCapability = 16;
inline constexpr std::uint8_t kDescriptorSuperSpeedCompanion = 0x30;

inline constexpr std::uint32_t kDeviceDescriptorSize = 18;
inline constexpr std::uint32_t kConfigurationHeadSize = 9;
inline constexpr std::uint32_t kInterfaceDescriptorSize = 9;
inline constexpr std::uint32_t kEndpointDescriptorSize = 7;
inline constexpr std::uint32_t kCompanionDescriptorSize = 6;
inline constexpr std::uint32_t kBosHeadSize = 5;

// Endpoint transfer types (bmAttributes bits 0-1).
inline constexpr std::uint8_t kTransferControl = 0;
inline constexpr std::uint8_t kTransferIsochronous = 1;
inline constexpr std::uint8_t kTransferBulk = 2;
inline constexpr std::uint8_t kTransferInterrupt = 3;

struct EndpointDescriptor {
    std::uint8_t length = 0;
    std::uint8_t type = 0;
    std::uint8_t address = 0;
    std::uint8_t attributes = 0;
    std::uint16_t max_packet_size = 0;
    std::uint8_t interval = 0;
};

struct CompanionDescriptor {
    std::uint8_t max_burst = 0;
    std::uint8_t attributes = 0;
    std::uint16_t bytes_per_interval = 0;
};

// Steps through a table one descriptor at a time.
class DescriptorWalker {
  public:
    explicit DescriptorWalker(std::span<const std::uint8_t> table) : table_(table) {}

    bool at_end() const { return position_ >= table_.size(); }
    // The next descriptor's bytes without moving on; throws when its length byte is below 2
    // (a table that would never end) or runs past the table.
    std::span<const std::uint8_t> peek() const;
    std::span<const std::uint8_t> next();

  private:
    std::span<const std::uint8_t> table_;
    std::size_t position_ = 0;
};

EndpointDescriptor parse_endpoint(std::span<const std::uint8_t> descriptor);
CompanionDescriptor parse_companion(std::span<const std::uint8_t> descriptor);

// The table's own total length (bytes 2-3) checked against what is held: a total below the
// head or above the bytes held is malformed. Returns the table cut to that total.
std::span<const std::uint8_t> checked_total(std::span<const std::uint8_t> table,
                                            std::uint32_t head_size, std::uint8_t type,
                                            const char* what);

}  // namespace usb
