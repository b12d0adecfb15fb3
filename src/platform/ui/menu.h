#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/geometry.h"

namespace platform::ui {

struct MenuItem {
    int id = 0;
    std::string text;
    bool grayed = false;
    bool checked = false;
    bool separator = false;
};

// A pop-up menu: context menus and the tray menu.
class Menu {
  public:
    Menu& add_item(int id, std::string_view text, bool grayed = false, bool checked = false);
    Menu& add_separator();
    // Nothing for an id the menu does not hold.
    void set_grayed(int id, bool grayed);
    void set_checked(int id, bool checked);
    const std::vector<MenuItem>& items() const { return items_; }

    // Shows the menu at a screen point and waits for the operator, from any thread (the menu
    // runs on the UI thread). Returns the chosen item's id, 0 when the menu was dismissed. A
    // grayed item or a separator cannot be chosen. With a responder installed it chooses.
    int track(Point screen) const;

  private:
    std::vector<MenuItem> items_;
};

// Chooses in place of the operator; returns an item id or 0.
using MenuResponder = std::function<int(const Menu& menu, Point screen)>;
// Installs (an empty function removes) the responder; returns the one it replaces.
MenuResponder set_menu_responder(MenuResponder responder);

// The mouse pointer's position on the screen.
Point cursor_pos();

}  // namespace platform::ui
