#pragma once

#include <cstdint>
#include <string_view>

#include "platform/ui/bitmap.h"

class QSystemTrayIcon;
class QTimer;

namespace platform::ui {

class Dialog;

// What the operator did on the tray icon; the lparam of the owner's tray message.
enum class TrayMouse : std::intptr_t { LeftButtonDown = 1, RightButtonDown = 2 };

// True when the desktop has a notification area to show icons in.
bool tray_available();

// The program's icon in the desktop's notification area. Each click on it sends the owner's
// tray message (wparam 0, lparam a TrayMouse value) to the owner's handler table; the owner
// shows its own menu (Menu::track) on the right button.
class TrayIcon {
  public:
    // How often a desktop without a tray is looked at again, in real milliseconds.
    static constexpr int kTrayLookMs = 500;

    TrayIcon() = default;
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;
    ~TrayIcon();

    // Adds the icon with its tip. Where the desktop has no tray yet the answer is false and the
    // program goes on without a tray icon; the desktop is then looked at again every
    // kTrayLookMs, and the icon is added as soon as a tray appears (a panel that starts after
    // the program, as in a session that starts it early). A second call does nothing.
    bool add(Dialog& owner, std::uint32_t message, const Bitmap& icon, std::string_view tip);
    // True while the icon is in a tray the operator can click: once it was added, and only as
    // long as the desktop's tray is there. A tray that goes away (a panel that crashes) takes
    // the icon with it; the icon comes back with the next tray.
    bool added() const;

  private:
    void create(Dialog& owner, std::uint32_t message, const QImage& icon, const QString& tip);

    QSystemTrayIcon* icon_ = nullptr;
    QTimer* watch_ = nullptr;
};

}  // namespace platform::ui
