#pragma once

#include "platform/ui/bitmap.h"

// The pictures of the maintenance dialogs, drawn in code.
namespace maintenance {

// The nozzle pattern as the printer prints it: four staircase steps of short bars. With gaps,
// as a head with clogged nozzles prints it.
platform::ui::Bitmap nozzle_pattern_picture(bool with_gaps);

// A print head over a sheet, for the areas and dialogs that drive the printer.
platform::ui::Bitmap print_head_picture();

// An ink drop, for ink charging and the waste ink tank.
platform::ui::Bitmap ink_picture();

// A screen with a circling arrow, for the restart of the layout program.
platform::ui::Bitmap restart_picture();

// An unplugged cable, for "Connect error".
platform::ui::Bitmap cable_picture();

}  // namespace maintenance
