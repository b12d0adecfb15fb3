// The estimates' dialogs, run modally offscreen: each work dialog estimates as soon as it is
// open and ends with its code, after a box when it failed; the result dialogs show the texts.
#include <gtest/gtest.h>

#include <QWidget>

#include "analysis/ink_cost_dialogs.h"
#include "analysis/ink_estimate.h"
#include "analysis/print_time_dialogs.h"
#include "analysis/print_time_estimate.h"
#include "dialog_look.h"
#include "fifo.h"
#include "message_box_recorder.h"
#include "modal_run.h"
#include "platform/ui/controls.h"
#include "prn_builder.h"
#include "temp_dir.h"
#include "test_main_window.h"

namespace {

using platform::ui::Static;
using test_support::PrnBuilder;

class EstimateDialogsTest : public ::testing::Test {
  protected:
    test_support::TestMainWindow window_;
    test_support::MessageBoxRecorder boxes_;
    test_support::TempDir dir_;
};

TEST_F(EstimateDialogsTest, InkDialogsShowTheResultsOrTheFailure) {
    PrnBuilder(2500, 100)
        .ink_mode(2)
        .solid(PRN_PLANE_WHITE, 0, 100, 0, 10000)
        .write(dir_ / "w.prn");
    ink_cost_create::SetInputs((dir_ / "w.prn").string(), "Small");
    ink_cost_create work;
    // Esc before the count has started does not cut it short.
    work.command(platform::ui::kIdCancel);
    EXPECT_EQ(work.do_modal(), ink_cost_create::kDone);
    EXPECT_EQ(boxes_.count(), 0u);
    EXPECT_EQ(g_ink_cost_white, "0.18000");

    ink_cost_view view;
    const int code = test_support::run_modal(view, [&] {
        EXPECT_EQ(view.control<Static>(1065)->text(), "White:    0.18000");
        EXPECT_EQ(view.control<Static>(1061)->text(), "Black:    0.00000");
        EXPECT_EQ(view.control<Static>(1067)->text(), "Ink Cost Total:   0.18000");
        view.command(platform::ui::kIdCancel);
    });
    EXPECT_EQ(code, platform::ui::kIdCancel);

    // A failed estimate leaves the six plane texts unknown, not the previous job's.
    ink_cost_create::SetInputs((dir_ / "missing.prn").string(), "N/A");
    ink_cost_create failing;
    EXPECT_EQ(failing.do_modal(), ink_cost_create::kFailed);
    EXPECT_EQ(boxes_.texts(), std::vector<std::string>{"Print file can't read."});
    EXPECT_EQ(g_ink_cost_white, "Ink cost: Unknow");
    EXPECT_EQ(g_ink_cost_black, "Ink cost: Unknow");
}

// Each result dialog shows two pictures of its own; the ink dialog writes every control's
// text in Arial 8.5, its Close button included, the total in 12.
TEST_F(EstimateDialogsTest, ResultDialogsShowTwoPicturesAndTheirFonts) {
    ink_cost_view ink;
    showprinttime time;
    for (const platform::ui::Dialog* dialog :
         {static_cast<platform::ui::Dialog*>(&ink), static_cast<platform::ui::Dialog*>(&time)}) {
        const auto pictures = test_support::dialog_pictures(*dialog);
        ASSERT_EQ(pictures.size(), 2u) << dialog->caption();
        EXPECT_NE(pictures[0].image, pictures[1].image);
    }
    const auto font = [&](int id) { return ink.item(id)->widget()->font(); };
    for (const int id : {ink_cost_view::IDC_INK_BLACK, ink_cost_view::IDC_INK_BLACK + 5,
                         platform::ui::kIdCancel}) {
        EXPECT_EQ(font(id).family().toStdString(), "Arial") << id;
        EXPECT_EQ(font(id).pointSizeF(), 8.5) << id;
    }
    EXPECT_EQ(font(ink_cost_view::IDC_INK_TOTAL).pointSizeF(), 12.0);
}

TEST_F(EstimateDialogsTest, TimeDialogEstimatesTheJobRowOrSaysWhyNot) {
    PrnBuilder(4, 1430).solid(PRN_PLANE_BLACK, 0, 1430, 0, 16).write(dir_ / "a.prn");
    const std::string path = (dir_ / "a.prn").string();
    window_.add_job(path, "3", "N/A", "UniDirection");
    Print_Time_Creating::SetPrintFile(path);
    Print_Time_Creating work;
    EXPECT_EQ(work.do_modal(), Print_Time_Creating::kDone);
    EXPECT_EQ(boxes_.count(), 0u);
    // Gaussian edges without a settings file: 21 bands of 1000.1 ms, three copies.
    EXPECT_EQ(g_print_time_text, format_print_time(3 * price_print_time(4, false, 0, 0, 21, 0)));
    auto* progress =
        work.control<platform::ui::ProgressBar>(Print_Time_Creating::IDC_TIME_PROGRESS);
    EXPECT_EQ(progress->upper(), 1430);
    EXPECT_EQ(progress->pos(), 1430);

    showprinttime view;
    test_support::run_modal(view, [&] {
        EXPECT_EQ(view.control<Static>(showprinttime::IDC_PRINT_TIME)->text(), g_print_time_text);
        view.command(platform::ui::kIdCancel);
    });

    // A job of more lines than the bar's 16-bit range: the bar ends full, it does not wrap.
    std::string tall = PrnBuilder(4, 10).bytes();
    prn_put_u32(reinterpret_cast<std::uint8_t*>(tall.data()), kPrnOffsetLineCount, 100000);
    test_support::write_file(dir_ / "tall.prn", tall);
    window_.add_job((dir_ / "tall.prn").string());
    Print_Time_Creating::SetPrintFile((dir_ / "tall.prn").string());
    Print_Time_Creating tall_work;
    EXPECT_EQ(tall_work.do_modal(), Print_Time_Creating::kDone);
    auto* tall_bar =
        tall_work.control<platform::ui::ProgressBar>(Print_Time_Creating::IDC_TIME_PROGRESS);
    EXPECT_EQ(tall_bar->upper(), 65535);
    EXPECT_EQ(tall_bar->pos(), 65535);

    const std::string before = g_print_time_text;
    PrnBuilder(4, 10).write(dir_ / "b.prn");
    window_.add_job((dir_ / "b.prn").string());
    window_.jobs().set_item_text(2, JobRow::state, "Error");
    struct Case {
        std::string path;
        const char* box;
    };
    std::vector<Case> cases = {
        {(dir_ / "unknown.prn").string(), "There can't find the item in list!"},
        {(dir_ / "b.prn").string(), "The print task error or Generating now!"},
    };
    // A job whose file is a pipe or a device is refused at once: the window waits for it.
    const test_support::UnreadableNames unreadable =
        test_support::make_unreadable_names(dir_.path(), ".prn");
    for (const auto& name : unreadable.names) {
        window_.add_job(name.string());
        cases.push_back({name.string(), "Print file can't read. Please try again later!"});
    }
    const test_support::FifoGuard guard(unreadable.fifos);
    for (const Case& c : cases) {
        Print_Time_Creating::SetPrintFile(c.path);
        Print_Time_Creating failing;
        EXPECT_EQ(failing.do_modal(), Print_Time_Creating::kFailed);
        EXPECT_EQ(boxes_.texts().back(), c.box);
    }
    EXPECT_FALSE(guard.released());
    std::filesystem::remove(dir_ / "a.prn");
    Print_Time_Creating::SetPrintFile(path);
    Print_Time_Creating gone;
    EXPECT_EQ(gone.do_modal(), Print_Time_Creating::kFailed);
    EXPECT_EQ(boxes_.texts().back(), "Print file can't read. Please try again later!");
    EXPECT_EQ(g_print_time_text, before);
}

}  // namespace
