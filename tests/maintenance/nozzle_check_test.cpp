#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "dialog_look.h"
#include "engine/transfer_packing.h"
#include "maintenance/maintenance_common.h"
#include "maintenance/maintenance_progress.h"
#include "maintenance/nozzle_dialogs.h"
#include "maintenance/nozzle_pattern.h"
#include "maintenance/nozzle_print.h"
#include "maintenance_fixture.h"
#include "platform/clock.h"
#include "platform/ui/controls.h"
#include "printer/commands.h"
#include "printer/protocol_state.h"

namespace {

using test_support::Frame;
using test_support::MaintenanceTest;
using test_support::Operator;

// The value the pattern gives byte column `c` of slot k: 0 outside the slot's block, else the
// step's nozzle (the later step where two share a column).
std::uint8_t expected_pattern(std::uint32_t k, std::uint32_t c) {
    const std::uint32_t start = 500 + 500 * k + kHeadSlotColumnOffset[k];
    if (c < start || c > start + 400) {
        return 0;
    }
    const std::uint32_t step = std::min<std::uint32_t>((c - start) / 100, 3);
    return static_cast<std::uint8_t>(3u << (2 * step));
}

TEST(NozzlePattern, EightStaircaseBlocksAndNothingElse) {
    std::fill_n(g_transfer_buffer, 1000, 0x5A);  // what a job left
    build_nozzle_pattern();
    for (std::uint32_t c = 0; c < kNozzleCheckColumns; ++c) {
        for (std::uint32_t k = 0; k < kHeadSlotCount; ++k) {
            const std::uint8_t* slot = g_transfer_buffer + c * kColumnBytes + 315 - 45 * k;
            const std::uint8_t want = expected_pattern(k, c);
            ASSERT_EQ(std::count(slot, slot + 45, want), 45) << "column " << c << " slot " << k;
        }
    }
    // Slot 7's block is the last: its large-dot step ends at column 5304.
    EXPECT_EQ(g_transfer_buffer[5304 * kColumnBytes], 0xC0);
    EXPECT_EQ(g_transfer_buffer[5305 * kColumnBytes], 0);
    EXPECT_EQ(std::count_if(g_transfer_buffer, g_transfer_buffer + kTransferBufferBytes,
                            [](std::uint8_t b) { return b != 0; }),
              8 * 401 * 45);
}

class NozzleCheckTest : public MaintenanceTest {
  protected:
    // The Maintenance dialog's nozzle check, answered with the feedback's button.
    std::vector<std::vector<std::string>> nozzle_check(const std::string& feedback_button) {
        return run_maintenance({{"Maintenance", "Nozzle Check"},
                                {"Nozzle Check", "Print"},
                                {"Nozzle Check", feedback_button},
                                {"Maintenance", "Close"}});
    }

    static bool shows(const std::vector<std::string>& labels, std::string_view text) {
        return std::find(labels.begin(), labels.end(), text) != labels.end();
    }
};

TEST_F(NozzleCheckTest, PrintsThePatternOnTheSheetDotForDot) {
    const auto labels = nozzle_check("Close");
    EXPECT_EQ(boxes_.count(), 0u);
    EXPECT_EQ(g_printer_idle, 1);
    EXPECT_FALSE(shows(labels[2], maintenance::kPassNotConfirmedText));
    // Every dialog closed its own connection: only the print-loop worker's is open.
    EXPECT_EQ(printer_->open_handles(), 1u);

    // No job printed since start: the pass count and the ink mode go out as 0.
    EXPECT_EQ(frames(CMD_PASS_COUNT), (std::vector<Frame>{{0xFF, CMD_PASS_COUNT, 0}}));
    EXPECT_EQ(frames(CMD_INK_MODE), (std::vector<Frame>{{0xFF, CMD_INK_MODE, 0}}));
    EXPECT_EQ(frames(CMD_COLUMN_COUNT),
              (std::vector<Frame>{{0xFF, CMD_COLUMN_COUNT, 0xE0, 0x15, 0, 0}}));  // 5600
    EXPECT_EQ(frames(CMD_PASS_UNI).size(), 1u);
    EXPECT_EQ(codes().back(), CMD_END_OF_PRINT);

    // The sheet: per slot 401 columns of 45 nozzles each, every dot on a cell of its own.
    std::ifstream json(dir_ / "capture" / "sheet-000.json");
    std::stringstream text;
    text << json.rdbuf();
    for (int slot = 1; slot <= 8; ++slot) {
        EXPECT_NE(
            text.str().find("{\"slot\":" + std::to_string(slot) + ",\"dots\":18045,\"twice\":0}"),
            std::string::npos)
            << text.str();
    }
    // Slot k's block starts at pixel 500 + 500k; step j fires nozzle 3 - j of every byte,
    // nozzle rows 16 cells apart, the even slots half a row (8 cells) ahead. The picture's
    // first row holds the first cell with a dot, cell -8, and each row four cells (1/720 inch);
    // across it holds the pass's 5600 columns less the head's spread of 904.
    constexpr int kCellsPerRow = 4;
    const QImage sheet =
        QImage((dir_ / "capture" / "sheet-000.png").c_str()).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(sheet.isNull());
    ASSERT_EQ(sheet.width(), 5600 - 904);
    ASSERT_EQ(sheet.height(), (179 * 16 + 8) / kCellsPerRow + 1);
    std::vector<char> expected(static_cast<std::size_t>(sheet.width()) * sheet.height(), 0);
    for (int k = 0; k < 8; ++k) {
        for (int d = 0; d <= 400; ++d) {
            const int step = std::min(d / 100, 3);
            for (int m = 0; m < 45; ++m) {
                const int cell = (4 * m + 3 - step) * 16 - (k % 2 == 0 ? 8 : 0);
                expected[static_cast<std::size_t>((cell + 8) / kCellsPerRow) * sheet.width() + 500 +
                         500 * k + d] = 1;
            }
        }
    }
    int printed = 0;
    for (int y = 0; y < sheet.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(sheet.constScanLine(y));
        for (int x = 0; x < sheet.width(); ++x) {
            const bool dot = (line[x] & 0xFFFFFF) != 0xFFFFFF;
            printed += dot ? 1 : 0;
            ASSERT_EQ(dot, expected[static_cast<std::size_t>(y) * sheet.width() + x] != 0)
                << "x " << x << " row " << y;
        }
    }
    EXPECT_EQ(printed, 8 * 401 * 45);
}

TEST_F(NozzleCheckTest, APassNeverReportedDoneStillPrintsButTheFeedbackSaysSo) {
    firmware_->never_finish_pass(1);
    const auto labels = nozzle_check("Close");
    EXPECT_TRUE(shows(labels[2], maintenance::kPassNotConfirmedText));
    EXPECT_EQ(codes().back(), CMD_END_OF_PRINT);
    EXPECT_EQ(boxes_.count(), 0u);
    EXPECT_EQ(g_printer_idle, 1);
}

// The feedback shows the good and the faulty example, then the nozzle check's own picture, as
// its print dialog shows it.
TEST_F(NozzleCheckTest, TheFeedbackShowsTheExamplesAndTheCheckPicture) {
    nozzleprint print;
    nozzlefeedback feedback;
    const auto printed = test_support::dialog_pictures(print);
    const auto shown = test_support::dialog_pictures(feedback);
    ASSERT_EQ(printed.size(), 1u);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_NE(shown[0].image, shown[1].image);
    EXPECT_EQ(shown[2].image, printed[0].image);
}

TEST_F(NozzleCheckTest, AStoppedPrinterEndsThePrintWithItsMessageAndNoFeedback) {
    firmware_->answer_at(CMD_COLUMN_COUNT, 1, STATUS_ABORTED);
    Operator op(std::vector<Operator::Step>{{"Nozzle Check", "Print"}});
    int code = 0;
    {
        nozzleprint print;
        code = maintenance::run_dialog(print);
    }
    EXPECT_EQ(code, MAINTENANCE_STOPPED);
    EXPECT_EQ(boxes_.texts(), std::vector<std::string>{"打印任务被取消!Print task cancelled."});
    EXPECT_TRUE(frames(CMD_PASS_UNI).empty());
    EXPECT_EQ(g_nozzle_print_error, 0);
}

TEST_F(NozzleCheckTest, EscAndTheCloseBoxDoNotEndTheDialogWhileTheWorkerPrints) {
    Operator op(std::vector<Operator::Step>{{"Nozzle Check", "Print"}});
    nozzleprint print;
    int tries = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (print.control<platform::ui::ProgressBar>(maintenance::IDC_MAINTENANCE_PROGRESS)
                ->is_visible()) {
            ++tries;
            print.command(platform::ui::kIdCancel);
            print.window()->close();
        }
    });
    closer.start(1);
    EXPECT_EQ(maintenance::run_dialog(print), MAINTENANCE_STARTED);
    EXPECT_GT(tries, 0);
    EXPECT_EQ(codes().back(), CMD_END_OF_PRINT);
}

TEST_F(NozzleCheckTest, CleanHeadGoesOnToHeadCleaningWhichCountsItsTimeToTheEnd) {
    platform::set_time_scale(100);  // 151 ticks of a second
    bool idle_at_the_end = false;
    const auto labels = run_maintenance(
        {{"Maintenance", "Nozzle Check"},
         {"Nozzle Check", "Print"},
         {"Nozzle Check", "Clean Head"},
         {"Head Cleaning", "Start"},
         // The 151st tick: 100 percent, the count back at 0, the printer given back.
         {"Head Cleaning", "Finish",
          [&](QWidget& window) {
              if (g_head_cleaning_ticks != 0 || !shows(test_support::label_texts(window), "100%")) {
                  return false;
              }
              idle_at_the_end = g_printer_idle == 1;
              return true;
          }},
         {"Maintenance", "Close"}});
    EXPECT_TRUE(idle_at_the_end);
    EXPECT_EQ(g_head_cleaning_ticks, 0);  // the timer stopped there
    EXPECT_EQ(g_printer_idle, 1);
    EXPECT_EQ(boxes_.count(), 0u);
    EXPECT_EQ(frames(CMD_HEAD_CLEANING).size(), 1u);
    const auto all = codes();
    const auto cleaning = std::find(all.begin(), all.end(), CMD_HEAD_CLEANING);
    ASSERT_NE(cleaning, all.begin());
    EXPECT_EQ(*(cleaning - 1), CMD_ACK_REQUEST);
}

}  // namespace
