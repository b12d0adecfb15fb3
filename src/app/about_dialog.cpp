#include "app/about_dialog.h"

#include "app/button_images.h"
#include "platform/ui/controls.h"

namespace {

namespace ui = platform::ui;

}  // namespace

aboutus::aboutus() : Dialog("About Norvaxel duvavarura", ui::Size{380, 150}) {
    set_font(ui::Font{"MS Shell Dlg", 80});
    add<ui::Picture>(IDC_ABOUT_PICTURE, ui::Rect::from_size(20, 20, 32, 32), app::program_icon());
    add<ui::Static>(-1, ui::Rect::from_size(72, 20, 290, 18),
                    "Version:     V3.2.1.1.20190911_Beta");
    add<ui::Static>(-1, ui::Rect::from_size(72, 44, 290, 18),
                    "Copyright (C) Norvaxel. All rights reserved.");
    add<ui::Static>(-1, ui::Rect::from_size(72, 68, 290, 18),
                    "Support: contact your Norvaxel service partner.");
    add<ui::Button>(ui::kIdOk, ui::Rect::from_size(282, 108, 80, 26), "OK");
}
