// Starts the main window offscreen on a workstation installed in a temporary folder, as it
// looks on a screen of the given size once its start-up is done, and writes the picture to a
// PNG file:
//   velquorin-main-window-shot OUT.png [WIDTHxHEIGHT] [wait ms]
// The work area is the screen less a 40-pixel panel at the bottom. The wait (program time,
// default 6000) lets the workers run first, so that the connection picture shows; the printer
// is the simulated one unless VELQUORIN_PRINTER says otherwise.

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "app/velquorin_dlg.h"
#include "config/all_settings.h"
#include "platform/clock.h"
#include "platform/ui/message_box.h"
#include "platform/ui/screen.h"

namespace {

namespace fs = std::filesystem;
namespace ui = platform::ui;

bool write_text(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

// The folders and files of an installed workstation under root; false when one cannot be made.
bool install_workstation(const fs::path& root) {
    const fs::path drive = root / "drive_c";
    const fs::path settings = root / "data" / "NorvaxelQ800X";
    std::error_code error;
    for (const fs::path& folder :
         {drive, settings / "RIPCM", root / "IMAGESPOOL", root / "Output"}) {
        fs::create_directories(folder, error);
        if (error) {
            return false;
        }
    }
    if (!write_text(drive / "hotfpath.ini", (root / "IMAGESPOOL").string() + "\r\n" +
                                                (root / "Output").string() + "\r\n")) {
        return false;
    }
    // The settings file as installed: every entry in its place with its first value.
    for (const AllSettingsEntry& entry : AllSettings::entries()) {
        const std::string value =
            entry.items.empty() ? std::string() : std::to_string(entry.default_value);
        if (!AllSettings::write(entry.key, value, settings / "all_setting.ini")) {
            return false;
        }
    }
    setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    setenv("VELQUORIN_SYSTEM_DRIVE", drive.c_str(), 1);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT.png [WIDTHxHEIGHT] [wait ms]\n", argv[0]);
        return 2;
    }
    int width = 1600;
    int height = 900;
    if (argc > 2 && std::sscanf(argv[2], "%dx%d", &width, &height) != 2) {
        std::fprintf(stderr, "bad screen size: %s\n", argv[2]);
        return 2;
    }
    const int wait_ms = argc > 3 ? std::atoi(argv[3]) : 6000;

    char pattern[] = "/tmp/velquorin-shot-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path root = pattern;
    if (!install_workstation(root)) {
        std::fprintf(stderr, "cannot install a workstation in %s\n", root.c_str());
        return 1;
    }

    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("VELQUORIN_PRINTER", "sim", 0);
    QApplication application(argc, argv);
    // Nobody answers boxes offscreen: each is printed and taken as read.
    ui::set_message_box_responder([](const ui::MessageBoxRecord& box) {
        std::fprintf(stderr, "box: %s\n", box.text.c_str());
        return ui::Answer::Ok;
    });
    ui::set_screen_metrics(
        ui::ScreenMetrics{width, ui::Rect{0, 0, width, height - 40}, height, width});

    int result = 1;
    {
        CvelquorinDlg dialog;
        QTimer shot;
        shot.setSingleShot(true);
        QObject::connect(&shot, &QTimer::timeout, [&] {
            if (dialog.render().save(argv[1])) {
                result = 0;
            } else {
                std::fprintf(stderr, "cannot write %s\n", argv[1]);
            }
            dialog.end_dialog(1);
        });
        shot.start(static_cast<int>(
            platform::real_microseconds(static_cast<std::uint32_t>(std::max(wait_ms, 0))) / 1000));
        if (dialog.do_modal() == 0) {
            std::fprintf(stderr, "the main window did not start\n");
        }
    }
    std::error_code ignored;
    fs::remove_all(root, ignored);
    return result;
}
