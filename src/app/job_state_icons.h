#pragma once

// The three row icons of the job queue, drawn in code: a round badge in a colour of its own
// with a white sign, so that the state reads at a glance.

#include <string_view>

#include "platform/ui/bitmap.h"
#include "platform/ui/geometry.h"

inline constexpr int kJobStateIconSize = 32;

// Image 0 (icon 220): analysed and printable, "Wait": a green badge with a tick.
inline constexpr platform::ui::Rgb kWaitIconColour{46, 160, 67};
// Image 1 (icon 219): in the printing list, "Ready to print" or "Printing": a blue badge with
// a play sign.
inline constexpr platform::ui::Rgb kPrintIconColour{33, 110, 210};
// Image 2 (icon 221): not printable yet or at all, "Generating data......" and everything
// else: an amber badge with three dots.
inline constexpr platform::ui::Rgb kBusyIconColour{232, 152, 24};

// The 32 x 32 image list in the order the rows use: 220, 219, 221.
platform::ui::ImageList make_job_state_images();

// The image a job row shows for its state text.
int job_state_image(std::string_view state);
