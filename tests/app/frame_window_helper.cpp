// A window with the main window's own frame on the desktop of $DISPLAY, for the tests that
// drag it and press its caption buttons through a real window manager. Its caption's close
// ends it. With the argument "maximised" it opens maximised.

#include <QApplication>
#include <QWidget>

#include <cstring>
#include <memory>

#include "app/main_window_frame.h"
#include "platform/ui/dialog.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    platform::ui::Dialog window("Frame test window", platform::ui::Size{500, 300});
    window.set_own_frame(std::make_unique<app::MainWindowFrame>("Frame test"));
    window.move(platform::ui::Rect::from_size(60, 60, 508, 369));
    if (argc > 1 && std::strcmp(argv[1], "maximised") == 0) {
        window.window()->setWindowState(Qt::WindowMaximized);
    }
    return window.do_modal();
}
