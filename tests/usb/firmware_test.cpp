#include "usb/driver/sim/firmware.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "sim_fixture.h"
#include "temp_dir.h"
#include "usb/driver/sim/sha256.h"

namespace {

using Frame = std::vector<std::uint8_t>;

TEST(Sha256, KnownDigests) {
    usb::sim::Sha256 sha;
    EXPECT_EQ(sha.hex_digest(), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    const std::uint8_t abc[] = {'a', 'b', 'c'};
    sha.update(abc);
    EXPECT_EQ(sha.hex_digest(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // A million 'a' in pieces that do not fall on block borders.
    const std::vector<std::uint8_t> piece(999, 'a');
    for (int i = 0; i < 1002; ++i) {
        sha.update({piece.data(), i == 1001 ? 1u : piece.size()});
    }
    EXPECT_EQ(sha.hex_digest(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// The firmware driven over the control and bulk endpoints, as the workstation drives it.
class FirmwareTest : public SimUsbTest {
  protected:
    void start(std::unique_ptr<usb::sim::Recorder> recorder = nullptr) {
        firmware_ = std::make_shared<usb::sim::Firmware>(std::move(recorder));
        printer_ = bus_.add_printer(usb::sim::PrinterSpec::usb2(), firmware_);
        firmware_->attach(printer_.get());
        device_ = std::make_unique<CUsbDevice>(g_driver_interface_guid, true, &bus_);
        ASSERT_TRUE(device_->IsOpen());
    }

    bool send(Frame frame) {
        CUsbControlEndPoint& ep = request(0, 0x01);
        std::int32_t length = static_cast<std::int32_t>(frame.size());
        return ep.XferData(frame.data(), length);
    }

    std::uint8_t read() {
        std::uint8_t status = 0xEE;
        std::int32_t length = 1;
        request(1, 0x81).Read(&status, length);
        return status;
    }

    bool bulk(std::vector<std::uint8_t>& data) {
        std::int32_t length = static_cast<std::int32_t>(data.size());
        return device_->BulkOutEndPt != nullptr &&
               device_->BulkOutEndPt->XferData(data.data(), length);
    }

    CUsbControlEndPoint& request(std::uint8_t direction, std::uint8_t code) {
        return class_request(*device_, direction, code);
    }

    // The ticks around a command's send: the firmware took it in between.
    struct Sent {
        std::uint32_t from = 0;
        std::uint32_t to = 0;
    };
    Sent timed_send(Frame frame) {
        Sent sent;
        sent.from = platform::tick_count();
        EXPECT_TRUE(send(std::move(frame)));
        sent.to = platform::tick_count();
        return sent;
    }

    // Polls the status until it is done and holds the firmware to its time, judged by the
    // ticks around each read rather than by how quickly this thread gets to run: a read that
    // ended before ms had passed since the send sees busy, one that began ms after the send
    // had returned sees done.
    void expect_done_after(const Sent& sent, std::uint32_t ms, std::uint8_t busy,
                           std::uint8_t done) {
        for (;;) {
            const std::uint32_t before = platform::tick_count();
            const std::uint8_t status = read();
            const std::uint32_t after = platform::tick_count();
            if (after - sent.from < ms) {
                ASSERT_EQ(status, busy) << "read " << after - sent.from << " ms after the send";
            }
            if (before - sent.to >= ms) {
                ASSERT_EQ(status, done) << "read " << before - sent.to << " ms after the send";
            }
            if (status == done) {
                return;
            }
            ASSERT_EQ(status, busy);
            platform::sleep_ms(ms / 8 + 1);
        }
    }

    std::shared_ptr<usb::sim::Firmware> firmware_;
    std::unique_ptr<CUsbDevice> device_;
};

TEST_F(FirmwareTest, AnswersEachWaitWithItsStatus) {
    start();
    const struct {
        Frame frame;
        std::uint8_t status;
    } cases[] = {
        {{0xFF, 0xA6}, 0xA6}, {{0xFF, 0x35}, '5'},     {{0xFF, 0x05}, 0x05},    {{0xFF, 0x70}, 'p'},
        {{0xFF, 0x87}, 'a'},  {{0xFF, 0x60, 3}, 0x05}, {{0xFF, 0x39, 4}, 0x05},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(send(c.frame));
        EXPECT_EQ(read(), c.status) << int{c.frame[1]};
    }
}

TEST_F(FirmwareTest, SlowActionsReportWhenTheyAreDone) {
    start();
    const Sent feed = timed_send({0xFF, 0x73});
    ASSERT_TRUE(send({0xFF, 0x74}));
    expect_done_after(feed, usb::sim::Firmware::kSkipFeedMs, 0x00, 't');

    expect_done_after(timed_send({0xFF, 0xA9}), usb::sim::Firmware::kEndActionMs, 0x00, 0xA9);

    ASSERT_TRUE(send({0xFF, 0xAA}));
    platform::sleep_ms(usb::sim::Firmware::kJobFinishMs);
    EXPECT_EQ(read(), 0xF1);
    EXPECT_FALSE(firmware_->state().job_running);
}

// Head cleaning and both ink chargings keep the printer busy for their time: a readiness
// question asked meanwhile is answered busy, and when the time is over with its own answer.
TEST_F(FirmwareTest, MaintenanceKeepsThePrinterBusyForItsTime) {
    platform::set_time_scale(500);
    start();
    const struct {
        std::uint8_t code;
        std::uint32_t ms;
        std::uint8_t question;
        std::uint8_t answer;
    } cases[] = {
        {0x08, usb::sim::Firmware::kHeadCleaningMs, 0x05, 0x05},
        {0xC1, usb::sim::Firmware::kInkChargingInstallMs, 0x35, '5'},
        {0xC2, usb::sim::Firmware::kInkChargingMaintenanceMs, 0xA6, 0xA6},
    };
    for (const auto& c : cases) {
        const Sent started = timed_send({0xFF, c.code});
        EXPECT_EQ(firmware_->state().maintenance, c.code);
        ASSERT_TRUE(send({0xFF, c.question}));
        expect_done_after(started, c.ms, 0x00, c.answer);
        EXPECT_EQ(firmware_->state().maintenance, 0);
    }
}

TEST_F(FirmwareTest, APassTakesThePrintersTime) {
    start();
    firmware_->set_bidir_pass_delay_ms(300);
    ASSERT_TRUE(send({0xFF, 0x01, 0xA8, 0x1F, 0x00, 0x00}));  // 904 + 7200 columns: 254 mm
    EXPECT_EQ(firmware_->pass_time_ms(), 2473u);              // 5.8 x 254 + 1000
    ASSERT_TRUE(send({0xFF, 0x88, 1}));
    EXPECT_EQ(firmware_->pass_time_ms(), 1237u + 300u);  // half, plus the stepping's pause

    const Sent pass = timed_send({0xFF, 0x02});
    EXPECT_EQ(read(), 'P');  // the acceptance first, however late it is read
    EXPECT_EQ(firmware_->state().passes_started, 1);
    expect_done_after(pass, 1537, 'P', 'U');
    EXPECT_EQ(read(), 'U');
    EXPECT_EQ(firmware_->state().passes_done, 1);

    // A pass that ended before its acceptance was read: the acceptance, then the end.
    ASSERT_TRUE(send({0xFF, 0x02}));
    platform::sleep_ms(1600);
    EXPECT_EQ(read(), 'P');
    EXPECT_EQ(read(), 'U');

    // A pass that ends while something else is asked reports once, then the answer.
    ASSERT_TRUE(send({0xFF, 0x03}));
    EXPECT_EQ(read(), 'P');
    ASSERT_TRUE(send({0xFF, 0x05}));
    platform::sleep_ms(1600);
    EXPECT_EQ(read(), 'U');
    EXPECT_EQ(read(), 0x05);
}

TEST_F(FirmwareTest, ScriptedFaults) {
    start();
    firmware_->answer_at(0x38, 2, 0xF0);
    firmware_->answer_at(0xA6, 1, 'x');
    firmware_->never_finish_pass(1);
    ASSERT_TRUE(send({0xFF, 0xA6}));
    EXPECT_EQ(read(), 'x');
    ASSERT_TRUE(send({0xFF, 0xA6}));
    EXPECT_EQ(read(), 0xA6);

    ASSERT_TRUE(send({0xFF, 0x38}));
    EXPECT_EQ(read(), 'P');
    platform::sleep_ms(10000);
    EXPECT_EQ(read(), 'P');  // never done
    ASSERT_TRUE(send({0xFF, 0x38}));
    EXPECT_EQ(read(), 0xF0);
    EXPECT_EQ(firmware_->state().passes_started, 1);

    firmware_->set_silent(true);
    device_->ControlEndPt->TimeOut = 1000;
    EXPECT_EQ(read(), 0xEE);  // no answer: the read fails and copies nothing
}

// A printer that reports it stopped has stopped: the pass it was printing never reports done,
// so the next job's first question gets its own answer.
TEST_F(FirmwareTest, AReportedStopEndsThePassInProgressUnreported) {
    start();
    firmware_->answer_at(0xAA, 1, 0xF0);
    ASSERT_TRUE(send({0xFF, 0x01, 0xB0, 0x03, 0x00, 0x00}));
    ASSERT_TRUE(send({0xFF, 0x38}));
    EXPECT_EQ(read(), 'P');
    ASSERT_TRUE(send({0xFF, 0xAA}));
    EXPECT_EQ(read(), 0xF0);
    platform::sleep_ms(2 * firmware_->pass_time_ms());
    EXPECT_EQ(read(), 0xF0);
    ASSERT_TRUE(send({0xFF, 0xA6}));
    EXPECT_EQ(read(), 0xA6);
    EXPECT_EQ(firmware_->state().passes_done, 0);
    EXPECT_FALSE(firmware_->state().pass_in_progress);
}

TEST_F(FirmwareTest, ALostConnectionTakesThePieceAndComesBack) {
    start();
    firmware_->lose_connection_at_piece(2, 1000);
    std::vector<std::uint8_t> piece(4096, 0x11);
    EXPECT_TRUE(bulk(piece));
    const std::uint32_t lost = platform::tick_count();
    EXPECT_FALSE(bulk(piece));
    // Off the bus for its time, judged by the clock rather than by how soon this thread runs.
    if (platform::tick_count() - lost < 1000) {
        EXPECT_FALSE(printer_->plugged());
    }
    EXPECT_EQ(firmware_->state().bulk_bytes, 4096u);
    platform::sleep_ms(1000);
    EXPECT_TRUE(printer_->plugged());
    ASSERT_TRUE(device_->Open(0));
    EXPECT_TRUE(bulk(piece));
    EXPECT_EQ(firmware_->state().bulk_bytes, 8192u);
}

std::vector<std::string> lines_of(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST_F(FirmwareTest, TheRecorderWritesEveryEventAsItHappens) {
    test_support::TempDir dir;
    start(std::make_unique<usb::sim::Recorder>(dir.path() / "capture", true));
    std::vector<std::uint8_t> first(3000);
    std::vector<std::uint8_t> second(5000);
    for (std::size_t i = 0; i < second.size(); ++i) {
        second[i] = static_cast<std::uint8_t>(i);
    }
    ASSERT_TRUE(send({0xFF, 0x01, 0x02, 0x00, 0x00, 0x00}));
    EXPECT_EQ(read(), 0x05);
    ASSERT_TRUE(bulk(first));
    ASSERT_TRUE(bulk(second));
    ASSERT_TRUE(send({0xFF, 0x38}));

    usb::sim::Sha256 sha;
    sha.update(first);
    sha.update(second);
    const std::vector<std::string> expected = {
        R"({"kind":"command","frame":"ff0102000000"})",
        R"({"kind":"status","byte":"05"})",
        R"({"kind":"band","bytes":8000,"sha256":")" + sha.hex_digest() +
            R"(","file":"band-000000.bin"})",
        R"({"kind":"command","frame":"ff38"})",
    };
    EXPECT_EQ(lines_of(dir.path() / "capture" / "events.jsonl"), expected);
    std::string band = test_support::read_file(dir.path() / "capture" / "band-000000.bin");
    std::vector<std::uint8_t> both = first;
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(std::vector<std::uint8_t>(band.begin(), band.end()), both);
}

}  // namespace
