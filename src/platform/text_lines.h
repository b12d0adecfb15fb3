#pragma once

#include <string_view>
#include <vector>

// The lines of the small text files the workstation reads its settings from ("hotfpath.ini",
// the settings file, the step settings file, the virtual printers' settings files). They come
// from an installer, from an editor on this machine or from a Windows one, so a line may end in
// CR LF, LF or CR alone, and an editor may have put a UTF-8 byte-order mark in front; the
// lines are the same whichever it was.
namespace platform {

// The lines of content with their line ends removed, a byte-order mark at the start left out.
// A line end after the last line does not start a further line, so an empty text has no line
// and "\r\n" one empty line. Nothing else is removed: blanks and NULs stay in the line. The
// views point into content.
std::vector<std::string_view> text_lines(std::string_view content);

}  // namespace platform
