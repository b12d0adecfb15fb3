#include "usb/transfer_header.h"

namespace usb {

std::uint16_t read_u16(const std::uint8_t* in) {
    return static_cast<std::uint16_t>(in[0] | (in[1] << 8));
}

std::uint32_t read_u32(const std::uint8_t* in) {
    return static_cast<std::uint32_t>(in[0]) | (static_cast<std::uint32_t>(in[1]) << 8) |
           (static_cast<std::uint32_t>(in[2]) << 16) | (static_cast<std::uint32_t>(in[3]) << 24);
}

void write_u16(std::uint8_t* out, std::uint16_t value) {
    out[0] = static_cast<std::uint8_t>(value);
    out[1] = static_cast<std::uint8_t>(value >> 8);
}

void write_u32(std::uint8_t* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

void TransferHeader::write(std::uint8_t* out) const {
    out[0] = request_type;
    out[1] = request;
    write_u16(out + 2, value);
    write_u16(out + 4, index);
    write_u16(out + 6, length);
    write_u32(out + 8, timeout_s);
    out[12] = 0;
    out[13] = endpoint;
    write_u32(out + kHeaderNtStatusOffset, nt_status);
    write_u32(out + kHeaderUsbdStatusOffset, usbd_status);
    write_u32(out + 22, iso_offset);
    write_u32(out + 26, iso_length);
    write_u32(out + 30, data_offset);
    write_u32(out + 34, data_length);
}

TransferHeader TransferHeader::read(const std::uint8_t* in) {
    TransferHeader header;
    header.request_type = in[0];
    header.request = in[1];
    header.value = read_u16(in + 2);
    header.index = read_u16(in + 4);
    header.length = read_u16(in + 6);
    header.timeout_s = read_u32(in + 8);
    header.endpoint = in[13];
    header.nt_status = read_u32(in + kHeaderNtStatusOffset);
    header.usbd_status = read_u32(in + kHeaderUsbdStatusOffset);
    header.iso_offset = read_u32(in + 22);
    header.iso_length = read_u32(in + 26);
    header.data_offset = read_u32(in + 30);
    header.data_length = read_u32(in + 34);
    return header;
}

std::uint32_t header_timeout_seconds(std::uint32_t timeout_ms) {
    if (timeout_ms > 0 && timeout_ms < 1000) {
        return 1;
    }
    return timeout_ms / 1000;
}

}  // namespace usb
