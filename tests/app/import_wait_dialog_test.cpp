#include "app/import_wait_dialog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/app_globals.h"
#include "modal_run.h"
#include "platform/clock.h"
#include "platform/ui/controls.h"
#include "qt_application.h"
#include "test_main_window.h"

namespace {

namespace ui = platform::ui;

// The main window's two messages of an import.
constexpr std::uint32_t kShowWait = 0x465;
constexpr std::uint32_t kCloseWait = 0x466;

class ImportWaitDialog : public ::testing::Test {
  protected:
    ImportWaitDialog() {
        platform::set_time_scale(100.0);
        g_wait_dialog = &wait_;
        g_import_abort = 0;
        g_wait_progress = 1;
    }
    ~ImportWaitDialog() override {
        g_wait_dialog = nullptr;
        platform::set_time_scale(1.0);
    }

    void click_cancel() { wait_.control<ui::Button>(mynewdlg2::IDC_WAIT_CANCEL)->click(); }
    ui::ProgressBar& bar() { return *wait_.control<ui::ProgressBar>(mynewdlg2::IDC_WAIT_PROGRESS); }

    // A wait of the next import that the operator leaves alone: true when it stayed open until
    // its own import's close came, and ended with it as cancelled.
    bool next_wait_ends_by_its_own_close() {
        g_import_abort = 0;
        bool opened = false;
        const int code = test_support::run_modal(wait_, [&] {
            opened = true;
            wait_.OnClose();
        });
        return opened && code == ui::kIdCancel;
    }

    test_support::QtApplication qt_;
    mynewdlg2 wait_;
};

TEST_F(ImportWaitDialog, OpensWithItsTextsAndRunsTheEndlessBarOnFromWhereItWas) {
    // Two steps before its end: the bar passes 100 and starts again from 1.
    g_wait_progress = 98;
    bool opened = false;
    const int code = test_support::run_modal(wait_, [&] {
        opened = true;
        EXPECT_EQ(wait_.caption(), "");
        EXPECT_EQ(wait_.control<ui::Button>(mynewdlg2::IDC_WAIT_CANCEL)->text(), "Cancel");
        EXPECT_EQ(bar().lower(), 0);
        EXPECT_EQ(bar().upper(), 100);
        EXPECT_EQ(bar().pos(), 0);
        std::vector<int> positions;
        ASSERT_TRUE(test_support::pump_events_until([&] {
            if (positions.empty() || positions.back() != bar().pos()) {
                positions.push_back(bar().pos());
            }
            return bar().pos() == 3;
        }));
        EXPECT_EQ(positions, (std::vector<int>{0, 99, 100, 2, 3}));
        wait_.OnClose();
    });
    EXPECT_TRUE(opened);
    EXPECT_EQ(code, ui::kIdCancel);
    EXPECT_EQ(g_wait_progress, 3);
    // The close of the import leaves the abort flag alone.
    EXPECT_EQ(g_import_abort.load(), 0);
}

TEST_F(ImportWaitDialog, CancelStopsTheImportAndTheBar) {
    const int code = test_support::run_modal(wait_, [&] {
        ASSERT_TRUE(test_support::pump_events_until([&] { return bar().pos() > 0; }));
        click_cancel();
    });
    EXPECT_EQ(code, ui::kIdCancel);
    EXPECT_EQ(g_import_abort.load(), 1);
    const int stopped_at = g_wait_progress;
    test_support::pump_events_until([] { return false; }, 100);
    EXPECT_EQ(g_wait_progress, stopped_at);
}

// How the operator ended a wait before its import's close, and whether that close still comes
// (the worker had copied its last file when Cancel came) or not (it saw the abort and stopped).
struct EarlyEnd {
    const char* name;
    int command;  // the Cancel button, or the standard command of Esc or Enter
    bool late_close;
    int abort_after;
};

void PrintTo(const EarlyEnd& c, std::ostream* out) {
    *out << c.name;
}

class ImportWaitEndedEarly : public ImportWaitDialog,
                             public ::testing::WithParamInterface<EarlyEnd> {};

TEST_P(ImportWaitEndedEarly, TheNextImportsWaitStaysOpenUntilItsOwnClose) {
    const EarlyEnd& c = GetParam();
    const int code = test_support::run_modal(wait_, [&] {
        if (c.command == mynewdlg2::IDC_WAIT_CANCEL) {
            click_cancel();
        } else {
            wait_.command(c.command);
        }
    });
    EXPECT_EQ(code, c.command == ui::kIdOk ? ui::kIdOk : ui::kIdCancel);
    EXPECT_EQ(g_import_abort.load(), c.abort_after);
    if (c.late_close) {
        // It finds no wait open, and is not kept for the next.
        wait_.OnClose();
    }
    EXPECT_TRUE(next_wait_ends_by_its_own_close());
    EXPECT_TRUE(next_wait_ends_by_its_own_close());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ImportWaitEndedEarly,
    ::testing::Values(EarlyEnd{"CancelAfterTheLastCopy", mynewdlg2::IDC_WAIT_CANCEL, true, 1},
                      EarlyEnd{"CancelBetweenTwoFiles", mynewdlg2::IDC_WAIT_CANCEL, false, 1},
                      EarlyEnd{"EscThenTheImportEnds", ui::kIdCancel, true, 0},
                      EarlyEnd{"EnterThenTheImportEnds", ui::kIdOk, true, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ImportWaitDialog, ACloseBeforeTheWaitOpensEndsItAsItOpensAndNoOtherWait) {
    wait_.OnClose();
    bool opened = false;
    EXPECT_EQ(test_support::run_modal(wait_, [&] { opened = true; }), ui::kIdCancel);
    EXPECT_FALSE(opened);
    EXPECT_FALSE(wait_.is_visible());
    EXPECT_TRUE(next_wait_ends_by_its_own_close());
}

// The main window's side as the import relies on it: the wait runs modally when the worker
// posts its show, and its close ends it; the worker copies one file every 200 ms until the
// abort flag stops it, and posts the close only when it was not stopped.
TEST_F(ImportWaitDialog, WorkersPostedShowAndCloseFrameTheWaitOfEachImport) {
    std::vector<int> codes;
    std::atomic<int> runs_open{0};
    struct Host : ui::Dialog {
        using Dialog::Dialog;
        using Dialog::on_message;
    };
    Host window("Norvaxel", ui::Size{200, 100});
    window.on_message(kShowWait, [&](std::uintptr_t, std::intptr_t) {
        codes.push_back(g_wait_dialog->do_modal());
        return std::intptr_t{0};
    });
    window.on_message(kCloseWait, [&](std::uintptr_t, std::intptr_t) {
        g_wait_dialog->OnClose();
        return std::intptr_t{0};
    });
    const auto import = [&](int files, int cancel_after) {
        int copied = 0;
        g_import_abort = 0;
        window.post(kShowWait);
        for (int file = 0; file < files; ++file) {
            if (g_import_abort != 0) {
                break;
            }
            ++copied;
            platform::sleep_ms(200);
            if (copied == cancel_after) {
                // The operator, while the wait is on the screen.
                for (int i = 0; i < 5000 && !g_wait_dialog->in_modal_run(); ++i) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
                runs_open += g_wait_dialog->in_modal_run() ? 1 : 0;
                click_cancel();
            }
        }
        if (g_import_abort == 0) {
            window.post(kCloseWait);
        }
        return copied;
    };
    int copied_first = 0;
    int copied_second = 0;
    int copied_third = 0;
    ASSERT_TRUE(test_support::run_off_ui_thread([&] {
        copied_first = import(5, 2);
        copied_second = import(0, -1);
        copied_third = import(3, -1);
    }));
    EXPECT_TRUE(test_support::pump_events_until([&] { return codes.size() == 3; }));
    EXPECT_EQ(copied_first, 2);
    EXPECT_EQ(copied_second, 0);
    EXPECT_EQ(copied_third, 3);
    EXPECT_EQ(runs_open.load(), 1);
    EXPECT_EQ(codes, (std::vector<int>{ui::kIdCancel, ui::kIdCancel, ui::kIdCancel}));
    EXPECT_FALSE(g_wait_dialog->in_modal_run());
}

}  // namespace
