#pragma once

#include <string>

// The print-file commands: Delete removes a job's print file and its preview, Save copies its
// print file elsewhere.

// The preview beside a print file, named as the preview names it (preview_bitmap_path).
std::string preview_path(const std::string& prn_path);
