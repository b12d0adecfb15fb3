// The preview's progress dialog on the desktop of $DISPLAY, for the tests that press keys in it
// while it builds: builds the bitmap argv[2] of the print file argv[1] and writes the dialog's
// end code into the file argv[3]. A box the build shows is answered at once and said on
// standard error.

#include <QApplication>

#include <cstdio>
#include <fstream>

#include "analysis/createbmpdlg.h"
#include "platform/ui/dialog.h"
#include "platform/ui/message_box.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s print-file bitmap end-code-file\n", argv[0]);
        return 2;
    }
    QApplication application(argc, argv);
    platform::ui::set_message_box_responder([](const platform::ui::MessageBoxRecord& box) {
        std::fprintf(stderr, "box: %s\n", box.text.c_str());
        return platform::ui::Answer::Ok;
    });
    createbmpdlg::SetPaths(argv[2], argv[1]);
    createbmpdlg dialog;
    dialog.set_background(platform::ui::kDialogGrey);
    const int code = dialog.do_modal();
    std::ofstream(argv[3]) << code << "\n";
    return 0;
}
