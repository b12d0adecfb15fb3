// The window never ends but through "Exit": every close path hides it (minimises it where the
// desktop has no tray, as offscreen), the tray icon hides a shown window and brings a hidden one
// back in front without keeping it on top, and the tray menu's items do what they say.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/about_dialog.h"
#include "app/job_queue_list.h"
#include "app/main_window_frame.h"
#include "app/main_window_ids.h"
#include "main_window_fixture.h"
#include "platform/autostart.h"
#include "platform/ui/controls.h"
#include "platform/ui/menu.h"
#include "platform/ui/tray_icon.h"
#include "platform/ui/ui_thread.h"
#include "temp_dir.h"

namespace {

namespace ui = platform::ui;
using test_support::pump_events_until;

// A left press of the pointer in the middle of a rectangle of the window.
void press(QWidget* window, const ui::Rect& rect) {
    const QPointF at(rect.left + rect.width() / 2, rect.top + rect.height() / 2);
    QMouseEvent event(QEvent::MouseButtonPress, at, window->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &event);
}

class MainWindowTray : public test_support::MainWindowTest {
  protected:
    MainWindowTray() { previous_ = ui::set_menu_responder({}); }
    ~MainWindowTray() override { ui::set_menu_responder(previous_); }

    // Opens the tray menu with the icon's right button and chooses id; the menu's items as
    // they were offered.
    std::vector<ui::MenuItem> choose_from_tray_menu(CvelquorinDlg& window, int id) {
        std::vector<ui::MenuItem> offered;
        ui::set_menu_responder([&](const ui::Menu& menu, ui::Point) {
            offered = menu.items();
            return id;
        });
        window.send(WM_TRAY_NOTIFY, 0, static_cast<std::intptr_t>(ui::TrayMouse::RightButtonDown));
        ui::set_menu_responder({});
        return offered;
    }
    void tray_left_click(CvelquorinDlg& window) {
        window.send(WM_TRAY_NOTIFY, 0, static_cast<std::intptr_t>(ui::TrayMouse::LeftButtonDown));
    }

    ui::MenuResponder previous_;
};

TEST_F(MainWindowTray, EveryClosePathHidesAndTheWindowComesBackInFrontNotOnTop) {
    const std::vector<std::pair<const char*, std::function<void(QWidget*)>>> paths = {
        {"Esc",
         [](QWidget* w) {
             QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
             QApplication::sendEvent(w, &esc);
         }},
        {"close box",
         [](QWidget* w) {
             QCloseEvent close;
             QApplication::sendEvent(w, &close);
         }},
        {"caption close",
         [](QWidget* w) { press(w, app::MainWindowFrame::close_rect_for(w->width())); }},
        // Minimised, not hidden, also where there is a tray.
        {"caption minimise",
         [](QWidget* w) { press(w, app::MainWindowFrame::minimise_rect_for(w->width())); }},
        {"cancel command", [](QWidget*) {}},
    };
    run([&](CvelquorinDlg& window) {
        // Offscreen there is no tray: the window is minimised, so that it can come back.
        ASSERT_FALSE(window.tray_icon_added());
        for (const auto& [name, close] : paths) {
            SCOPED_TRACE(name);
            ASSERT_FALSE(window.window()->isMinimized());
            if (std::string(name) == "cancel command") {
                window.command(ui::kIdCancel);
            } else {
                close(window.window());
            }
            EXPECT_TRUE(window.in_modal_run());
            EXPECT_TRUE(window.window()->isMinimized());
            // On the task bar, so shown all the same.
            EXPECT_TRUE(window.shown_to_operator());

            // As a later start of the program brings it back.
            window.bring_back();
            EXPECT_FALSE(window.window()->isMinimized());
            EXPECT_TRUE(pump_events_until([&] { return window.window()->isActiveWindow(); }));
            EXPECT_FALSE(window.window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        }
    });
}

// The tray icon's left button hides a shown window, a minimised one included (it is on the task
// bar, not in the tray), and shows a hidden one normally, in front and not kept on top.
TEST_F(MainWindowTray, TheTrayIconHidesAShownOrMinimisedWindowAndShowsAHiddenOne) {
    run([&](CvelquorinDlg& window) {
        for (const bool minimised : {false, true}) {
            SCOPED_TRACE(minimised ? "minimised" : "shown normally");
            if (minimised) {
                ui::ui_call([&] { window.window()->showMinimized(); });
                ASSERT_TRUE(window.window()->isMinimized());
            }
            ASSERT_TRUE(window.shown_to_operator());
            tray_left_click(window);
            EXPECT_FALSE(window.is_visible());
            EXPECT_FALSE(window.shown_to_operator());
            EXPECT_TRUE(window.in_modal_run());
            tray_left_click(window);
            EXPECT_TRUE(window.shown_to_operator());
            EXPECT_FALSE(window.window()->isMinimized());
            // (In front on a real desktop too: the program's desktop tests see it there. The
            // offscreen platform gives no activation back to a window hidden while minimised.)
            if (!minimised) {
                EXPECT_TRUE(pump_events_until([&] { return window.window()->isActiveWindow(); }));
            }
            EXPECT_FALSE(window.window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        }
    });
}

TEST_F(MainWindowTray, TheMenuOffersItsItemsAndExitEndsTheRun) {
    int code = 0;
    QTimer timer;
    timer.setSingleShot(true);
    std::vector<ui::MenuItem> offered;
    QObject::connect(&timer, &QTimer::timeout,
                     [&] { offered = choose_from_tray_menu(dialog, ID_TRAY_EXIT); });
    timer.start(0);
    code = dialog.do_modal();
    EXPECT_EQ(code, ui::kIdCancel);
    std::vector<std::string> texts;
    for (const ui::MenuItem& item : offered) {
        texts.push_back(item.separator ? "-" : item.text);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"About", "-", "Import...", "New Job...", "Setting",
                                               "-", "Auto boot", "Exit"}));
}

TEST_F(MainWindowTray, AutoBootAddsTheEntryThenRemovesItAndTheCheckMarkFollows) {
    test_support::TempDir config;
    test_support::ScopedEnv config_home("XDG_CONFIG_HOME", config.path().c_str());
    const auto checked = [](const std::vector<ui::MenuItem>& items) {
        for (const ui::MenuItem& item : items) {
            if (item.id == ID_TRAY_AUTO_BOOT) {
                return item.checked;
            }
        }
        ADD_FAILURE() << "no Auto boot item";
        return false;
    };
    run([&](CvelquorinDlg& window) {
        EXPECT_FALSE(checked(choose_from_tray_menu(window, ID_TRAY_AUTO_BOOT)));
        EXPECT_TRUE(platform::autostart_entry_exists("Norvaxelduvavarura"));
        const std::string entry =
            test_support::read_file(platform::autostart_entry_path("Norvaxelduvavarura"));
        // The program itself, by its full path.
        EXPECT_NE(entry.find(std::filesystem::read_symlink("/proc/self/exe").string()),
                  std::string::npos)
            << entry;

        EXPECT_TRUE(checked(choose_from_tray_menu(window, ID_TRAY_AUTO_BOOT)));
        EXPECT_FALSE(platform::autostart_entry_exists("Norvaxelduvavarura"));
        EXPECT_FALSE(checked(choose_from_tray_menu(window, 0)));
        EXPECT_TRUE(window.in_modal_run());
    });
}

TEST_F(MainWindowTray, ARightClickOnTheWindowOpensTheTrayMenuButNotOnTheLists) {
    run([&](CvelquorinDlg& window) {
        int menus = 0;
        ui::set_menu_responder([&](const ui::Menu& menu, ui::Point) {
            menus += menu.items().size() == 8 ? 1 : 100;
            return 0;
        });
        const auto right_click = [&](QWidget* at) {
            QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                                    at->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(at, &event);
        };
        // The empty band beside the buttons, then a button, then the job queue.
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(900, 50),
                                window.window()->mapToGlobal(QPoint(900, 50)));
        QApplication::sendEvent(window.window(), &event);
        EXPECT_EQ(menus, 1);
        right_click(window.item(IDC_IMPORT_BUTTON)->widget());
        EXPECT_EQ(menus, 2);
        right_click(window.job_queue_list().widget());
        EXPECT_EQ(menus, 2);
        ui::set_menu_responder({});
    });
}

TEST_F(MainWindowTray, AboutShowsTheVersionAndEndsWithOk) {
    run([&](CvelquorinDlg& window) {
        bool shown = false;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (top->isVisible() && top->windowTitle() == "About Norvaxel duvavarura") {
                    shown = true;
                    const auto buttons = top->findChildren<QPushButton*>();
                    ASSERT_EQ(buttons.size(), 1);
                    buttons[0]->click();
                }
            }
        });
        timer.start(1);
        choose_from_tray_menu(window, ID_TRAY_ABOUT);
        EXPECT_TRUE(shown);
        EXPECT_TRUE(window.in_modal_run());
    });
    aboutus about;
    std::vector<std::string> texts;
    for (const QLabel* label : about.window()->findChildren<QLabel*>()) {
        texts.push_back(label->text().toStdString());
    }
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Version:     V3.2.1.1.20190911_Beta"),
              texts.end());
}

// The tray menu's "Setting" opens the Setting dialog over the window, as button 1015 does.
TEST_F(MainWindowTray, TheTrayMenusSettingOpensTheSettingDialog) {
    run([&](CvelquorinDlg& window) {
        std::string opened;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            ui::Dialog* innermost = ui::Dialog::innermost_modal();
            if (innermost != nullptr && innermost != &window) {
                opened = innermost->caption();
                innermost->end_dialog(ui::kIdCancel);
            }
        });
        timer.start(1);
        choose_from_tray_menu(window, ID_TRAY_SETTING);
        EXPECT_EQ(opened, "Setting");
        EXPECT_TRUE(window.in_modal_run());
    });
}

}  // namespace
