#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "message_box_recorder.h"
#include "platform/clock.h"
#include "usb/device.h"
#include "usb/driver/libusb/libusb_driver.h"
#include "usb/driver/sim/sim_usb_library.h"

// Band bytes that differ from place to place, and from seed to seed.
inline std::vector<std::uint8_t> pattern(std::size_t size, std::uint8_t seed = 7) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 31 + seed);
    }
    return bytes;
}

// The real printer's driver over a simulated libusb of the test's own, on a fast clock, with
// every message box recorded. At the end no transfer may be left under way, and the library
// must have seen no breach of its rules (a transfer freed or changed while it had it, a device
// closed under a transfer).
class LibusbTest : public ::testing::Test {
  protected:
    static constexpr usb::libusb::PrinterIds kIds{0x3A2C, 0x0800};

    void SetUp() override {
        previous_scale_ = platform::time_scale();
        platform::set_time_scale(50);
    }
    void TearDown() override {
        driver_.reset();
        EXPECT_EQ(library_.transfers_in_flight(), 0u);
        EXPECT_EQ(library_.breaches(), 0u);
        platform::set_time_scale(previous_scale_);
    }

    usb::libusb::LibusbDriver& driver() {
        if (!driver_) {
            driver_.emplace(library_, kIds);
        }
        return *driver_;
    }

    std::shared_ptr<usb::sim::SimUsbLibrary::Device> add_printer(
        const usb::sim::PrinterSpec& spec = usb::sim::PrinterSpec::usb2(), std::uint8_t bus = 1,
        std::vector<std::uint8_t> ports = {1},
        std::shared_ptr<usb::sim::PrinterModel> model = nullptr) {
        return library_.add_printer(spec, bus, std::move(ports), std::move(model));
    }

    std::unique_ptr<CUsbDevice> open_device() {
        return std::make_unique<CUsbDevice>(g_driver_interface_guid, true, &driver());
    }

    // Whether done() holds within a few seconds of real time: for what the event thread does
    // on its own.
    static bool eventually(const std::function<bool()>& done) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done()) {
            if (std::chrono::steady_clock::now() > until) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    test_support::MessageBoxRecorder boxes_;
    usb::sim::SimUsbLibrary library_;
    std::optional<usb::libusb::LibusbDriver> driver_;

  private:
    double previous_scale_ = 1;
};
