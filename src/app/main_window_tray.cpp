// The main window never ends while the program runs: Esc and the close box hide it to the tray,
// the tray icon shows and hides it, and the tray menu's "Exit" is the one way out. Also the
// "Auto boot" choice, which puts the program into the desktop session's autostart.

#include <QAbstractScrollArea>
#include <QContextMenuEvent>
#include <QEvent>
#include <QGuiApplication>
#include <QObject>
#include <QWidget>

#include "app/about_dialog.h"
#include "app/auto_boot.h"
#include "app/main_window_ids.h"
#include "app/velquorin_dlg.h"
#include "platform/process.h"
#include "platform/ui/menu.h"
#include "settings/setting_dialog.h"

namespace {

namespace ui = platform::ui;

// On a desktop without a tray, a right click on the window where no control takes it opens the
// tray menu, so that "Exit" and the other items are there all the same. With a tray the menu
// is the icon's.
class TrayMenuOnRightClick : public QObject {
  public:
    TrayMenuOnRightClick(QObject* parent, CvelquorinDlg& window)
        : QObject(parent), window_(window) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // The lists keep their own context menus.
        if (event->type() == QEvent::ContextMenu && watched == window_.window() &&
            !window_.tray_icon_added() &&
            !inside_list(static_cast<QContextMenuEvent*>(event)->pos())) {
            window_.OnTrayMenu();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    bool inside_list(QPoint at) const {
        for (QWidget* child = window_.window()->childAt(at); child != nullptr;
             child = child->parentWidget()) {
            if (qobject_cast<QAbstractScrollArea*>(child) != nullptr) {
                return true;
            }
        }
        return false;
    }

    CvelquorinDlg& window_;
};

}  // namespace

void CvelquorinDlg::connect_tray_commands() {
    on_message(WM_TRAY_NOTIFY, [this](std::uintptr_t, std::intptr_t lparam) {
        OnTrayNotify(lparam);
        return std::intptr_t{0};
    });
    on_command(ID_TRAY_ABOUT, [this] { OnAbout(); });
    on_command(ID_TRAY_IMPORT, [this] { OnBnClickedImport(); });
    on_command(ID_TRAY_NEW_JOB, [this] { OnTrayNewJob(); });
    on_command(ID_TRAY_SETTING, [this] { open_setting_dialog(this); });
    on_command(IDC_SETTING_BUTTON, [this] { open_setting_dialog(this); });
    on_command(ID_TRAY_AUTO_BOOT, [this] { OnAutoBoot(); });
    // The dialog's own cancel: the end of the run, and with it the end of the program.
    on_command(ID_TRAY_EXIT, [this] { end_dialog(ui::kIdCancel); });
    ui::ui_call([&] { window()->installEventFilter(new TrayMenuOnRightClick(window(), *this)); });
}

void CvelquorinDlg::on_cancel() {
    OnBnClickedClose();
}

void CvelquorinDlg::OnBnClickedClose() {
    // Hiding never stops a print. Without a tray a hidden window could not be brought back, so
    // it is minimised instead.
    if (tray_icon_added()) {
        show(false);
    } else {
        ui::ui_call([&] { window()->showMinimized(); });
    }
}

bool CvelquorinDlg::shown_to_operator() const {
    // A minimised window is shown: it is on the desktop's task bar, not hidden to the tray.
    return ui::ui_call([&] { return window()->isVisible(); });
}

void CvelquorinDlg::bring_back() {
    show_normal_in_front();
    // A window manager may keep a minimised window down when the program itself asks for it
    // back; the request of a task bar it honours.
    if (QGuiApplication::platformName() == "xcb") {
        platform::show_window_normal(
            static_cast<platform::WindowId>(ui::ui_call([&] { return window()->winId(); })));
    }
}

void CvelquorinDlg::OnTrayNotify(std::intptr_t mouse) {
    switch (static_cast<ui::TrayMouse>(mouse)) {
        case ui::TrayMouse::LeftButtonDown:
            // In front, but never kept on top of the layout designer and the other programs; a
            // minimised window counts as shown, so the click hides it.
            if (shown_to_operator()) {
                show(false);
            } else {
                bring_back();
            }
            break;
        case ui::TrayMouse::RightButtonDown:
            OnTrayMenu();
            break;
    }
}

void CvelquorinDlg::OnTrayMenu() {
    ui::Menu menu;
    menu.add_item(ID_TRAY_ABOUT, "About")
        .add_separator()
        .add_item(ID_TRAY_IMPORT, "Import...")
        .add_item(ID_TRAY_NEW_JOB, "New Job...")
        .add_item(ID_TRAY_SETTING, "Setting")
        .add_separator()
        .add_item(ID_TRAY_AUTO_BOOT, "Auto boot", false, OnUpdateAutoBoot())
        .add_item(ID_TRAY_EXIT, "Exit");
    if (const int chosen = menu.track(ui::cursor_pos()); chosen != 0) {
        command(chosen);
    }
}

bool CvelquorinDlg::OnUpdateAutoBoot() const {
    return app::auto_boot_on();
}

void CvelquorinDlg::OnAutoBoot() {
    app::toggle_auto_boot();
}

void CvelquorinDlg::OnAbout() {
    // The about box keeps its own colours.
    aboutus about;
    about.do_modal();
}
