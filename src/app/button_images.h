#pragma once

// The main window's pictures, drawn in code: one per image button by its role, the separator
// line, the program's icon, and the two printer-connection pictures. Each picture reads at a
// glance: a dark sign on the button face with the role's word under it; the connection
// pictures are a printer with a green or a red badge.

#include "platform/ui/bitmap.h"

namespace app {

// The picture of the image button with this control id; a null bitmap for any other id.
platform::ui::Bitmap button_image(int control_id);

// The program's icon (window, tray), 32 x 32.
platform::ui::Bitmap program_icon();

// The thin line under the buttons, of the given width.
platform::ui::Bitmap separator_image(int width);

// The caption band's picture, as wide as the window and 47 high: the program's mark at its left,
// level with the caption text; transparent elsewhere, so the band's colour shows.
platform::ui::Bitmap caption_band_image(int width);
// The caption's own close and minimise buttons, 23 x 22, plain or under the pointer.
platform::ui::Bitmap caption_close_image(bool hover);
platform::ui::Bitmap caption_minimise_image(bool hover);

// The printer-connection picture, 76 x 75: a printer is connected, or none is.
platform::ui::Bitmap printer_connected_image();
platform::ui::Bitmap printer_not_connected_image();

}  // namespace app
