#pragma once

#include <cstdint>

// The 38-byte header that starts the buffer of every transfer call to the driver: packed,
// little-endian, the data follows it in buffered and control transfers.
namespace usb {

inline constexpr std::uint32_t kTransferHeaderSize = 38;
// One isochronous packet record behind the header: its length and status.
inline constexpr std::uint32_t kIsoPacketRecordSize = 8;

struct IsoPacketInfo {
    std::uint32_t length = 0;
    std::uint32_t status = 0;
};

struct TransferHeader {
    std::uint8_t request_type = 0;  // control only
    std::uint8_t request = 0;       // control only
    std::uint16_t value = 0;        // control only
    std::uint16_t index = 0;        // control only
    std::uint16_t length = 0;       // control only: the data length
    std::uint32_t timeout_s = 0;    // control only: whole seconds
    std::uint8_t endpoint = 0;      // the endpoint address, 0 for endpoint 0
    std::uint32_t nt_status = 0;    // written by the driver
    std::uint32_t usbd_status = 0;  // written by the driver
    std::uint32_t iso_offset = 0;
    std::uint32_t iso_length = 0;
    std::uint32_t data_offset = 0;
    std::uint32_t data_length = 0;

    // Writes the 38 bytes at out (byte 12 is reserved and written 0).
    void write(std::uint8_t* out) const;
    static TransferHeader read(const std::uint8_t* in);
};

// The header's time-out field: whole seconds of the endpoint's time-out, but 1 for a time-out
// of 1 to 999 ms, so that a short time-out never reads as none.
std::uint32_t header_timeout_seconds(std::uint32_t timeout_ms);

// Offsets of the fields the driver writes back.
inline constexpr std::uint32_t kHeaderNtStatusOffset = 14;
inline constexpr std::uint32_t kHeaderUsbdStatusOffset = 18;

std::uint16_t read_u16(const std::uint8_t* in);
std::uint32_t read_u32(const std::uint8_t* in);
void write_u16(std::uint8_t* out, std::uint16_t value);
void write_u32(std::uint8_t* out, std::uint32_t value);

}  // namespace usb
