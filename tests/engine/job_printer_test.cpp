#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/clock.h"

#include "config/all_settings.h"
#include "config/program_globals.h"
#include "engine/channel_arrangement.h"
#include "engine/job_options.h"
#include "engine/prn_reader.h"
#include "engine/stepping.h"
#include "engine/transfer_packing.h"
#include "engine/y_feed.h"
#include "fifo.h"
#include "platform/files.h"
#include "print_job_fixture.h"
#include "printer/commands.h"
#include "printer/prn_file.h"
#include "printer/protocol_state.h"

namespace {

using test_support::Frame;
using test_support::PrintJobTest;
using test_support::small_job;

std::uint32_t bands_of(std::uint32_t lines) {
    return (lines + g_step_rows - 1) / g_step_rows;
}

int count(const std::vector<std::uint8_t>& codes, std::uint8_t code) {
    return static_cast<int>(std::count(codes.begin(), codes.end(), code));
}

TEST_F(PrintJobTest, ASmallJobPrintsEndToEndAndGoesIntoTheHistory) {
    const std::string path = queue_job(small_job(300));
    print_first_row();

    EXPECT_EQ(boxes_.count(), 0u) << boxes_.texts()[0];
    EXPECT_EQ(window_.printing().item_count(), 0);
    EXPECT_EQ(window_.jobs().item_count(), 0);
    EXPECT_FALSE(platform::exists(path));
    EXPECT_TRUE(platform::exists(printed_folder(0) / "job.prn"));
    EXPECT_FALSE(g_prn_file.is_open());
    EXPECT_EQ(g_printer_idle, 1);
    EXPECT_EQ(g_stop_printing, 0);
    // Every command and status read while the job owned the printer.
    EXPECT_EQ(firmware_->unowned_requests(), 0);

    // The set-up in its order, then one pass per band and tail band, then the end.
    const std::vector<std::uint8_t> c = codes();
    const std::vector<std::uint8_t> setup = {
        CMD_CHECK_READY,      CMD_WAIT_IDLE,         CMD_DIRECTION,        CMD_DIRECTION_APPLY,
        CMD_ROTARY_MODE,      CMD_ROTARY_MODE_APPLY, CMD_EMBOSS_PASSES,    CMD_Y_POSITION,
        CMD_Y_POSITION_APPLY, CMD_START_READY,       CMD_COLUMN_COUNT,     CMD_ACK_REQUEST,
        CMD_UV_SETTING,       CMD_INK_MODE,          CMD_NOT_VARNISH_ONLY, CMD_Y_POSITION,
        CMD_Y_POSITION_APPLY};
    std::vector<std::uint8_t> seen;
    for (const std::uint8_t code : c) {
        if (std::find(setup.begin(), setup.end(), code) != setup.end() &&
            seen.size() < setup.size()) {
            seen.push_back(code);
        }
    }
    EXPECT_EQ(seen, setup);
    const std::uint32_t passes = bands_of(300) + g_tail_bands;
    const usb::sim::Firmware::State state = firmware_->state();
    EXPECT_EQ(state.passes_started, static_cast<int>(passes));
    EXPECT_EQ(state.passes_done, static_cast<int>(passes));
    EXPECT_EQ(state.bulk_bytes, std::uint64_t{passes} * g_column_count * 360);
    EXPECT_EQ(count(c, CMD_END_OF_PRINT), 1);
    EXPECT_EQ(count(c, CMD_END_Y_MOVE_BACK) + count(c, CMD_END_AUTO_YZ), 0);
    EXPECT_EQ(frames(CMD_COLUMN_COUNT)[0], (Frame{0xFF, CMD_COLUMN_COUNT, 0xB0, 0x03, 0, 0}));
    EXPECT_EQ(frames(CMD_DIRECTION)[0], (Frame{0xFF, CMD_DIRECTION, 1}));
}

// The ways a job cannot start: each leaves the printing row for the print loop's next try.
TEST_F(PrintJobTest, NoDeviceShowsConnectFailedAndKeepsTheRow) {
    queue_job(small_job());
    printer_->unplug();
    print_first_row();
    EXPECT_EQ(printing_cell(PrintRow::state), JobState::connect_failed);
    EXPECT_EQ(window_.bitmaps().back(), engine::IDB_PRINTER_NOT_CONNECTED);
    EXPECT_EQ(job_cell(JobRow::state), JobState::ready_to_print);
    EXPECT_EQ(g_printer_idle, 1);
    EXPECT_EQ(boxes_.count(), 0u);
}

TEST_F(PrintJobTest, AnUnreadableFileIsToldAndTriedAgain) {
    const std::string path = queue_job(small_job());
    std::filesystem::remove(path);
    print_first_row();
    print_first_row();
    EXPECT_EQ(boxes_.texts(),
              (std::vector<std::string>{"Print file can't read.", "Print file can't read."}));
    EXPECT_EQ(window_.printing().item_count(), 1);
    EXPECT_EQ(printing_cell(PrintRow::state), JobState::ready_to_print);
    EXPECT_EQ(g_printer_idle, 1);
    EXPECT_TRUE(codes().empty());
}

// The print thread never waits on the print file: a pipe or a device at its name is a file that
// cannot be read, told and left for the next try like a missing one.
TEST_F(PrintJobTest, APipeOrADeviceAtThePrintFilesNameCannotBeRead) {
    const test_support::UnreadableNames unreadable =
        test_support::make_unreadable_names(dir_ / "Output", ".prn");
    const test_support::FifoGuard guard(unreadable.fifos);
    for (const auto& name : unreadable.names) {
        window_.printing().delete_all_items();
        window_.add_job(name.string());
        print_first_row();
        EXPECT_EQ(g_printer_idle, 1) << name;
        EXPECT_FALSE(g_prn_file.is_open()) << name;
    }
    EXPECT_EQ(boxes_.texts(),
              std::vector<std::string>(unreadable.names.size(), "Print file can't read."));
    EXPECT_FALSE(guard.released());
    EXPECT_TRUE(codes().empty());
}

TEST_F(PrintJobTest, APrinterNotReadyShowsMediaOutUntilItIsReady) {
    const std::string path = queue_job(small_job());
    firmware_->answer_at(CMD_CHECK_READY, 1, 0x00);
    print_first_row();
    EXPECT_EQ(printing_cell(PrintRow::state), JobState::media_out);
    EXPECT_EQ(job_cell(JobRow::state), JobState::ready_to_print);
    EXPECT_EQ(g_printer_idle, 1);
    EXPECT_FALSE(g_prn_file.is_open());
    EXPECT_EQ(count(codes(), CMD_WAIT_IDLE), 0);

    print_first_row();  // ready now
    EXPECT_EQ(window_.printing().item_count(), 0);
    EXPECT_TRUE(platform::exists(printed_folder(0) / "job.prn"));
}

TEST_F(PrintJobTest, AFailedIdleWaitSendsTheJobBackToWait) {
    const std::string path = queue_job(small_job());
    firmware_->answer_at(CMD_WAIT_IDLE, 1, STATUS_ABORTED);
    print_first_row();
    EXPECT_EQ(window_.printing().item_count(), 0);
    EXPECT_EQ(job_cell(JobRow::state), JobState::wait);
    EXPECT_TRUE(platform::exists(path));
    EXPECT_EQ(g_printer_idle, 1);
    EXPECT_EQ(count(codes(), CMD_DIRECTION), 0);
}

// A stop at any set-up command sends nothing after it and leaves both rows for the next try.
TEST_F(PrintJobTest, AStopDuringTheSetUpLeavesBothRowsAndTheJobStartsAgain) {
    struct Case {
        std::uint8_t stops, next;
    };
    const Case cases[] = {
        {CMD_DIRECTION_APPLY, CMD_ROTARY_MODE}, {CMD_ROTARY_MODE_APPLY, CMD_EMBOSS_PASSES},
        {CMD_START_READY, CMD_COLUMN_COUNT},    {CMD_COLUMN_COUNT, CMD_ACK_REQUEST},
        {CMD_UV_SETTING, CMD_INK_MODE},         {CMD_INK_MODE, CMD_NOT_VARNISH_ONLY}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int{c.stops});
        queue_job(small_job());
        const int passes_before = firmware_->state().passes_started;
        const int next_before = count(codes(), c.next);
        firmware_->answer_at(c.stops, count(codes(), c.stops) + 1, STATUS_ABORTED);
        print_first_row();
        EXPECT_EQ(count(codes(), c.next), next_before);
        EXPECT_EQ(printing_cell(PrintRow::state), JobState::printing);
        EXPECT_EQ(job_cell(JobRow::state), JobState::printing);
        EXPECT_EQ(g_printer_idle, 1);
        EXPECT_FALSE(g_prn_file.is_open());
        EXPECT_EQ(firmware_->state().passes_started, passes_before);

        print_first_row();
        EXPECT_EQ(window_.printing().item_count(), 0);
        EXPECT_EQ(window_.jobs().item_count(), 0);
    }
}

// A stop in the band loop: the printing row goes (copies left or not), "print cancel file
// set" decides the rest.
TEST_F(PrintJobTest, AStopInTheBandLoopFollowsTheCancelSetting) {
    for (const bool keep : {true, false}) {
        SCOPED_TRACE(keep);
        write_settings({{2, keep ? "1" : "0"}});
        // Copies left do not keep a stopped job in the printing list.
        const std::string path =
            queue_job(small_job(600), keep ? "keep.prn" : "drop.prn", keep ? "3" : "1");
        firmware_->answer_at(CMD_PASS_FORWARD, keep ? 2 : 4, STATUS_ABORTED);
        print_first_row();
        EXPECT_EQ(window_.printing().item_count(), 0);
        EXPECT_EQ(platform::exists(path), keep);
        EXPECT_FALSE(platform::exists(printed_folder(0)));
        if (keep) {
            EXPECT_EQ(job_cell(JobRow::state), JobState::wait);
        } else {
            EXPECT_EQ(window_.jobs().item_count(), 0);
        }
        EXPECT_EQ(g_printer_idle, 1);
        EXPECT_FALSE(g_prn_file.is_open());
        window_.jobs().delete_all_items();
    }
    EXPECT_EQ(count(codes(), CMD_END_OF_PRINT), 0);
    EXPECT_EQ(boxes_.count(), 0u);
}

// Jobs the engine cannot print are refused once, with a box, and leave the printing list.
TEST_F(PrintJobTest, AJobWithoutSteppingOrOutsideTheBuffersIsRefusedOnce) {
    struct Case {
        const char* name;
        test_support::PrnBuilder prn;
        const char* emboss;
    };
    const Case cases[] = {
        {"Braille at 10 passes has no stepping", small_job(300, 1800), "Braille"},
        {"rows longer than the window", test_support::PrnBuilder(7300, 10), "N/A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t boxes_before = boxes_.count();
        const std::string path = queue_job(c.prn, "refused.prn", "1", c.emboss);
        print_first_row();
        EXPECT_EQ(boxes_.count(), boxes_before + 1);
        EXPECT_EQ(window_.printing().item_count(), 0);
        EXPECT_EQ(job_cell(JobRow::state), JobState::wait);
        EXPECT_TRUE(platform::exists(path));
        EXPECT_EQ(g_printer_idle, 1);
        EXPECT_FALSE(g_prn_file.is_open());
        window_.jobs().delete_all_items();
    }
    EXPECT_TRUE(codes().empty());
}

// Copies "3": three prints, the lists count down, three history folders.
TEST_F(PrintJobTest, ThreeCopiesPrintThreeTimesIntoThreeHistoryFolders) {
    const std::string path = queue_job(small_job(), "job.prn", "3");
    // Between copies the job row hands its selection and focus to the next row.
    constexpr unsigned kSelectedFocused = platform::ui::kItemSelected | platform::ui::kItemFocused;
    window_.jobs().insert_item(1, (dir_ / "Output" / "other.prn").string());
    window_.jobs().set_item_state(0, kSelectedFocused, kSelectedFocused);
    std::vector<std::string> printing_copies, job_copies;
    for (int i = 0; i < 3; ++i) {
        print_first_row();
        if (window_.printing().item_count() > 0) {
            printing_copies.push_back(printing_cell(PrintRow::copies));
            job_copies.push_back(job_cell(JobRow::copies));
            EXPECT_EQ(job_cell(JobRow::state), JobState::ready_to_print);
            EXPECT_EQ(window_.jobs().item_state(0, kSelectedFocused), 0u);
            EXPECT_EQ(window_.jobs().item_state(1, kSelectedFocused), kSelectedFocused);
        }
    }
    EXPECT_EQ(printing_copies, (std::vector<std::string>{"2", "1"}));
    EXPECT_EQ(job_copies, (std::vector<std::string>{"3", "2"}));
    EXPECT_EQ(window_.printing().item_count(), 0);
    EXPECT_EQ(window_.jobs().item_count(), 1);  // only the other job
    for (int n = 0; n < 3; ++n) {
        EXPECT_TRUE(platform::exists(printed_folder(n) / "job.prn")) << n;
    }
    EXPECT_FALSE(platform::exists(path));
    EXPECT_EQ(count(codes(), CMD_END_OF_PRINT), 3);
}

TEST_F(PrintJobTest, TwoXCountsAsOneCopyAndNoHistoryDeletesTheFile) {
    write_settings({{1, "0"}});
    const std::string path = queue_job(small_job(), "job.prn", "2x");
    print_first_row();
    EXPECT_EQ(window_.printing().item_count(), 0);
    EXPECT_EQ(window_.jobs().item_count(), 0);
    EXPECT_FALSE(platform::exists(path));
    EXPECT_FALSE(platform::exists(printed_folder(0)));
}

TEST_F(PrintJobTest, AVanishedJobRowLeavesTheFileInPlace) {
    const std::string path = queue_job(small_job());
    window_.jobs().delete_item(0);
    print_first_row();
    EXPECT_EQ(window_.printing().item_count(), 0);
    EXPECT_TRUE(platform::exists(path));
}

// The first job's file goes while it prints: the synchroniser deletes both its rows. What the
// job printer still writes has no row to go to; the next job, first now, keeps its state,
// progress and copies.
TEST_F(PrintJobTest, AJobWhoseRowsWentDuringThePrintLeavesTheNextJobsRow) {
    const std::string first = queue_job(small_job(600), "first.prn");
    queue_job(small_job(), "second.prn", "3");
    std::atomic<bool> done{false};
    std::thread worker([&] {
        worker_->PrintJob(first);
        done = true;
    });
    ASSERT_TRUE(
        test_support::pump_events_until([&] { return firmware_->state().passes_started >= 1; }));
    std::filesystem::remove(first);
    window_.jobs().delete_item(0);
    window_.printing().delete_item(0);
    ASSERT_TRUE(test_support::pump_events_until([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(count(codes(), CMD_END_OF_PRINT), 1);
    ASSERT_EQ(window_.printing().item_count(), 1);
    EXPECT_EQ(printing_cell(PrintRow::job_path), (dir_.path() / "Output" / "second.prn").string());
    EXPECT_EQ(printing_cell(PrintRow::state), JobState::ready_to_print);
    EXPECT_EQ(printing_cell(PrintRow::progress), "0%");
    EXPECT_EQ(printing_cell(PrintRow::copies), "3");
    EXPECT_EQ(job_cell(JobRow::state), JobState::ready_to_print);
    EXPECT_EQ(job_cell(JobRow::copies), "3");
    EXPECT_FALSE(platform::exists(printed_folder(0)));
}

// Other printer work (a maintenance dialog) took the printer while the job printer looked for
// it: the operator is told, and nothing is opened, sent or changed.
TEST_F(PrintJobTest, PrinterWorkStartedDuringTheConnectionCheckIsToldAndTheJobWaits) {
    queue_job(small_job());
    window_.on_bitmap([](int bitmap) {
        if (bitmap == engine::IDB_PRINTER_CONNECTED) {
            g_printer_idle = 0;
        }
    });
    print_first_row();
    window_.on_bitmap({});
    ASSERT_EQ(boxes_.count(), 1u);
    EXPECT_EQ(boxes_.texts()[0],
              "There has one task not print finished, please close this program and restart to "
              "print again!");
    EXPECT_EQ(boxes_.boxes()[0].buttons, platform::ui::Buttons::Ok);
    EXPECT_EQ(g_printer_idle, 0);  // still the other work's
    EXPECT_FALSE(g_prn_file.is_open());
    EXPECT_TRUE(codes().empty());
    EXPECT_EQ(printing_cell(PrintRow::state), JobState::ready_to_print);
    EXPECT_EQ(job_cell(JobRow::state), JobState::ready_to_print);
}

TEST_F(PrintJobTest, BrailleUniPrintsBidirectionallyWithUvZeroAndEdgeKindThree) {
    queue_job(small_job(), "job.prn", "1", "Braille", "UniDirection");
    print_first_row();
    EXPECT_EQ(frames(CMD_DIRECTION)[0], (Frame{0xFF, CMD_DIRECTION, 1}));
    EXPECT_EQ(frames(CMD_UV_SETTING)[0], (Frame{0xFF, CMD_UV_SETTING, 0}));
    EXPECT_EQ(g_edge_kind, EDGE_BRAILLE);
    EXPECT_GT(count(codes(), CMD_PASS_BACKWARD), 0);
    EXPECT_EQ(window_.printing().item_count(), 0);
}

TEST_F(PrintJobTest, YMoveBSendsTheTableCommandAndWaitsForItsAnswer) {
    queue_job(small_job());
    window_.printing().set_item_text(0, PrintRow::after_print_command, "YMoveB");
    print_first_row();
    const std::vector<std::uint8_t> c = codes();
    ASSERT_EQ(count(c, CMD_END_Y_MOVE_BACK), 1);
    EXPECT_LT(std::find(c.begin(), c.end(), CMD_END_OF_PRINT) - c.begin(),
              std::find(c.begin(), c.end(), CMD_END_Y_MOVE_BACK) - c.begin());
    EXPECT_EQ(g_status_byte, CMD_END_Y_MOVE_BACK);
    EXPECT_EQ(window_.printing().item_count(), 0);
}

// The after-print answer wait ends on the printer's stop, and at its bound with the stop
// command and a box; either way the job ends as a stop does: the table did not finish, so the
// copy is not counted, nothing is filed and the job row goes back to "Wait".
TEST_F(PrintJobTest, TheAfterPrintWaitEndsOnAStopOrAtItsBoundAsAStop) {
    struct Case {
        std::uint8_t answer;
        bool told;
    };
    for (const Case c : {Case{STATUS_ABORTED, false}, Case{0x00, true}}) {
        SCOPED_TRACE(int{c.answer});
        const std::size_t boxes_before = boxes_.count();
        const int stops_before = count(codes(), CMD_STOP);
        const std::string path = queue_job(small_job(), "job.prn", "2");
        window_.printing().set_item_text(0, PrintRow::after_print_command, "AutoYZ");
        firmware_->answer_at(CMD_END_AUTO_YZ, count(codes(), CMD_END_AUTO_YZ) + 1, c.answer);
        const std::uint32_t start = platform::tick_count();
        print_first_row();
        EXPECT_EQ(boxes_.count(), boxes_before + (c.told ? 1 : 0));
        EXPECT_EQ(count(codes(), CMD_STOP), stops_before + (c.told ? 1 : 0));
        EXPECT_GE(platform::tick_count() - start, c.told ? 60000u : 5000u);
        EXPECT_EQ(g_stop_printing, 1);
        EXPECT_EQ(window_.printing().item_count(), 0);
        ASSERT_EQ(window_.jobs().item_count(), 1);
        EXPECT_EQ(job_cell(JobRow::state), JobState::wait);
        EXPECT_TRUE(platform::exists(path));
        EXPECT_FALSE(platform::exists(printed_folder(0)));
        EXPECT_EQ(g_printer_idle, 1);
        EXPECT_EQ(firmware_->unowned_requests(), 0);
        window_.jobs().delete_all_items();
    }
}

TEST_F(PrintJobTest, TheSettingsFileMissingKeepsChannelOrderAndRotaryFlag) {
    std::filesystem::remove(AllSettings::path());
    const int order[8] = {7, 6, 5, 4, 3, 2, 1, 8};
    std::copy(std::begin(order), std::end(order), g_ink_order);
    queue_job(small_job());
    print_first_row();
    EXPECT_TRUE(std::equal(std::begin(order), std::end(order), g_ink_order));
    EXPECT_EQ(g_rotary_mode, 0);
    EXPECT_EQ(g_edge_kind, EDGE_GAUSSIAN);
    EXPECT_EQ(g_head_offset, 0);
    EXPECT_EQ(window_.printing().item_count(), 0);
}

TEST_F(PrintJobTest, ABlankGapIsSkippedWithTheGapCommands) {
    test_support::PrnBuilder prn = small_job(3000);
    prn.blank(200, 2400);
    queue_job(prn);
    print_first_row();
    const std::vector<std::uint8_t> c = codes();
    EXPECT_EQ(count(c, CMD_SKIP_FEED), 1);
    EXPECT_EQ(count(c, CMD_SKIP_FEED_WAIT), 1);
    const usb::sim::Firmware::State state = firmware_->state();
    EXPECT_EQ(state.passes_done, state.passes_started);
    EXPECT_LT(state.passes_started, static_cast<int>(bands_of(3000)));
    EXPECT_GT(g_tail_bands, 0u);
    EXPECT_EQ(window_.printing().item_count(), 0);
}

TEST_F(PrintJobTest, AConnectionLostInABandIsResentAndTheJobCompletes) {
    queue_job(small_job(600));
    firmware_->lose_connection_at_piece(3, 300);
    for (int i = 0; i < 20; ++i) {
        boxes_.queue_answer(platform::ui::Answer::Retry);
    }
    print_first_row();
    EXPECT_EQ(window_.printing().item_count(), 0);
    EXPECT_EQ(window_.jobs().item_count(), 0);
    const std::uint32_t passes = bands_of(600) + g_tail_bands;
    EXPECT_EQ(firmware_->state().bulk_bytes, std::uint64_t{passes} * g_column_count * 360);
}

// Cancel in the reconnect box of the pass-done wait: no end-of-job wait, no after-print
// command, and the job row follows "print cancel file set".
TEST_F(PrintJobTest, CancelInTheReconnectBoxSkipsTheEndOfJobWait) {
    const std::string path = queue_job(small_job(600));
    window_.printing().set_item_text(0, PrintRow::after_print_command, "AutoYZ");
    firmware_->never_finish_pass(2);
    boxes_.queue_answer(platform::ui::Answer::Cancel);
    std::atomic<bool> done{false};
    std::uint32_t ended = 0;
    std::thread worker([&] {
        worker_->PrintJob(path);
        ended = platform::tick_count();
        done = true;
    });
    // Once the third band is in and the printer hangs in pass 2, the cable goes.
    ASSERT_TRUE(test_support::pump_events_until([&] {
        const usb::sim::Firmware::State state = firmware_->state();
        return state.passes_started == 2 && state.bulk_bytes >= 3ull * 944 * 360;
    }));
    printer_->unplug();
    const std::uint32_t unplugged = platform::tick_count();
    ASSERT_TRUE(test_support::pump_events_until([&] { return done.load(); }));
    worker.join();
    ASSERT_EQ(boxes_.count(), 1u);
    EXPECT_EQ(boxes_.boxes()[0].buttons, platform::ui::Buttons::RetryCancel);
    EXPECT_EQ(g_reconnect_cancelled, 1);
    EXPECT_LT(ended - unplugged, 20000u);  // far below the 35 s wait
    const std::vector<std::uint8_t> c = codes();
    EXPECT_EQ(count(c, CMD_END_OF_PRINT), 0);
    EXPECT_EQ(count(c, CMD_END_AUTO_YZ), 0);
    EXPECT_EQ(window_.printing().item_count(), 0);
    EXPECT_EQ(job_cell(JobRow::state), JobState::wait);
    EXPECT_TRUE(platform::exists(path));
    EXPECT_EQ(g_printer_idle, 1);
}

// The end-of-job wait: a printer that stops there ends the job as every stop does (the copy
// is not counted, nothing goes into the history, the file is not deleted as a printed one
// would be, and the job row follows "print cancel file set"); one that never reports the job
// finished is waited for 35 s and the copy counts.
TEST_F(PrintJobTest, TheEndOfJobWaitEndsOnAStopOrAfterThirtyFiveSeconds) {
    struct Case {
        std::uint8_t answer;
        bool printed;
        const char* keep_printed;
    };
    for (const Case c : {Case{STATUS_ABORTED, false, "0"}, Case{0x00, true, "1"}}) {
        SCOPED_TRACE(int{c.answer});
        write_settings({{1, c.keep_printed}});
        const std::string path = queue_job(small_job(), "job.prn", c.printed ? "3" : "1");
        window_.printing().set_item_text(0, PrintRow::after_print_command, "YMoveB");
        const int moves_before = count(codes(), CMD_END_Y_MOVE_BACK);
        firmware_->answer_at(CMD_END_OF_PRINT, count(codes(), CMD_END_OF_PRINT) + 1, c.answer);
        // A stop is timed from the end-of-job command, so that a slow machine's print before it
        // does not count against the wait.
        const int ends_before = count(codes(), CMD_END_OF_PRINT);
        const std::uint32_t job_start = platform::tick_count();
        std::atomic<bool> done{false};
        std::thread worker([&] {
            worker_->PrintJob(window_.printing().item_text(0, PrintRow::job_path));
            done = true;
        });
        ASSERT_TRUE(test_support::pump_events_until(
            [&] { return done.load() || count(codes(), CMD_END_OF_PRINT) > ends_before; }));
        const std::uint32_t end_sent = platform::tick_count();
        ASSERT_TRUE(test_support::pump_events_until([&] { return done.load(); }, 120000));
        worker.join();
        const std::uint32_t now = platform::tick_count();
        EXPECT_TRUE(platform::exists(path));
        EXPECT_EQ(platform::exists(printed_folder(0) / "job.prn"), c.printed);
        EXPECT_EQ(g_printer_idle, 1);
        EXPECT_FALSE(g_prn_file.is_open());
        EXPECT_EQ(boxes_.count(), 0u);
        if (c.printed) {
            EXPECT_GT(now - job_start, 35000u);
            EXPECT_EQ(printing_cell(PrintRow::copies), "2");
            EXPECT_EQ(job_cell(JobRow::state), JobState::ready_to_print);
            EXPECT_EQ(count(codes(), CMD_END_Y_MOVE_BACK), moves_before + 1);
        } else {
            EXPECT_GE(now - job_start, 5000u);
            EXPECT_LT(now - end_sent, 35000u);
            EXPECT_EQ(g_stop_printing, 1);
            EXPECT_EQ(window_.printing().item_count(), 0);
            EXPECT_EQ(job_cell(JobRow::state), JobState::wait);
            EXPECT_EQ(count(codes(), CMD_END_Y_MOVE_BACK), moves_before);
        }
        window_.jobs().delete_all_items();
        window_.printing().delete_all_items();
    }
}

// A printing row without a title is handed to the job printer like any other: its file cannot
// be read, and the operator is told so on every try.
TEST_F(PrintJobTest, ThePrintLoopHandsOnARowWithoutATitle) {
    window_.add_job("", "1", "N/A", "BiDirection");
    worker_->post(WM_MT_PRINT_LOOP);
    worker_->start();
    EXPECT_TRUE(test_support::pump_events_until([&] { return boxes_.count() >= 2; }, 5000));
    EXPECT_TRUE(test_support::run_off_ui_thread([&] { worker_->stop_and_join(); }));
    ASSERT_GE(boxes_.count(), 1u);
    EXPECT_EQ(boxes_.texts()[0], "Print file can't read.");
    EXPECT_EQ(window_.printing().item_count(), 1);
    EXPECT_EQ(printing_cell(PrintRow::state), JobState::ready_to_print);
    EXPECT_TRUE(codes().empty());
}

// The print loop takes the first printing-list row, prints it, and turns to the next.
TEST_F(PrintJobTest, ThePrintLoopPrintsTheRowsInOrder) {
    queue_job(small_job(), "first.prn");
    queue_job(small_job(), "second.prn");
    worker_->post(WM_MT_PRINT_LOOP);
    worker_->start();
    EXPECT_TRUE(test_support::pump_events_until(
        [&] { return window_.printing().item_count() == 0; }, 30000));
    EXPECT_TRUE(test_support::run_off_ui_thread([&] { worker_->stop_and_join(); }));
    EXPECT_EQ(window_.jobs().item_count(), 0);
    EXPECT_TRUE(platform::exists(printed_folder(0) / "first.prn"));
    EXPECT_TRUE(platform::exists(printed_folder(1) / "second.prn"));
    EXPECT_EQ(count(codes(), CMD_END_OF_PRINT), 2);
    EXPECT_EQ(window_.bitmaps().back(), engine::IDB_PRINTER_CONNECTED);
    EXPECT_EQ(boxes_.count(), 0u);
}

// The direction comes from "PD", the UV argument from "UV set" and that direction.
TEST_F(PrintJobTest, DirectionAndUvSettingFollowThePdAndUvSetEntries) {
    struct Case {
        const char* uv_entry;
        const char* direction;
        std::uint8_t direction_arg, uv_arg;
    };
    const Case cases[] = {{"2", "UniDirection", 0, 2},
                          {"2", "BiDirection", 1, 0},
                          {"0", "BiDirection", 1, 2},
                          {"1", "UniDirection", 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.uv_entry) + " " + c.direction);
        write_settings({{4, c.uv_entry}});
        const std::size_t before = frames(CMD_UV_SETTING).size();
        queue_job(small_job(), "job.prn", "1", "N/A", c.direction);
        print_first_row();
        ASSERT_EQ(frames(CMD_UV_SETTING).size(), before + 1);
        EXPECT_EQ(frames(CMD_UV_SETTING).back(), (Frame{0xFF, CMD_UV_SETTING, c.uv_arg}));
        EXPECT_EQ(frames(CMD_DIRECTION).back(), (Frame{0xFF, CMD_DIRECTION, c.direction_arg}));
        EXPECT_EQ(window_.printing().item_count(), 0);
    }
}

// A rotary job tells the printer so and has no flatbed start offset nor start-ready wait.
TEST_F(PrintJobTest, ARotaryJobSkipsTheFlatbedStart) {
    write_settings({{15, "1"}});
    queue_job(small_job());
    print_first_row();
    EXPECT_EQ(frames(CMD_ROTARY_MODE)[0], (Frame{0xFF, CMD_ROTARY_MODE, 1}));
    const std::vector<std::uint8_t> c = codes();
    EXPECT_EQ(count(c, CMD_START_READY), 0);
    const auto first_pass = std::find(c.begin(), c.end(), CMD_PASS_FORWARD);
    EXPECT_EQ(std::count(c.begin(), first_pass, CMD_Y_POSITION), 1);  // the pass feed only
    EXPECT_EQ(window_.printing().item_count(), 0);
}

// "3D Embossed" adds white-and-varnish passes per band above ink mode 1 (2Vanish included),
// and is announced in the set-up except for 2Vanish.
TEST_F(PrintJobTest, EmbossPassesFollowTheLevelAndTheInkMode) {
    struct Case {
        std::uint8_t ink_mode;
        const char* emboss;
        std::vector<std::uint8_t> announced;
        int extra;
    };
    const Case cases[] = {{INK_MODE_COLOR_KCMY, "Small", {0}, 0},
                          {INK_MODE_4WHITE, "Small", {0, 2}, 2},
                          {INK_MODE_4WHITE, "N/A", {0, 0}, 0},
                          {INK_MODE_2VANISH, "Big", {0}, 6}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.ink_mode) + " " + c.emboss);
        const std::size_t frames_before = frames(CMD_EMBOSS_PASSES).size();
        const int passes_before = firmware_->state().passes_started;
        queue_job(small_job(300, 720, c.ink_mode), "job.prn", "1", c.emboss);
        print_first_row();
        std::vector<std::uint8_t> announced;
        const std::vector<Frame> f = frames(CMD_EMBOSS_PASSES);
        for (std::size_t i = frames_before; i < f.size(); ++i) {
            announced.push_back(f[i][2]);
        }
        EXPECT_EQ(announced, c.announced);
        const int trailing = c.ink_mode == INK_MODE_2VANISH ? g_trailing_passes : 0;
        const int bands = static_cast<int>(bands_of(300) + g_tail_bands);
        EXPECT_EQ(firmware_->state().passes_started - passes_before,
                  bands * (1 + c.extra) + trailing);
        EXPECT_EQ(window_.printing().item_count(), 0);
    }
}

// The progress cell while the printer hangs in pass 2 (bands 1 and 2 are read and printed):
// bands over "Pass time", or lines when "Pass time" is "N/A" or 0, written as "%2d".
TEST_F(PrintJobTest, ProgressCountsBandsOrLinesAsThePassTimeSays) {
    struct Case {
        const char* pass_time;
        bool by_bands;
    };
    const Case cases[] = {{"40", true}, {"7", true}, {"N/A", false}, {"0", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pass_time);
        const std::string path = queue_job(small_job(600));
        window_.printing().set_item_text(0, PrintRow::pass_time, c.pass_time);
        const std::string progress = progress_while_second_pass_hangs(path);
        char expected[8];
        const int value = c.by_bands ? 200 / std::atoi(c.pass_time)
                                     : static_cast<int>(2 * g_step_rows * 100 / 600);
        std::snprintf(expected, sizeof expected, "%2d", value);
        EXPECT_EQ(progress, expected) << g_step_rows;
        window_.jobs().delete_all_items();
    }
}

}  // namespace
