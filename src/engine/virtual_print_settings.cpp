#include "engine/virtual_print_settings.h"

#include <optional>
#include <string>
#include <vector>

#include "config/program_globals.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/ui/message_box.h"

namespace engine {
namespace {

constexpr int kLineCount = VirtualPrintSettings::kLineCount;
constexpr int kLayoutLine = VirtualPrintSettings::kLayoutLine;

// Lines 3 to 18 as the program writes them; line 5 is the file's layout number instead.
constexpr std::array<std::string_view, kLineCount - 2> kFixedLines = {
    "720", "1440",          "",         "0", "5", "0", "0", "0", "6", "6", "1", "0",
    "0",   "QZV4417302958", "Testname", "0"};

// The RIP reads these files as text whose lines end in CR LF (or LF): a CR alone ends no line
// and a byte-order mark is part of line 1. The check reads them just so, unlike the program's
// other settings files, so that a file the RIP would misread is replaced, never passed on.
std::vector<std::string_view> rip_lines(std::string_view content) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        const std::size_t next = end == std::string_view::npos ? content.size() : end + 1;
        if (end == std::string_view::npos) {
            end = content.size();
        } else if (end > start && content[end - 1] == '\r') {
            --end;  // CR LF is one line end
        }
        lines.push_back(content.substr(start, end - start));
        start = next;
    }
    return lines;
}

bool digits_only(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// Line numbers from 1.
bool line_valid(int line, std::string_view text, int layout_number) {
    const int value = platform::leading_integer(text);
    switch (line) {
        case 1:
            return digits_only(text) && value >= 10 && value <= g_max_width_mm;
        case 2:
            return digits_only(text) && value >= 1 && value <= g_max_length_mm;
        case 3:
            return value == 720;
        case 4:
            return value == 720 || value == 1440 || value == 2880;
        case kLayoutLine:
            return value == layout_number;
        case 16:
        case 17:
            return !text.empty();
        default:
            return value ==
                   platform::leading_integer(kFixedLines[static_cast<std::size_t>(line - 3)]);
    }
}

std::string report_line(const VirtualPrintSettingsFile& file, std::string_view problem) {
    return "<" + std::string(file.report_name) + " Virtual printing config file " +
           std::string(problem) + ">\r\n";
}

enum class Check { Valid, Invalid, Unreadable };

Check check_file(const std::filesystem::path& path, int layout_number) {
    // Only a regular file is read, and without waiting: a pipe of that name would otherwise hold
    // up the start-up, or the print thread at every job.
    // No more than a valid file can hold, and one byte to tell a longer file: a file of any size
    // in that folder costs no more at every start and every job.
    const std::optional<std::string> content =
        platform::read_regular_file(path, VirtualPrintSettings::kMaxFileBytes + 1);
    if (!content) {
        return Check::Unreadable;
    }
    return virtual_print_settings_valid(*content, layout_number) ? Check::Valid : Check::Invalid;
}

}  // namespace

std::string virtual_print_settings_defaults(PageSize page, int layout_number) {
    std::string text = std::string(page.width_mm) + "\r\n" + std::string(page.height_mm);
    for (int line = 3; line <= kLineCount; ++line) {
        text += "\r\n";
        text += line == kLayoutLine ? std::to_string(layout_number)
                                    : std::string(kFixedLines[static_cast<std::size_t>(line - 3)]);
    }
    return text;
}

bool virtual_print_settings_valid(std::string_view content, int layout_number) {
    if (content.size() > VirtualPrintSettings::kMaxFileBytes) {
        return false;
    }
    const std::vector<std::string_view> lines = rip_lines(content);
    if (lines.size() != static_cast<std::size_t>(kLineCount)) {
        return false;
    }
    for (int line = 1; line <= kLineCount; ++line) {
        const std::string_view text = lines[static_cast<std::size_t>(line - 1)];
        if (text.size() > VirtualPrintSettings::kMaxLineBytes ||
            !line_valid(line, text, layout_number)) {
            return false;
        }
    }
    return true;
}

void prepare_virtual_print_settings() {
    const std::filesystem::path folder =
        std::filesystem::path(g_settings_root) / std::string(kVirtualPrintingSettingsFolder);
    platform::create_folder(folder);
    const PageSize page = virtual_print_page_size(g_printer_model);

    std::string report;
    for (const VirtualPrintSettingsFile& file : kVirtualPrintSettingsFiles) {
        const std::filesystem::path path = folder / (std::string(file.layout) + ".ini");
        const std::string defaults = virtual_print_settings_defaults(page, file.layout_number);
        if (platform::exists(path)) {
            const Check check = check_file(path, file.layout_number);
            if (check == Check::Valid) {
                continue;
            }
            if (check == Check::Unreadable) {
                // A file that cannot be read might still be good; it is named, not replaced.
                report += report_line(file, "can't be read");
                continue;
            }
            report += report_line(file, "format wrong");
        }
        // Replaced whole through a temporary file, so that the collector copying it beside a
        // PDF at this moment gets the old or the new file, never half of one; at its own name,
        // so a link there is replaced and whatever it leads to is left alone.
        if (!platform::replace_file_contents(path, defaults, platform::Links::NotFollowed)) {
            report += report_line(file, "can't be written");
        }
    }
    if (!report.empty()) {
        platform::ui::message_box(report, {}, platform::ui::Buttons::Ok);
    }
}

}  // namespace engine
