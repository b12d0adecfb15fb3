#include "engine/virtual_print_settings.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "config/program_globals.h"
#include "message_box_recorder.h"
#include "platform/files.h"
#include "temp_dir.h"

namespace {

using test_support::MessageBoxRecorder;
using test_support::read_file;
using test_support::TempDir;
using test_support::write_file;

const std::string kKcmyDefaults =
    "500\r\n700\r\n720\r\n1440\r\n0\r\n0\r\n5\r\n0\r\n0\r\n0\r\n6\r\n6\r\n1\r\n0\r\n0\r\n"
    "QZV4417302958\r\nTestname\r\n0";

// The eighteen default lines of a layout, for editing one of them.
std::vector<std::string> default_lines(int layout_number) {
    std::vector<std::string> lines;
    std::istringstream in(engine::virtual_print_settings_defaults({"500", "700"}, layout_number));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

std::string join(const std::vector<std::string>& lines, const char* end = "\r\n") {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        text += (i > 0 ? end : "") + lines[i];
    }
    return text;
}

// The defaults of a layout with line `line` (from 1) replaced.
std::string with_line(int line, const std::string& text, int layout_number = 0) {
    auto lines = default_lines(layout_number);
    lines[static_cast<std::size_t>(line - 1)] = text;
    return join(lines);
}

bool valid(const std::string& content, int layout_number = 0) {
    return engine::virtual_print_settings_valid(content, layout_number);
}

TEST(VirtualPrintSettings, DefaultsAndPageSizeByModel) {
    EXPECT_EQ(engine::virtual_print_settings_defaults(engine::virtual_print_page_size("Q800X"), 0),
              kKcmyDefaults);
    struct Case {
        const char* model;
        const char* width;
        const char* height;
    };
    for (const Case& c :
         {Case{"Orvel", "210", "300"}, Case{"Q800X", "500", "700"}, Case{"Vexa4", "210", "150"},
          Case{"q800x", "360", "500"}, Case{"", "360", "500"}}) {
        const auto page = engine::virtual_print_page_size(c.model);
        EXPECT_EQ(page.width_mm, c.width) << c.model;
        EXPECT_EQ(page.height_mm, c.height) << c.model;
    }
}

TEST(VirtualPrintSettings, LineByLineCheck) {
    struct Case {
        const char* name;
        std::string content;
        int layout_number;
        bool valid;
    };
    auto seventeen = default_lines(0);
    seventeen.pop_back();
    const std::vector<Case> cases = {
        {"defaults", kKcmyDefaults, 0, true},
        {"line end after line 18", kKcmyDefaults + "\r\n", 0, true},
        {"LF line ends", join(default_lines(0), "\n"), 0, true},
        {"LF line ends, one after line 18", join(default_lines(0), "\n") + "\n", 0, true},
        // As the RIP reads them: a CR alone ends no line, and a byte-order mark belongs to
        // line 1, which is then not digits only.
        {"CR line ends", join(default_lines(0), "\r"), 0, false},
        {"CR line ends, one after line 18", join(default_lines(0), "\r") + "\r", 0, false},
        {"byte-order mark", "\xEF\xBB\xBF" + kKcmyDefaults, 0, false},
        {"a CR inside line 1", with_line(1, "50\r0"), 0, false},
        {"19 lines with CR line ends", join(default_lines(0), "\r") + "\r\r", 0, false},
        {"19 lines (extra empty line)", kKcmyDefaults + "\r\n\r\n", 0, false},
        {"17 lines", join(seventeen), 0, false},
        {"empty file", "", 0, false},
        {"width 9", with_line(1, "9"), 0, false},
        {"width 10", with_line(1, "10"), 0, true},
        {"width 501", with_line(1, "501"), 0, true},
        {"width 502", with_line(1, "502"), 0, false},
        {"width with trailing blank", with_line(1, "360 "), 0, false},
        {"width empty", with_line(1, ""), 0, false},
        {"height 0", with_line(2, "0"), 0, false},
        {"height 701", with_line(2, "701"), 0, true},
        {"height 702", with_line(2, "702"), 0, false},
        {"720 dpi on line 3", with_line(3, "720 dpi"), 0, true},
        {"1800 on line 4", with_line(4, "1800"), 0, false},
        {"2880 on line 4", with_line(4, "2880"), 0, true},
        {"720 on line 4", with_line(4, "720"), 0, true},
        {"own layout number", with_line(5, "5", 5), 5, true},
        {"another layout's number", with_line(5, "4", 5), 5, false},
        {"line 6 empty", with_line(6, ""), 0, true},
        {"line 7 empty", with_line(7, ""), 0, false},
        {"line 11 wrong", with_line(11, "7"), 0, false},
        {"line 16 empty", with_line(16, ""), 0, false},
        {"line 16 other text", with_line(16, "anything at all"), 0, true},
        {"line 17 of 256 bytes", with_line(17, std::string(256, 'n')), 0, true},
        {"line 17 of 257 bytes", with_line(17, std::string(257, 'n')), 0, false},
        {"the largest file",
         [] {
             // Every line 256 bytes: the sizes led by zeros, the rest followed by blanks.
             std::string text;
             int number = 0;
             for (const std::string& line : default_lines(0)) {
                 const std::string pad(256 - line.size(), ++number <= 2 ? '0' : ' ');
                 text += (number <= 2 ? pad + line : line + pad) + "\r\n";
             }
             return text;
         }(),
         0, true},
        {"a byte more", kKcmyDefaults + std::string(18 * 258, '\n'), 0, false},
        {"line 17 empty", with_line(17, ""), 0, false},
        {"line 18 wrong", with_line(18, "1"), 0, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(valid(c.content, c.layout_number), c.valid) << c.name;
    }
}

class VirtualPrintSettingsPass : public ::testing::Test {
  protected:
    void SetUp() override { g_settings_root = dir.path().string(); }
    std::filesystem::path file(const char* name) const {
        return dir / "VirtualPrintingSettings" / name;
    }

    TempDir dir;
    MessageBoxRecorder boxes;
};

TEST_F(VirtualPrintSettingsPass, FirstStartWritesEightFilesSilently) {
    engine::prepare_virtual_print_settings();
    EXPECT_EQ(boxes.count(), 0u);
    EXPECT_EQ(read_file(file("kcmy.ini")), kKcmyDefaults);
    for (const auto& settings : engine::kVirtualPrintSettingsFiles) {
        const std::string name = std::string(settings.layout) + ".ini";
        EXPECT_EQ(read_file(file(name.c_str())),
                  engine::virtual_print_settings_defaults({"500", "700"}, settings.layout_number))
            << name;
    }
    EXPECT_FALSE(platform::exists(file("wwwwwwww.ini")));
    EXPECT_EQ(platform::list_folder(dir / "VirtualPrintingSettings")->size(), 8u);
}

TEST_F(VirtualPrintSettingsPass, InvalidFilesAreReplacedAndReportedInTableOrder) {
    engine::prepare_virtual_print_settings();
    // vv comes after wwww in the table even though it is broken first here.
    write_file(file("vv.ini"), with_line(7, "", 3));
    write_file(file("wwww.ini"), with_line(4, "1800", 1));
    const std::string customised = join({"300", "400", "720", "2880", "0", "0", "5", "0", "0", "0",
                                         "6", "6", "1", "0", "0", "ABC0000000001", "Operator", "0"},
                                        "\n");
    write_file(file("kcmy.ini"), customised);
    write_file(file("wwwwwwww.ini"), "hand placed");

    engine::prepare_virtual_print_settings();
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.texts()[0],
              "<WWWW Virtual printing config file format wrong>\r\n"
              "<VV Virtual printing config file format wrong>\r\n");
    EXPECT_EQ(read_file(file("wwww.ini")),
              engine::virtual_print_settings_defaults({"500", "700"}, 1));
    EXPECT_EQ(read_file(file("vv.ini")),
              engine::virtual_print_settings_defaults({"500", "700"}, 3));
    EXPECT_EQ(read_file(file("kcmy.ini")), customised);
    EXPECT_EQ(read_file(file("wwwwwwww.ini")), "hand placed");

    engine::prepare_virtual_print_settings();
    EXPECT_EQ(boxes.count(), 1u);
}

// A file linked elsewhere is read through its link; one that must be repaired is replaced at its
// own name, and what the link leads to is never written.
TEST_F(VirtualPrintSettingsPass, ARepairReplacesALinkNotWhatItLeadsTo) {
    engine::prepare_virtual_print_settings();
    write_file(dir / "valid.ini", engine::virtual_print_settings_defaults({"500", "700"}, 0));
    write_file(dir / "foreign.txt", "another program's file");
    std::filesystem::remove(file("kcmy.ini"));
    std::filesystem::remove(file("wwww.ini"));
    std::filesystem::create_symlink(dir / "valid.ini", file("kcmy.ini"));
    std::filesystem::create_symlink(dir / "foreign.txt", file("wwww.ini"));

    engine::prepare_virtual_print_settings();
    EXPECT_EQ(boxes.texts(),
              std::vector<std::string>{"<WWWW Virtual printing config file format wrong>\r\n"});
    EXPECT_TRUE(std::filesystem::is_symlink(file("kcmy.ini")));
    EXPECT_FALSE(std::filesystem::is_symlink(file("wwww.ini")));
    EXPECT_EQ(read_file(file("wwww.ini")),
              engine::virtual_print_settings_defaults({"500", "700"}, 1));
    EXPECT_EQ(read_file(dir / "foreign.txt"), "another program's file");
}

// A file of any size in the folder costs no more than a valid one would: it is read no
// further than that (the process's own count of bytes read shows it), found invalid, replaced.
TEST_F(VirtualPrintSettingsPass, AHugeFileIsReadNoFurtherThanAValidOneCanBe) {
    engine::prepare_virtual_print_settings();
    std::filesystem::resize_file(file("kcmy.ini"), 256u << 20);  // a sparse 256 MiB
    const auto bytes_read = [] {
        const std::string io = read_file("/proc/self/io");
        const std::size_t at = io.find("rchar: ");
        return at == std::string::npos ? 0ULL : std::stoull(io.substr(at + 7));
    };
    const unsigned long long before = bytes_read();
    engine::prepare_virtual_print_settings();
    EXPECT_LT(bytes_read() - before, 1ULL << 20);
    EXPECT_EQ(boxes.texts(),
              std::vector<std::string>{"<KCMY Virtual printing config file format wrong>\r\n"});
    EXPECT_EQ(read_file(file("kcmy.ini")), kKcmyDefaults);
}

TEST_F(VirtualPrintSettingsPass, UnreadableAndUnwritableFilesAreReportedAndThePassGoesOn) {
    std::filesystem::create_directories(file("ww.ini"));  // cannot be read as a file
    engine::prepare_virtual_print_settings();
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.texts()[0], "<WW Virtual printing config file can't be read>\r\n");
    EXPECT_TRUE(platform::is_directory(file("ww.ini")));
    EXPECT_TRUE(platform::exists(file("kcmy.ini")));
    EXPECT_TRUE(platform::exists(file("kcmyww.ini")));

    // No folder can be made where a file stands: nothing can be written, all eight are named.
    TempDir other;
    g_settings_root = other.path().string();
    write_file(other / "VirtualPrintingSettings", "");
    engine::prepare_virtual_print_settings();
    ASSERT_EQ(boxes.count(), 2u);
    std::string expected;
    for (const char* name :
         {"KCMY", "WWWW", "WW", "WWWWKCMY", "KCMYWWWW", "VV", "WWKCMY", "KCMYWW"}) {
        expected += std::string("<") + name + " Virtual printing config file can't be written>\r\n";
    }
    EXPECT_EQ(boxes.texts()[1], expected);
}

}  // namespace
