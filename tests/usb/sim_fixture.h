#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "message_box_recorder.h"
#include "platform/clock.h"
#include "usb/device.h"
#include "usb/driver/sim/bus.h"

// A simulated bus of the test's own on a fast clock, with every message box recorded.
class SimUsbTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_scale_ = platform::time_scale();
        platform::set_time_scale(50);
    }
    void TearDown() override { platform::set_time_scale(previous_scale_); }

    // Adds a printer and opens a device on it.
    std::unique_ptr<CUsbDevice> open_printer(
        const usb::sim::PrinterSpec& spec = usb::sim::PrinterSpec::usb2()) {
        printer_ = bus_.add_printer(spec);
        auto device = std::make_unique<CUsbDevice>(g_driver_interface_guid, true, &bus_);
        EXPECT_TRUE(device->IsOpen());
        return device;
    }

    // Sets the control endpoint up for one of the printer's class requests.
    static CUsbControlEndPoint& class_request(CUsbDevice& device, std::uint8_t direction,
                                              std::uint8_t code) {
        CUsbControlEndPoint& ep = *device.ControlEndPt;
        ep.Target = 1;
        ep.ReqType = 1;
        ep.Direction = direction;
        ep.ReqCode = code;
        ep.Value = 0;
        ep.Index = 0;
        return ep;
    }

    usb::sim::RecordingModel& model() {
        return static_cast<usb::sim::RecordingModel&>(*printer_->model());
    }

    test_support::MessageBoxRecorder boxes_;
    usb::sim::Bus bus_;
    std::shared_ptr<usb::sim::Printer> printer_;

  private:
    double previous_scale_ = 1;
};
