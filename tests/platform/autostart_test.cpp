#include "platform/autostart.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "scoped_env.h"
#include "temp_dir.h"

namespace {

using test_support::ScopedEnv;
using test_support::TempDir;

constexpr const char* kName = "Norvaxelduvavarura";

// The Exec key read back the way a desktop session reads it: first the escapes of a string
// value, then the argument quoting with its backslash escapes, and "%%" as one "%".
std::optional<std::vector<std::string>> exec_arguments(const std::string& entry) {
    std::istringstream lines(entry);
    std::string line;
    std::optional<std::string> raw;
    while (std::getline(lines, line)) {
        if (line.rfind("Exec=", 0) == 0) {
            raw = line.substr(5);
        }
    }
    if (!raw) {
        return std::nullopt;
    }
    std::string value;
    for (std::size_t i = 0; i < raw->size(); ++i) {
        if ((*raw)[i] != '\\') {
            value += (*raw)[i];
            continue;
        }
        if (++i == raw->size()) {
            return std::nullopt;
        }
        switch ((*raw)[i]) {
            case 's':
                value += ' ';
                break;
            case 'n':
                value += '\n';
                break;
            case 't':
                value += '\t';
                break;
            case 'r':
                value += '\r';
                break;
            case '\\':
                value += '\\';
                break;
            default:
                return std::nullopt;
        }
    }
    std::vector<std::string> arguments;
    std::size_t i = 0;
    while (i < value.size()) {
        if (value[i] == ' ') {
            ++i;
            continue;
        }
        std::string argument;
        if (value[i] == '"') {
            for (++i;; ++i) {
                if (i == value.size()) {
                    return std::nullopt;  // unterminated quote
                }
                const char c = value[i];
                if (c == '"') {
                    ++i;
                    break;
                }
                if (c == '\\') {
                    const char next = i + 1 < value.size() ? value[i + 1] : '\0';
                    if (next != '"' && next != '`' && next != '$' && next != '\\') {
                        return std::nullopt;
                    }
                    argument += next;
                    ++i;
                } else if (c == '%') {
                    if (i + 1 == value.size() || value[i + 1] != '%') {
                        return std::nullopt;  // a field code inside the path
                    }
                    argument += '%';
                    ++i;
                } else {
                    argument += c;
                }
            }
        } else {
            // Unquoted arguments may hold no reserved character; the entry never writes one.
            for (; i < value.size() && value[i] != ' '; ++i) {
                if (std::string_view("\t\n\"'\\><~|&;$*?#()`%").find(value[i]) !=
                    std::string_view::npos) {
                    return std::nullopt;
                }
                argument += value[i];
            }
        }
        arguments.push_back(argument);
    }
    return arguments;
}

class Autostart : public ::testing::Test {
  protected:
    TempDir config_;
    ScopedEnv env_{"XDG_CONFIG_HOME", config_.path().c_str()};
};

TEST_F(Autostart, AddThenRemoveTheEntry) {
    const auto entry = config_.path() / "autostart" / "Norvaxelduvavarura.desktop";
    EXPECT_EQ(platform::autostart_entry_path(kName), entry);
    EXPECT_FALSE(platform::autostart_entry_exists(kName));

    // The autostart folder does not exist yet: adding makes it.
    ASSERT_TRUE(platform::add_autostart_entry(kName, "/opt/velquorin/velquorin"));
    EXPECT_TRUE(platform::autostart_entry_exists(kName));
    const std::string text = test_support::read_file(entry);
    EXPECT_NE(text.find("[Desktop Entry]\n"), std::string::npos);
    EXPECT_NE(text.find("\nType=Application\n"), std::string::npos);
    EXPECT_NE(text.find("\nName=Norvaxelduvavarura\n"), std::string::npos);
    EXPECT_NE(text.find("\nExec=\"/opt/velquorin/velquorin\"\n"), std::string::npos);

    // Adding again replaces the entry; it is never doubled.
    ASSERT_TRUE(platform::add_autostart_entry(kName, "/usr/bin/velquorin"));
    EXPECT_EQ(exec_arguments(test_support::read_file(entry)),
              std::vector<std::string>{"/usr/bin/velquorin"});

    EXPECT_TRUE(platform::remove_autostart_entry(kName));
    EXPECT_FALSE(platform::autostart_entry_exists(kName));
    // Removing what is not there is not a failure: the entry is gone.
    EXPECT_TRUE(platform::remove_autostart_entry(kName));
}

TEST_F(Autostart, AnEntryOfAnyContentCounts) {
    // Only the entry's presence is asked, so one written by hand (or by an older version, with
    // any path) is seen, and removed by the next click.
    std::filesystem::create_directories(config_.path() / "autostart");
    test_support::write_file(config_.path() / "autostart" / "Norvaxelduvavarura.desktop", "x");
    EXPECT_TRUE(platform::autostart_entry_exists(kName));
    EXPECT_TRUE(platform::remove_autostart_entry(kName));
    EXPECT_FALSE(platform::autostart_entry_exists(kName));
}

TEST_F(Autostart, AwkwardPathsRoundTripExactlyThroughExec) {
    const std::string long_folder(300, 'd');
    const std::vector<std::string> paths = {
        "/home/op/Norvaxel Work/velquorin",
        "/home/op/it's \"quoted\"/velquorin",
        "/home/op/$HOME and ${PATH}/velquorin",
        "/home/op/`reboot`/$(reboot)/velquorin",
        "/home/op/back\\slash\\\\double/velquorin",
        "/home/op/semi;amp&pipe|lt<gt>*?#~(x)/velquorin",
        "/home/op/tab\there/new\nline/cr\rend/velquorin",
        "/home/op/ leading and trailing /velquorin",
        "/home/op/" + long_folder + "/velquorin",
        "/home/op/Bücher/velquorin",
    };
    const auto entry = platform::autostart_entry_path(kName);
    for (const auto& path : paths) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(platform::add_autostart_entry(kName, path));
        const std::string text = test_support::read_file(entry);
        // The entry stays one key per line whatever the path holds.
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5);
        EXPECT_EQ(exec_arguments(text), std::vector<std::string>{path});
    }
}

// A control character has no escape in an entry; a "%" has one, but the desktop's launcher
// refuses to load an entry that holds it, so the program would never start at login.
TEST_F(Autostart, APathAnEntryCannotCarryIsRefused) {
    for (const char* path : {"/home/op/bell\a/velquorin", "/home/op/100% sure/velquorin",
                             "/home/op/%f/velquorin", "/home/op/velquorin%"}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(platform::add_autostart_entry(kName, std::string(path)));
        EXPECT_FALSE(platform::autostart_entry_exists(kName));
    }
}

TEST_F(Autostart, AFolderInTheWayIsAFailure) {
    test_support::write_file(config_.path() / "autostart", "a file where the folder belongs");
    EXPECT_FALSE(platform::add_autostart_entry(kName, "/usr/bin/velquorin"));
    EXPECT_FALSE(platform::autostart_entry_exists(kName));
}

}  // namespace
