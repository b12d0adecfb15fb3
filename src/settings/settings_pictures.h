#pragma once

// The pictures of the settings dialogs, drawn in code.

#include "platform/ui/bitmap.h"

// The Setting dialog's ink chart: the eight head slots numbered 1 to 8 from the left, as the
// chart the printer prints numbers them, so that the operator can match a slot to its ink.
platform::ui::Bitmap head_slots_image(int width, int height);

// The rotary notice's picture: a cylinder lying on the attachment's two rollers.
platform::ui::Bitmap rotary_attachment_image(int width, int height);
