#include "platform/ui/tray_icon.h"

#include <QIcon>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QWidget>

#include "platform/ui/dialog.h"
#include "platform/ui/qt_convert.h"
#include "platform/ui/ui_thread.h"

namespace platform::ui {

bool tray_available() {
    return ui_call([] { return QSystemTrayIcon::isSystemTrayAvailable(); });
}

TrayIcon::~TrayIcon() {
    ui_call([&] { delete icon_; });
}

bool TrayIcon::add(Dialog& owner, std::uint32_t message, const Bitmap& icon, std::string_view tip) {
    return ui_call([&] {
        if (icon_ != nullptr) {
            return true;
        }
        if (!QSystemTrayIcon::isSystemTrayAvailable()) {
            return false;
        }
        icon_ = new QSystemTrayIcon(QIcon(QPixmap::fromImage(icon.image())));
        icon_->setToolTip(to_qt(tip));
        QObject::connect(
            icon_, &QSystemTrayIcon::activated, owner.window(),
            [&owner, message](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) {
                    owner.send(message, 0, static_cast<std::intptr_t>(TrayMouse::LeftButtonDown));
                } else if (reason == QSystemTrayIcon::Context) {
                    owner.send(message, 0, static_cast<std::intptr_t>(TrayMouse::RightButtonDown));
                }
            });
        icon_->show();
        return true;
    });
}

bool TrayIcon::added() const {
    return ui_call([&] { return icon_ != nullptr; });
}

}  // namespace platform::ui
