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

// The printer-connection picture, 76 x 75: a printer is connected, or none is.
platform::ui::Bitmap printer_connected_image();
platform::ui::Bitmap printer_not_connected_image();

}  // namespace app
