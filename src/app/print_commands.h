#pragma once

#include <optional>
#include <string>
#include <string_view>

// Sending a job to printing by hand checks its size against the job size limits in whole
// millimetres, as the analyser does; the width here is always taken at 720 dpi, the printer's
// one horizontal resolution, whatever the header says.

// The refusal for a print file whose first bytes are `header` (all that could be read of the
// 120-byte header): the box's text naming the limit and the job's size, or nothing when the
// job may be printed. A short header or one without a vertical resolution has no size and is
// refused.
// Width is tested before length: the first limit that fails decides.
std::optional<std::string> print_size_refusal(std::string_view header);
