#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

// The job settings files of the virtual printers: one small file per channel layout in
// <settings root>/VirtualPrintingSettings, handed unread to the RIP beside every PDF of that
// layout. The program writes their default contents and checks every existing file line by
// line, so that a damaged or hand-edited file is replaced before it reaches the RIP.

// The sub-folder name of a channel layout, under both VirtualHotFolder and (with ".ini")
// VirtualPrintingSettings.
using LayoutFolder = std::string_view;

// What a settings file holds: 8-bit text of exactly kLineCount lines joined by CR LF, none
// after the last, one value a line; line kLayoutLine holds the file's layout number.
struct VirtualPrintSettings {
    static constexpr int kLineCount = 18;
    static constexpr int kLayoutLine = 5;
    // The longest line a valid file holds (the values are short numbers, an identifier and a
    // name), and so the largest valid file, with a line end after every line.
    static constexpr std::size_t kMaxLineBytes = 256;
    static constexpr std::size_t kMaxFileBytes = kLineCount * (kMaxLineBytes + 2);
};

namespace engine {

// The nine layouts in the order their hot folders are made.
inline constexpr std::array<LayoutFolder, 9> kLayoutFolders = {
    "kcmy", "wwww", "ww", "kcmywwww", "wwwwkcmy", "kcmyww", "wwkcmy", "vv", "wwwwwwww"};

inline constexpr std::string_view kVirtualPrintingSettingsFolder = "VirtualPrintingSettings";

// One settings file: its layout, the layout number written on line 5 (the layout's ink mode
// minus one) and the name the report uses for it.
struct VirtualPrintSettingsFile {
    LayoutFolder layout;
    int layout_number;
    std::string_view report_name;
};

// The eight files in the order they are handled and reported. The eight-white layout has none.
inline constexpr std::array<VirtualPrintSettingsFile, 8> kVirtualPrintSettingsFiles = {{
    {"kcmy", 0, "KCMY"},
    {"wwww", 1, "WWWW"},
    {"ww", 2, "WW"},
    {"wwwwkcmy", 5, "WWWWKCMY"},
    {"kcmywwww", 4, "KCMYWWWW"},
    {"vv", 3, "VV"},
    {"wwkcmy", 7, "WWKCMY"},
    {"kcmyww", 6, "KCMYWW"},
}};

struct PageSize {
    std::string_view width_mm;
    std::string_view height_mm;
};

// The page size written on lines 1 and 2, by exact comparison of the printer model. Also the
// custom paper of the virtual printers' PPD, which the build writes from this table.
constexpr PageSize virtual_print_page_size(std::string_view printer_model) {
    if (printer_model == "Orvel") {
        return {"210", "300"};
    }
    if (printer_model == "Q800X") {
        return {"500", "700"};
    }
    if (printer_model == "Vexa4") {
        return {"210", "150"};
    }
    return {"360", "500"};
}

// The default contents: eighteen lines joined by CR LF, no line end after the last.
std::string virtual_print_settings_defaults(PageSize page, int layout_number);

// Takes a settings file's contents as the RIP reads them (lines end in CR LF or LF; a CR alone
// is part of its line, and a byte-order mark part of line 1) and tells whether it is valid: at
// most kMaxFileBytes, exactly eighteen lines (a line end after the last one does not make a
// further line) of at most kMaxLineBytes that each meet their rule, line 5 holding this file's
// layout number.
bool virtual_print_settings_valid(std::string_view content, int layout_number);

// Creates the folder, writes every missing file with the defaults of g_printer_model, and
// replaces every invalid one with them. The files replaced, and any that could not be read or
// written, are listed in one message box in the order of the table; the pass goes on past a
// file it cannot handle.
void prepare_virtual_print_settings();

}  // namespace engine
