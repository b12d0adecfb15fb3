#include "settings/rotary_print_set.h"

#include <gtest/gtest.h>

#include <QTimer>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "config/program_globals.h"
#include "message_box_recorder.h"
#include "platform/ui/controls.h"
#include "qt_application.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;
namespace ui = platform::ui;
using test_support::read_file;
using test_support::write_file;
using Strings = std::vector<std::string>;

struct FilterCase {
    std::string text;
    std::optional<std::string> changed;  // nothing: the text passes
    int caret;
    bool too_large;
};

TEST(DiameterFilter, MakesOneChangePerRun) {
    const FilterCase cases[] = {
        {"80.5", std::nullopt, 0, false},
        {"130", std::nullopt, 0, false},
        {"130.0", std::nullopt, 0, false},
        {"", std::nullopt, 0, false},
        // A point with fewer than two digits before it goes.
        {"8.5", "85", 2, false},
        {".5", "5", 1, false},
        {"12.3.4", "12.34", 5, false},
        {"12a4", "124", 3, false},
        {"-12", "12", 2, false},
        // Above the largest diameter as soon as the number reads so; a point before it is no
        // number.
        {"131", "", 2, true},
        {"130.01", "", 5, true},
        // Too long: cut to six characters, whatever they are.
        {"80.55555", "80.555", 6, false},
        {"9999999", "999999", 6, false},
        // A character of several bytes goes whole.
        {"8\xEF\xBC\x90", "8", 1, false},
        // No exponent: "1e5" is 1 and a letter.
        {"1e5", "15", 2, false},
    };
    for (const FilterCase& c : cases) {
        SCOPED_TRACE(c.text);
        const std::optional<DiameterChange> change = filter_diameter(c.text);
        ASSERT_EQ(change.has_value(), c.changed.has_value());
        if (change) {
            EXPECT_EQ(change->text, *c.changed);
            EXPECT_EQ(change->caret, c.caret);
            EXPECT_EQ(change->too_large, c.too_large);
        }
    }
}

// The installed file with the three rotary entries given.
std::string installed(const std::string& media, const std::string& range,
                      const std::string& diameter) {
    return "[overall situation]\r\n"
           "file print finish set=1\r\nprint cancel file set=1\r\nfeather set=2\r\nUV set=2\r\n"
           "Print_job_set=1\r\n"
           "Channle 1=0\r\nChannle 2=1\r\nChannle 3=2\r\nChannle 4=3\r\n"
           "Channle 5=4\r\nChannle 6=5\r\nChannle 7=6\r\nChannle 8=7\r\n"
           "Print_direction_set=2\r\n"
           "print_media=" +
           media + "\r\nrotary_range=" + range + "\r\nrotary_dimeter=" + diameter +
           "\r\nstep_adjust=2\r\n";
}

struct Opened {
    int range = -2;
    std::string diameter;
    int caret = -1;
    bool checked = false;
    Strings boxes;
};

class RotaryNotice : public ::testing::Test {
  protected:
    RotaryNotice() { g_settings_root = dir_.path().string(); }
    ~RotaryNotice() override { g_settings_root.clear(); }

    fs::path file() const { return dir_.path() / "all_setting.ini"; }

    // Opens the notice as the main window does, looks at it, and closes it with its Cancel.
    Opened open(const std::function<void(rotary_print_set&)>& look = {}) {
        test_support::MessageBoxRecorder boxes;
        Opened seen;
        QTimer::singleShot(0, [&] {
            auto* dialog = dynamic_cast<rotary_print_set*>(ui::Dialog::innermost_modal());
            ASSERT_NE(dialog, nullptr);
            seen.range = dialog->range().current();
            seen.diameter = dialog->diameter().text();
            seen.caret = dialog->diameter().caret();
            seen.checked = dialog->open_rotary().checked();
            if (look) {
                look(*dialog);
            }
            dialog->control<ui::Button>(ui::kIdCancel)->click();
        });
        open_rotary_print_set(nullptr);
        seen.boxes = boxes.texts();
        return seen;
    }

    test_support::QtApplication app_;
    test_support::TempDir dir_;
};

// Drawn in the dialog font of the program's other dialogs.
TEST_F(RotaryNotice, UsesTheDialogFont) {
    const rotary_print_set dialog;
    EXPECT_EQ(dialog.window()->font().family().toStdString(), "MS Shell Dlg");
    EXPECT_EQ(dialog.window()->font().pointSizeF(), 8.0);
}

TEST_F(RotaryNotice, ShowsTheStoredRangeOnlyAndWritesNothing) {
    const std::string stored = installed("1", "1", "80.5");
    write_file(file(), stored);
    const Opened seen = open([](rotary_print_set& dialog) {
        EXPECT_EQ(dialog.caption(), "Rotary print set");
        EXPECT_EQ(dialog.background(), ui::Rgb::from_bgr(0xF2F2F2));
        EXPECT_FALSE(dialog.range().is_enabled());
        EXPECT_EQ(dialog.range().count(), 3);
        EXPECT_EQ(dialog.range().item_text(2), "15mm-30mm");
        EXPECT_TRUE(dialog.item(ui::kIdCancel)->is_visible());
        for (const int id : {IDC_ROTARY_OPEN, IDC_ROTARY_SAVE, IDC_ROTARY_DIAMETER}) {
            EXPECT_FALSE(dialog.item(id)->is_visible()) << id;
        }
    });
    EXPECT_EQ(seen.range, 1);
    EXPECT_EQ(seen.diameter, "80.5");
    EXPECT_TRUE(seen.checked);
    EXPECT_TRUE(seen.boxes.empty());
    EXPECT_EQ(read_file(file()), stored);
}

TEST_F(RotaryNotice, TheStoredDiameterPassesTheFilterAsTheDialogOpens) {
    struct Case {
        std::string range;
        std::string diameter;
        int shown_range;
        std::string shown;
        int caret;
        Strings boxes;
    };
    const Case cases[] = {
        {"3", "80.5", -1, "80.5", 4, {}},
        {"-1", "8.5", -1, "85", 2, {}},
        {"0", "131", 0, "", 0, {std::string(kDiameterTooLarge)}},
        {"2", "80.55555", 2, "80.555", 6, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.diameter);
        write_file(file(), installed("0", c.range, c.diameter));
        const Opened seen = open();
        EXPECT_EQ(seen.range, c.shown_range);
        EXPECT_EQ(seen.diameter, c.shown);
        EXPECT_EQ(seen.boxes, c.boxes);
        EXPECT_FALSE(seen.checked);
        // The caret follows a change of the filter.
        if (c.shown != c.diameter) {
            EXPECT_EQ(seen.caret, c.caret);
        }
    }
}

TEST_F(RotaryNotice, AMissingFileOpensWithTheFirstRangeAndNoDiameter) {
    const Opened seen = open();
    EXPECT_EQ(seen.range, 0);
    EXPECT_EQ(seen.diameter, "");
    EXPECT_FALSE(seen.checked);
    EXPECT_TRUE(seen.boxes.empty());
    EXPECT_FALSE(fs::exists(file()));
}

}  // namespace
