#include "platform/ui/menu.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMenu>

#include "platform/ui/qt_convert.h"
#include "platform/ui/responder.h"
#include "platform/ui/ui_thread.h"

namespace platform::ui {
namespace {

ResponderSlot<MenuResponder>& responder() {
    static ResponderSlot<MenuResponder> slot;
    return slot;
}

bool choosable(const Menu& menu, int id) {
    for (const MenuItem& item : menu.items()) {
        if (!item.separator && item.id == id) {
            return !item.grayed;
        }
    }
    return false;
}

int show_menu(const Menu& menu, Point screen) {
    QMenu popup;
    for (const MenuItem& item : menu.items()) {
        if (item.separator) {
            popup.addSeparator();
            continue;
        }
        QAction* action = popup.addAction(to_qt(item.text));
        action->setData(item.id);
        action->setEnabled(!item.grayed);
        action->setCheckable(item.checked);
        action->setChecked(item.checked);
    }
    const QAction* chosen = popup.exec(QPoint(screen.x, screen.y));
    return chosen == nullptr ? 0 : chosen->data().toInt();
}

}  // namespace

Menu& Menu::add_item(int id, std::string_view text, bool grayed, bool checked) {
    items_.push_back(MenuItem{id, std::string(text), grayed, checked, false});
    return *this;
}

Menu& Menu::add_separator() {
    items_.push_back(MenuItem{0, {}, false, false, true});
    return *this;
}

void Menu::set_grayed(int id, bool grayed) {
    for (MenuItem& item : items_) {
        if (!item.separator && item.id == id) {
            item.grayed = grayed;
        }
    }
}

void Menu::set_checked(int id, bool checked) {
    for (MenuItem& item : items_) {
        if (!item.separator && item.id == id) {
            item.checked = checked;
        }
    }
}

int Menu::track(Point screen) const {
    if (const MenuResponder choose = responder().get()) {
        const int id = choose(*this, screen);
        return choosable(*this, id) ? id : 0;
    }
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        return 0;
    }
    return ui_call([&] { return show_menu(*this, screen); });
}

MenuResponder set_menu_responder(MenuResponder next) {
    return responder().replace(std::move(next));
}

Point cursor_pos() {
    return ui_call([] {
        const QPoint at = QCursor::pos();
        return Point{at.x(), at.y()};
    });
}

}  // namespace platform::ui
