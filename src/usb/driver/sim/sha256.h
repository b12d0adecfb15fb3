#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

// SHA-256 of a byte stream fed in pieces, for the recorder's band digests.
namespace usb::sim {

class Sha256 {
  public:
    Sha256();
    void update(std::span<const std::uint8_t> data);
    // The digest as 64 lowercase hex digits; the object starts over afterwards.
    std::string hex_digest();

  private:
    void compress(const std::uint8_t* block);
    void reset();

    std::array<std::uint32_t, 8> state_{};
    std::array<std::uint8_t, 64> block_{};
    std::size_t used_ = 0;
    std::uint64_t total_ = 0;
};

}  // namespace usb::sim
