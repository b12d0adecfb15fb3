#include "usb/descriptors.h"

#include <string>

#include "usb/transfer_header.h"

namespace usb {

std::span<const std::uint8_t> DescriptorWalker::peek() const {
    if (at_end()) {
        throw MalformedDescriptor("descriptor expected past the end of the table");
    }
    const std::size_t length = table_[position_];
    if (length < 2) {
        throw MalformedDescriptor("descriptor of length " + std::to_string(length));
    }
    if (length > table_.size() - position_) {
        throw MalformedDescriptor("descriptor runs past the end of the table");
    }
    return table_.subspan(position_, length);
}

std::span<const std::uint8_t> DescriptorWalker::next() {
    const auto descriptor = peek();
    position_ += descriptor.size();
    return descriptor;
}

EndpointDescriptor parse_endpoint(std::span<const std::uint8_t> d) {
    if (d.size() < kEndpointDescriptorSize) {
        throw MalformedDescriptor("endpoint descriptor too short");
    }
    EndpointDescriptor endpoint;
    endpoint.length = d[0];
    endpoint.type = d[1];
    endpoint.address = d[2];
    endpoint.attributes = d[3];
    endpoint.max_packet_size = read_u16(&d[4]);
    endpoint.interval = d[6];
    return endpoint;
}

CompanionDescriptor parse_companion(std::span<const std::uint8_t> d) {
    if (d.size() < kCompanionDescriptorSize) {
        throw MalformedDescriptor("SuperSpeed companion descriptor too short");
    }
    CompanionDescriptor companion;
    companion.max_burst = d[2];
    companion.attributes = d[3];
    companion.bytes_per_interval = read_u16(&d[4]);
    return companion;
}

std::span<const std::uint8_t> checked_total(std::span<const std::uint8_t> table,
                                            std::uint32_t head_size, std::uint8_t type,
                                            const char* what) {
    if (table.size() < head_size || table[0] < head_size || table[1] != type) {
        throw MalformedDescriptor(std::string(what) + " head malformed");
    }
    const std::uint32_t total = read_u16(&table[2]);
    if (total < table[0] || total > table.size()) {
        throw MalformedDescriptor(std::string(what) + " claims more bytes than it holds");
    }
    return table.first(total);
}

}  // namespace usb
