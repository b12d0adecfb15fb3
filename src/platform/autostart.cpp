#include "platform/autostart.h"

#include <optional>
#include <string>
#include <system_error>

#include "platform/files.h"
#include "platform/paths.h"

namespace platform {
namespace {

// One argument of an Exec key, quoted whole: inside double quotes the quote, the backquote,
// "$" and the backslash take a backslash in front.
std::string quote_exec_argument(std::string_view argument) {
    std::string quoted = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

// The value as a key of type string stores it: the string escapes are undone before the Exec
// quoting is read, so every backslash is doubled once more, and tab, line feed and carriage
// return take their escapes. Other control characters have no escape: nothing.
std::optional<std::string> escape_string_value(std::string_view value) {
    std::string escaped;
    for (const char c : value) {
        switch (c) {
            case '\\':
                escaped += "\\\\";
                break;
            case '\t':
                escaped += "\\t";
                break;
            case '\n':
                escaped += "\\n";
                break;
            case '\r':
                escaped += "\\r";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
                    return std::nullopt;
                }
                escaped += c;
        }
    }
    return escaped;
}

}  // namespace

std::filesystem::path autostart_entry_path(std::string_view name) {
    return config_home() / "autostart" / (std::string(name) + ".desktop");
}

bool autostart_entry_exists(std::string_view name) {
    return platform::exists(autostart_entry_path(name));
}

bool add_autostart_entry(std::string_view name, const std::filesystem::path& program) {
    // A "%" is written correctly as "%%", but the desktop's launcher refuses to load an entry
    // that holds one, so the program would never start while the entry is there.
    if (program.native().find('%') != std::string::npos) {
        return false;
    }
    const auto exec = escape_string_value(quote_exec_argument(program.native()));
    if (!exec) {
        return false;
    }
    const auto entry = autostart_entry_path(name);
    std::error_code error;
    std::filesystem::create_directories(entry.parent_path(), error);
    if (error) {
        return false;
    }
    const std::string text = "[Desktop Entry]\nType=Application\nName=" + std::string(name) +
                             "\nExec=" + *exec + "\nTerminal=false\n";
    // A link there is the operator's own (a desktop set up from shared files): the file it
    // leads to is the entry.
    return replace_file_contents(entry, text, Links::Followed);
}

bool remove_autostart_entry(std::string_view name) {
    const auto entry = autostart_entry_path(name);
    return delete_file(entry) || !platform::exists(entry);
}

}  // namespace platform
