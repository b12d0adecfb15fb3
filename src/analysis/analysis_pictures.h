#pragma once

// The pictures of the preview and estimate dialogs, drawn in code on a transparent ground.

#include "platform/ui/bitmap.h"

namespace analysis {

// A flatbed printer with its carriage over a sheet on the table: the preview's picture beside
// the job's texts, and the time estimate's second picture.
platform::ui::Bitmap flatbed_printer_picture(int width, int height);

// The six ink cartridges, Black, Cyan, Magenta, Yellow, White and Varnish, in the order the
// ink estimate lists them.
platform::ui::Bitmap ink_cartridges_picture(int side);

// A drop falling into a measuring beaker: an amount of ink.
platform::ui::Bitmap ink_amount_picture(int side);

// A clock face.
platform::ui::Bitmap clock_picture(int side);

}  // namespace analysis
