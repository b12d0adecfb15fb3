#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "message_box_recorder.h"
#include "platform/clock.h"
#include "printer/commands.h"
#include "printer/printer_protocol.h"
#include "printer/prn_file.h"
#include "printer/protocol_state.h"
#include "temp_dir.h"
#include "usb/driver/sim/bus.h"

using Frame = std::vector<std::uint8_t>;

// The protocol on its own device against a simulated printer whose firmware answers from a
// script, on a fast clock, with every box recorded; the protocol globals start as a job does.
class ProtocolTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_scale_ = platform::time_scale();
        platform::set_time_scale(50);
        printer_ = bus_.add_printer(usb::sim::PrinterSpec::usb2(), model_);
        protocol_ = std::make_unique<PrinterProtocol>(side(), &bus_);
        ASSERT_TRUE(protocol_->device().IsOpen());
        g_status_byte = 0;
        g_stop_printing = 0;
        g_printer_idle = 1;
        ASSERT_TRUE(protocol_->printer_claim().take());  // a job holds the printer
        g_pass_done = 0;
        g_pass_sent = 1;
        g_pass_toggle = 0;
        g_first_pass_seen = 0;
        g_pass_timing_calibrated = 0;
        g_pass_timeout_ms = kInitialPassTimeoutMs;
        g_bidir_pass_delay_ms = 0;
        g_reconnect_cancelled = 0;
        g_nozzle_print_error = 0;
        g_direction = 0;
        g_column_count = 10;
        test_support::write_file(dir_ / "job.prn", "print file");
        ASSERT_TRUE(g_prn_file.open(dir_ / "job.prn"));
    }
    void TearDown() override {
        g_prn_file.close();
        platform::set_time_scale(previous_scale_);
    }

    virtual ProtocolSide side() const { return ProtocolSide::Print; }

    std::vector<Frame> frames() const { return model_->frames(); }
    // The command codes sent, in order.
    std::vector<std::uint8_t> codes() const {
        std::vector<std::uint8_t> result;
        for (const Frame& frame : model_->frames()) {
            result.push_back(frame.size() > 1 ? frame[1] : 0);
        }
        return result;
    }

    test_support::TempDir dir_;
    test_support::MessageBoxRecorder boxes_;
    usb::sim::Bus bus_;
    std::shared_ptr<usb::sim::RecordingModel> model_ = std::make_shared<usb::sim::RecordingModel>();
    std::shared_ptr<usb::sim::Printer> printer_;
    std::unique_ptr<PrinterProtocol> protocol_;

  private:
    double previous_scale_ = 1;
};
