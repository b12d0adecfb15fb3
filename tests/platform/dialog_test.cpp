#include "platform/ui/dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QRegion>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <climits>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "message_box_recorder.h"
#include "platform/clock.h"
#include "platform/ui/controls.h"
#include "platform/ui/draw_context.h"
#include "platform/ui/file_dialog.h"
#include "platform/ui/list_ctrl.h"
#include "platform/ui/menu.h"
#include "platform/ui/message_box.h"
#include "platform/ui/screen.h"
#include "platform/ui/tray_icon.h"
#include "qt_application.h"

namespace {

namespace ui = platform::ui;

constexpr std::uint32_t kStart = 0x465;
constexpr int kList = 1006;

class DialogTest : public ::testing::Test {
  protected:
    test_support::QtApplication app_;
};

// A dialog that posts itself a start message when it opens, as the work dialogs do.
class StartingDialog : public ui::Dialog {
  public:
    explicit StartingDialog(std::function<void()> on_start)
        : Dialog("Test", ui::Size{400, 300}), on_start_(std::move(on_start)) {
        on_message(kStart, [this](std::uintptr_t, std::intptr_t) {
            on_start_();
            return 0;
        });
    }

    using Dialog::on_command;
    using Dialog::on_message;

  protected:
    void on_init_dialog() override { post(kStart); }

  private:
    std::function<void()> on_start_;
};

TEST_F(DialogTest, WorkerChangesCellsWhileNestedModalRunsAreOpen) {
    test_support::MessageBoxRecorder recorder(ui::Answer::Retry);
    std::thread worker;
    ui::Dialog inner("Inner", ui::Size{100, 100});
    int inner_code = -1;
    StartingDialog outer([&] {
        // The worker's calls are served first by the inner run, then by the outer one.
        worker = std::thread([&] {
            auto* list = outer.control<ui::ListCtrl>(kList);
            for (int i = 0; i < 40; ++i) {
                const int row = list->insert_item(list->item_count(), "job" + std::to_string(i));
                list->set_item_text(row, 1, "Wait");
            }
            while (!inner.in_modal_run()) {
                std::this_thread::yield();
            }
            list->delete_item(0);
            inner.end_dialog(3);
            list->set_item_text(0, 1, list->item_text(0, 0) + " printed");
            const ui::Answer answer =
                ui::message_box("Transfer failed", "", ui::Buttons::RetryCancel, ui::Icon::Stop);
            outer.end_dialog(answer == ui::Answer::Retry ? 7 : 8);
        });
        inner_code = inner.do_modal();
    });
    auto& list = outer.add<ui::ListCtrl>(kList, ui::Rect::from_size(0, 0, 400, 300));
    list.insert_column(0, "Job Title", 200);
    list.insert_column(1, "State", 100);

    EXPECT_EQ(outer.do_modal(), 7);
    worker.join();
    EXPECT_EQ(inner_code, 3);
    ASSERT_EQ(list.item_count(), 39);
    EXPECT_EQ(list.item_text(0, 0), "job1");
    EXPECT_EQ(list.item_text(0, 1), "job1 printed");
    EXPECT_EQ(list.item_text(38, 1), "Wait");
    EXPECT_EQ(recorder.texts(), std::vector<std::string>{"Transfer failed"});
    EXPECT_FALSE(outer.is_visible());
}

TEST_F(DialogTest, SeveralWorkersShareAListWithoutALock) {
    constexpr int kWorkers = 3;
    constexpr int kRows = 150;
    std::vector<std::thread> workers;
    std::atomic<int> finished{0};
    StartingDialog dialog([&] {
        for (int w = 0; w < kWorkers; ++w) {
            workers.emplace_back([&, w] {
                auto* list = dialog.control<ui::ListCtrl>(kList);
                for (int i = 0; i < kRows; ++i) {
                    // Appended in one call (an index past the end), so the row keeps the
                    // index it got: the count read by a call of its own could be stale by
                    // the time of the insert, as every call is a message of its own.
                    const int row = list->insert_item(INT_MAX, std::to_string(w));
                    list->set_item_text(row, 1, std::to_string(i));
                }
                if (++finished == kWorkers) {
                    dialog.end_dialog(1);
                }
            });
        }
    });
    auto& list = dialog.add<ui::ListCtrl>(kList, ui::Rect::from_size(0, 0, 400, 300));
    list.insert_column(0, "Worker", 100);
    list.insert_column(1, "Row", 100);
    EXPECT_EQ(dialog.do_modal(), 1);
    for (std::thread& worker : workers) {
        worker.join();
    }
    ASSERT_EQ(list.item_count(), kWorkers * kRows);
    std::vector<int> next(kWorkers, 0);
    for (int row = 0; row < list.item_count(); ++row) {
        // Each worker's rows keep their order.
        const int w = std::stoi(list.item_text(row, 0));
        EXPECT_EQ(list.item_text(row, 1), std::to_string(next[w]++));
    }
}

TEST_F(DialogTest, EndingWhileOpeningReturnsWithoutShowing) {
    class Failing : public ui::Dialog {
      public:
        Failing() : Dialog("Failing", ui::Size{10, 10}) {}
        bool shown = false;

      protected:
        void on_init_dialog() override {
            end_dialog(0);
            shown = is_visible();
        }
    } dialog;
    EXPECT_EQ(dialog.do_modal(), 0);
    EXPECT_FALSE(dialog.shown);
}

TEST_F(DialogTest, AnEndWhileNoRunIsOpenIsIgnored) {
    int starts = 0;
    StartingDialog dialog([&] {
        ++starts;
        dialog.end_dialog(10 + starts);
    });
    // Bounds the test should a run wait for an end that was ignored.
    QTimer::singleShot(5000, dialog.window(), [&] { dialog.end_dialog(-1); });
    // From a worker before the first run, as a late close of a wait that was cancelled.
    std::atomic<bool> ended{false};
    std::thread worker([&] {
        dialog.end_dialog(6);
        ended = true;
    });
    ASSERT_TRUE(test_support::pump_events_until([&] { return ended.load(); }));
    worker.join();
    EXPECT_EQ(dialog.do_modal(), 11);
    // From the UI thread after a run has ended.
    dialog.end_dialog(7);
    EXPECT_EQ(dialog.do_modal(), 12);
    EXPECT_EQ(starts, 2);
    EXPECT_FALSE(dialog.in_modal_run());
}

TEST_F(DialogTest, ARunOpenedAgainFromTheDialogsOwnHandlerLeavesTheOuterRunEndable) {
    int starts = 0;
    int inner_code = 0;
    StartingDialog dialog([&] {
        if (++starts == 1) {
            inner_code = dialog.do_modal();
            dialog.end_dialog(5);
        } else {
            dialog.end_dialog(4);
        }
    });
    // Were the outer run taken for closed, nothing could end it: the test would hang.
    EXPECT_EQ(dialog.do_modal(), 5);
    EXPECT_EQ(inner_code, 4);
}

TEST_F(DialogTest, EndingADialogStopsItsTimers) {
    platform::set_time_scale(100.0);
    class Ticking : public ui::Dialog {
      public:
        Ticking() : Dialog("Ticking", ui::Size{10, 10}) {}
        int ticks = 0;

      protected:
        // 1000 ms of program time: 10 ms at this scale. Neither timer is killed by the dialog.
        void on_init_dialog() override {
            set_timer(1, 1000);
            set_timer(2, 1000);
        }
        void on_timer(std::uint32_t id) override {
            if (id == 1) {
                ++ticks;
                end_dialog(3);
            }
        }
    } dialog;
    EXPECT_EQ(dialog.do_modal(), 3);
    EXPECT_EQ(dialog.ticks, 1);
    // Twenty periods later nothing more has run.
    test_support::pump_events_until([] { return false; }, 200);
    EXPECT_EQ(dialog.ticks, 1);
    // A new run starts its timers again.
    EXPECT_EQ(dialog.do_modal(), 3);
    EXPECT_EQ(dialog.ticks, 2);
    platform::set_time_scale(1.0);
}

TEST_F(DialogTest, MessagesRunInOrderAndTimersRunOnTheScaledClock) {
    platform::set_time_scale(100.0);
    class Timed : public ui::Dialog {
      public:
        Timed() : Dialog("Timed", ui::Size{10, 10}) {
            for (std::uint32_t message : {0x401u, 0x402u}) {
                on_message(message, [this, message](std::uintptr_t w, std::intptr_t l) {
                    log.push_back(std::to_string(message - 0x400) + ":" + std::to_string(w) + "," +
                                  std::to_string(l));
                    return static_cast<std::intptr_t>(w + 1);
                });
            }
        }
        std::vector<std::string> log;
        int ticks = 0;

      protected:
        void on_init_dialog() override {
            post(0x402, 1, 2);
            post(0x499);  // no handler: ignored
            post(0x401, 3, 4);
            // 1000 ms of program time: 10 ms at this scale.
            set_timer(5, 1000);
        }
        void on_timer(std::uint32_t id) override {
            log.push_back("timer" + std::to_string(id));
            if (++ticks == 3) {
                kill_timer(5);
                end_dialog(9);
            }
        }
    } dialog;
    EXPECT_EQ(dialog.send(0x401, 41), 42);
    EXPECT_EQ(dialog.send(0x499), 0);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(dialog.do_modal(), 9);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    EXPECT_EQ(dialog.log,
              (std::vector<std::string>{"1:41,0", "2:1,2", "1:3,4", "timer5", "timer5", "timer5"}));
    platform::set_time_scale(1.0);
}

TEST_F(DialogTest, ControlsAreFoundByIdAndWorkFromAnyThread) {
    class Form : public ui::Dialog {
      public:
        Form() : Dialog("Form", ui::Size{300, 300}) {
            add<ui::Button>(10, ui::Rect::from_size(0, 0, 80, 25), "Print");
            add<ui::ImageButton>(11, ui::Rect::from_size(0, 30, 40, 40),
                                 ui::Bitmap(32, 32, ui::Rgb{0, 128, 0}));
            add<ui::Static>(12, ui::Rect::from_size(0, 80, 100, 20), "Job queue ( 0 )");
            add<ui::Picture>(13, ui::Rect::from_size(0, 100, 20, 20));
            add<ui::ComboBox>(14, ui::Rect::from_size(0, 120, 100, 25));
            add<ui::Edit>(15, ui::Rect::from_size(0, 150, 100, 25));
            add<ui::ProgressBar>(16, ui::Rect::from_size(0, 180, 100, 20));
            add<ui::CheckBox>(17, ui::Rect::from_size(0, 210, 100, 20), "Rotary");
            on_command(10, [this] { commands.push_back(10); });
            on_command(17, [this] { commands.push_back(17); });
            control<ui::ComboBox>(14)->on_selection_change([this] { ++selection_changes; });
            control<ui::Edit>(15)->on_change([this] { ++edits; });
        }
        std::vector<int> commands;
        int selection_changes = 0;
        int edits = 0;
    } form;

    std::atomic<bool> done{false};
    std::thread worker([&] {
        form.control<ui::Static>(12)->set_text("Job queue ( 3 )");
        form.enable_control(10, false);
        form.control<ui::Button>(10)->click();  // disabled: no command
        form.enable_control(10, true);
        form.control<ui::Button>(10)->click();
        form.show_control(11, false);
        form.enable_control(999, false);  // no such control: nothing
        form.control<ui::Picture>(13)->set_bitmap(ui::Bitmap(8, 8, ui::Rgb{255, 0, 0}));
        auto* combo = form.control<ui::ComboBox>(14);
        combo->add_item("N/A");
        combo->add_item("YMoveB");
        combo->set_current(1);
        form.control<ui::Edit>(15)->set_text("58");
        auto* bar = form.control<ui::ProgressBar>(16);
        bar->set_range(0, 160);
        bar->set_pos(100);
        bar->set_pos(500);
        form.control<ui::CheckBox>(17)->click();
        // A control made from a worker is built on the UI thread all the same.
        form.add<ui::Static>(18, ui::Rect::from_size(0, 240, 100, 20), "late").set_text("later");
        done = true;
    });
    ASSERT_TRUE(test_support::pump_events_until([&] { return done.load(); }));
    worker.join();

    EXPECT_EQ(form.control<ui::Button>(12), nullptr);  // another type
    EXPECT_EQ(form.item(999), nullptr);
    EXPECT_EQ(form.control<ui::Static>(12)->text(), "Job queue ( 3 )");
    EXPECT_EQ(form.commands, (std::vector<int>{10, 17}));
    EXPECT_FALSE(form.item(11)->is_visible());
    EXPECT_TRUE(form.item(10)->is_enabled());
    EXPECT_EQ(form.control<ui::Picture>(13)->bitmap().pixel(0, 0), (ui::Rgb{255, 0, 0}));
    // The program's own choice is no operator's selection change.
    EXPECT_EQ(form.control<ui::ComboBox>(14)->current(), 1);
    EXPECT_EQ(form.control<ui::ComboBox>(14)->item_text(1), "YMoveB");
    EXPECT_EQ(form.selection_changes, 0);
    EXPECT_EQ(form.edits, 1);
    EXPECT_EQ(form.control<ui::ProgressBar>(16)->pos(), 160);
    EXPECT_TRUE(form.control<ui::CheckBox>(17)->checked());
    ASSERT_NE(form.control<ui::Static>(18), nullptr);
    EXPECT_EQ(form.control<ui::Static>(18)->text(), "later");
    EXPECT_EQ(form.control<ui::Static>(18)->widget()->thread(), qApp->thread());
}

TEST_F(DialogTest, EscEnterAndCloseEndTheRunUnlessTheDialogHandlesThem) {
    struct Case {
        int key;  // 0: the caption's close box
        bool handled;
        int expected;
    };
    for (const Case& c :
         {Case{Qt::Key_Escape, false, ui::kIdCancel}, Case{Qt::Key_Return, false, ui::kIdOk},
          Case{0, false, ui::kIdCancel}, Case{0, true, 5}}) {
        StartingDialog* self = nullptr;
        StartingDialog dialog([&] {
            if (c.key == 0) {
                self->window()->close();
            } else {
                QKeyEvent press(QEvent::KeyPress, c.key, Qt::NoModifier);
                QApplication::sendEvent(self->window(), &press);
            }
        });
        self = &dialog;
        if (c.handled) {
            // As the main window hides instead of closing.
            dialog.on_command(ui::kIdCancel, [&] {
                dialog.show(false);
                dialog.end_dialog(5);
            });
        }
        EXPECT_EQ(dialog.do_modal(), c.expected) << c.key;
    }
}

TEST_F(DialogTest, ContextMenuGrayedItemsCannotBeChosen) {
    ui::Menu menu;
    menu.add_item(1, "Move Up").add_item(2, "Set", true).add_separator().add_item(3, "Preview");
    menu.set_grayed(3, true);
    std::vector<int> grayed;
    int choice = 0;
    const ui::MenuResponder previous =
        ui::set_menu_responder([&](const ui::Menu& shown, ui::Point) {
            grayed.clear();
            for (const ui::MenuItem& item : shown.items()) {
                if (item.grayed) {
                    grayed.push_back(item.id);
                }
            }
            return choice;
        });
    choice = 2;
    EXPECT_EQ(menu.track(ui::Point{5, 5}), 0);
    choice = 1;
    int from_worker = -1;
    std::thread worker([&] { from_worker = menu.track(ui::Point{5, 5}); });
    worker.join();
    EXPECT_EQ(from_worker, 1);
    EXPECT_EQ(grayed, (std::vector<int>{2, 3}));
    ui::set_menu_responder(previous);
}

TEST_F(DialogTest, FileDialogsFromAWorkerAreAnsweredByTheResponder) {
    std::vector<ui::FileDialogRecord> asked;
    const ui::FileDialogResponder previous =
        ui::set_file_dialog_responder([&](const ui::FileDialogRecord& record) {
            asked.push_back(record);
            return record.kind == ui::FileDialogKind::Open
                       ? std::vector<std::string>{"/jobs/a.prn", "/jobs/b.prn"}
                       : std::vector<std::string>{};
        });
    std::vector<std::string> opened;
    std::optional<std::string> saved = "untouched";
    std::thread worker([&] {
        opened = ui::open_file_dialog(
            {"Import File", {{"Postscript file(*.prn)", "*.PRN"}}, "", "", true, true});
        saved = ui::save_file_dialog({"Save File", {}, "prn", "", false, true});
    });
    worker.join();
    EXPECT_EQ(opened, (std::vector<std::string>{"/jobs/a.prn", "/jobs/b.prn"}));
    EXPECT_FALSE(saved.has_value());
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].options.title, "Import File");
    EXPECT_EQ(asked[1].kind, ui::FileDialogKind::Save);
    ui::set_file_dialog_responder(previous);
}

TEST_F(DialogTest, WithoutATrayTheIconIsNotAddedAndSaysSo) {
    StartingDialog owner([] {});
    int messages = 0;
    owner.on_message(0x473, [&](std::uintptr_t, std::intptr_t) { return ++messages; });
    ui::TrayIcon tray;
    ASSERT_FALSE(ui::tray_available());  // the offscreen platform has none
    EXPECT_FALSE(tray.add(owner, 0x473, ui::Bitmap(16, 16, ui::Rgb{}), "Norvaxel"));
    EXPECT_FALSE(tray.added());
    EXPECT_EQ(messages, 0);
}

TEST_F(DialogTest, ShownNormallyFromMinimisedOrHiddenAndTheMinimiseBoxKeepsItShown) {
    StartingDialog dialog([] {});
    dialog.show(true);
    dialog.set_minimize_box(true);
    EXPECT_TRUE(dialog.has_minimize_box());
    EXPECT_TRUE(dialog.is_visible());
    dialog.window()->showMinimized();
    dialog.show_normal_in_front();
    EXPECT_TRUE(dialog.is_visible());
    EXPECT_FALSE(dialog.window()->isMinimized());
    dialog.show(false);
    dialog.show_normal_in_front();
    EXPECT_TRUE(dialog.is_visible());
}

TEST_F(DialogTest, TheInnermostOpenRunIsFoundAndADialogOpensCentredOverItsOwner) {
    std::vector<ui::Dialog*> seen;
    StartingDialog* outer_self = nullptr;
    StartingDialog inner([&] {
        seen.push_back(ui::Dialog::innermost_modal());
        ui::Dialog::innermost_modal()->end_dialog(ui::kIdCancel);
    });
    inner.move(ui::Rect::from_size(0, 0, 200, 100));
    StartingDialog outer([&] {
        seen.push_back(ui::Dialog::innermost_modal());
        ui::run_modal_over(inner, outer_self, ui::Rgb::from_bgr(0xF2F2F2));
        seen.push_back(ui::Dialog::innermost_modal());
        outer_self->end_dialog(ui::kIdOk);
    });
    outer_self = &outer;
    outer.move(ui::Rect::from_size(100, 80, 600, 400));
    EXPECT_EQ(ui::Dialog::innermost_modal(), nullptr);
    EXPECT_EQ(outer.do_modal(), ui::kIdOk);
    EXPECT_EQ(seen, (std::vector<ui::Dialog*>{&outer, &inner, &outer}));
    EXPECT_EQ(ui::Dialog::innermost_modal(), nullptr);
    const ui::Rect o = outer.window_rect();
    const ui::Rect i = inner.window_rect();
    EXPECT_EQ(i.width(), 200);
    EXPECT_EQ(inner.background(), ui::Rgb::from_bgr(0xF2F2F2));
    // Centred up to the width of a window frame, which the desktop draws.
    EXPECT_NEAR(i.left + i.width() / 2, o.left + o.width() / 2, 4);
    EXPECT_NEAR(i.top + i.height() / 2, o.top + o.height() / 2, 4);
}

TEST_F(DialogTest, AnEditsCaretCountsCharactersAndItsHandlerMayChangeTheTextAgain) {
    StartingDialog form([] {});
    auto& edit = form.add<ui::Edit>(20, ui::Rect::from_size(0, 0, 100, 25));
    std::vector<std::string> runs;
    // Keeps three characters, as a filter does: the text it sets runs the handler again.
    edit.on_change([&] {
        runs.push_back(edit.text());
        const QString text = QString::fromStdString(edit.text());
        if (text.size() > 3) {
            edit.set_text(text.left(3).toStdString());
            edit.set_caret(1);
        }
    });
    const std::string two_bytes = "\xC3\xA4";  // one character
    edit.set_text(two_bytes + "bcdef");
    EXPECT_EQ(edit.text(), two_bytes + "bc");
    EXPECT_EQ(runs, (std::vector<std::string>{two_bytes + "bcdef", two_bytes + "bc"}));
    EXPECT_EQ(edit.caret(), 1);
    edit.set_caret(99);
    EXPECT_EQ(edit.caret(), 3);
    edit.set_caret(-4);
    EXPECT_EQ(edit.caret(), 0);
}

TEST_F(DialogTest, AGroupBoxFramesTheControlsMadeAfterItWithoutCoveringThem) {
    StartingDialog form([] {});
    auto& group = form.add<ui::GroupBox>(-1, ui::Rect::from_size(10, 10, 200, 100), "File set");
    auto& combo = form.add<ui::ComboBox>(21, ui::Rect::from_size(20, 40, 120, 26));
    EXPECT_EQ(group.title(), "File set");
    EXPECT_EQ(form.window()->childAt(30, 50), combo.widget());
    EXPECT_EQ(form.window()->childAt(180, 90), group.widget());
}

TEST(ScreenMetrics, ThePretendedScreenStandsUntilCleared) {
    test_support::QtApplication app;
    const ui::ScreenMetrics real = ui::screen_metrics();
    EXPECT_GT(real.full_screen_width, 0);
    EXPECT_GE(real.screen_height, real.work_area.height());
    ui::set_screen_metrics(ui::ScreenMetrics{1024, ui::Rect{0, 0, 1024, 728}, 768, 1024});
    EXPECT_EQ(ui::screen_metrics().work_area.bottom, 728);
    ui::set_screen_metrics(std::nullopt);
    EXPECT_EQ(ui::screen_metrics().full_screen_width, real.full_screen_width);
}

}  // namespace

namespace {

// A frame that answers every press with what the test sets, and records what it was handed.
class ScriptedFrame : public ui::OwnFrame {
  public:
    ui::FramePress answer = ui::FramePress::Nothing;
    std::vector<ui::Point> presses;
    std::vector<std::optional<ui::Point>> moves;
    int paints = 0;

    Margins margins() const override { return Margins{5, 30, 6, 7}; }
    void paint(ui::DrawContext& dc, ui::Size window) override {
        ++paints;
        dc.fill_rect(ui::Rect::from_size(0, 0, window.width, window.height), ui::Rgb{200, 0, 0});
    }
    ui::FramePress press(ui::Point at, ui::Size, bool) override {
        presses.push_back(at);
        return answer;
    }
    bool hover(std::optional<ui::Point> at, ui::Size) override {
        moves.push_back(at);
        return false;
    }
    std::optional<ui::Rect> region(ui::Size window) const override {
        return ui::Rect{1, 1, window.width - 1, window.height - 1};
    }
};

void send_mouse(QWidget* window, QEvent::Type type, QPoint at, Qt::MouseButton button,
                Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(at), QPointF(window->mapToGlobal(at)), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(window, &event);
}

}  // namespace

TEST_F(DialogTest, AnOwnFrameKeepsTheClientAreaAndTakesThePointerOverTheFrame) {
    StartingDialog dialog([] {});
    auto& button = dialog.add<ui::Button>(7, ui::Rect::from_size(10, 10, 50, 20), "B");
    auto owned = std::make_unique<ScriptedFrame>();
    ScriptedFrame& frame = *owned;
    dialog.set_own_frame(std::move(owned));

    // The client area keeps its size and the control its place in it; the window grows.
    EXPECT_EQ(dialog.client_size().width, 400);
    EXPECT_EQ(dialog.client_size().height, 300);
    EXPECT_EQ(dialog.window_rect().width(), 400 + 11);
    EXPECT_EQ(dialog.window_rect().height(), 300 + 37);
    EXPECT_EQ(button.rect(), ui::Rect::from_size(10, 10, 50, 20));
    EXPECT_EQ(button.widget()->geometry(), QRect(15, 40, 50, 20));
    auto& later = dialog.add<ui::Button>(8, ui::Rect::from_size(0, 0, 5, 5), "L");
    EXPECT_EQ(later.widget()->geometry(), QRect(5, 30, 5, 5));
    EXPECT_TRUE(dialog.window()->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(dialog.window()->mask(), QRegion(1, 1, 411 - 2, 337 - 2));

    // The frame paints, clipped to itself: the client area keeps the dialog's colour.
    dialog.set_background(ui::Rgb{0, 0, 200});
    const ui::Bitmap picture = dialog.render();
    EXPECT_GT(frame.paints, 0);
    EXPECT_EQ(picture.pixel(2, 2), (ui::Rgb{200, 0, 0}));
    EXPECT_EQ(picture.pixel(200, 200), (ui::Rgb{0, 0, 200}));

    int cancels = 0;
    dialog.on_command(ui::kIdCancel, [&] { ++cancels; });
    dialog.show(true);
    QWidget* window = dialog.window();
    // A press in the client area is not the frame's.
    send_mouse(window, QEvent::MouseButtonPress, QPoint(100, 100), Qt::LeftButton, Qt::LeftButton);
    EXPECT_TRUE(frame.presses.empty());

    frame.answer = ui::FramePress::Close;
    send_mouse(window, QEvent::MouseButtonPress, QPoint(380, 10), Qt::LeftButton, Qt::LeftButton);
    ASSERT_EQ(frame.presses.size(), 1u);
    EXPECT_EQ(frame.presses[0].x, 380);
    EXPECT_EQ(frame.presses[0].y, 10);
    EXPECT_EQ(cancels, 1);
    EXPECT_TRUE(window->isVisible());

    // Offscreen no window manager moves the window: it follows the pointer itself.
    frame.answer = ui::FramePress::Drag;
    const QPoint before = window->pos();
    send_mouse(window, QEvent::MouseButtonPress, QPoint(100, 10), Qt::LeftButton, Qt::LeftButton);
    send_mouse(window, QEvent::MouseMove, QPoint(130, 50), Qt::NoButton, Qt::LeftButton);
    send_mouse(window, QEvent::MouseButtonRelease, QPoint(130, 50), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(window->pos(), before + QPoint(30, 40));
    // Moves without a button only tell the frame where the pointer is: over the frame, or not.
    frame.moves.clear();
    send_mouse(window, QEvent::MouseMove, QPoint(100, 15), Qt::NoButton, Qt::NoButton);
    send_mouse(window, QEvent::MouseMove, QPoint(100, 100), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(window->pos(), before + QPoint(30, 40));
    ASSERT_EQ(frame.moves.size(), 2u);
    ASSERT_TRUE(frame.moves[0].has_value());
    EXPECT_EQ(frame.moves[0]->y, 15);
    EXPECT_FALSE(frame.moves[1].has_value());
    // Straight from the frame onto a control is a move off the frame too.
    send_mouse(window, QEvent::MouseMove, QPoint(100, 15), Qt::NoButton, Qt::NoButton);
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(button.widget(), &enter);
    ASSERT_EQ(frame.moves.size(), 4u);
    EXPECT_FALSE(frame.moves[3].has_value());

    frame.answer = ui::FramePress::Minimise;
    send_mouse(window, QEvent::MouseButtonPress, QPoint(350, 10), Qt::LeftButton, Qt::LeftButton);
    EXPECT_TRUE(window->isMinimized());
    EXPECT_EQ(cancels, 1);
}

TEST_F(DialogTest, ARunThatBlocksNoOtherWindowLeavesThemOpenToInput) {
    for (const bool blocks : {true, false}) {
        QWidget* modal = reinterpret_cast<QWidget*>(1);
        StartingDialog dialog([&] {
            modal = QApplication::activeModalWidget();
            ui::Dialog::innermost_modal()->end_dialog(ui::kIdOk);
        });
        dialog.set_application_modal(blocks);
        EXPECT_EQ(dialog.do_modal(), ui::kIdOk);
        EXPECT_EQ(modal, blocks ? dialog.window() : nullptr) << blocks;
    }
}
