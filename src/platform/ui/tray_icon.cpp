#include "platform/ui/tray_icon.h"

#include <QIcon>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include "platform/ui/dialog.h"
#include "platform/ui/qt_convert.h"
#include "platform/ui/ui_thread.h"

namespace platform::ui {

bool tray_available() {
    return ui_call([] { return QSystemTrayIcon::isSystemTrayAvailable(); });
}

TrayIcon::~TrayIcon() {
    ui_call([&] {
        delete watch_;
        delete icon_;
    });
}

bool TrayIcon::add(Dialog& owner, std::uint32_t message, const Bitmap& icon, std::string_view tip) {
    return ui_call([&] {
        if (icon_ != nullptr || watch_ != nullptr) {
            return icon_ != nullptr;
        }
        if (QSystemTrayIcon::isSystemTrayAvailable()) {
            create(owner, message, icon.image(), to_qt(tip));
            return true;
        }
        watch_ = new QTimer;
        QObject::connect(watch_, &QTimer::timeout,
                         [this, &owner, message, image = icon.image(), text = to_qt(tip)] {
                             if (QSystemTrayIcon::isSystemTrayAvailable()) {
                                 watch_->stop();
                                 create(owner, message, image, text);
                             }
                         });
        watch_->start(kTrayLookMs);
        return false;
    });
}

void TrayIcon::create(Dialog& owner, std::uint32_t message, const QImage& icon,
                      const QString& tip) {
    icon_ = new QSystemTrayIcon(QIcon(QPixmap::fromImage(icon)));
    icon_->setToolTip(tip);
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
}

bool TrayIcon::added() const {
    return ui_call([&] { return icon_ != nullptr && QSystemTrayIcon::isSystemTrayAvailable(); });
}

}  // namespace platform::ui
