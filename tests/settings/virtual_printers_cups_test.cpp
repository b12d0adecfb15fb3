// The virtual printers on the real print system: set up through the Setting dialog's button,
// printed to with the system's own lp, collected into the spool folder.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QTimer>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "cups_daemon.h"
#include "engine/monitoring_thread.h"
#include "engine/step_settings.h"
#include "engine/virtual_print_settings.h"
#include "jobs/virtual_hot_folder_collector.h"
#include "message_box_recorder.h"
#include "modal_run.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "qt_application.h"
#include "settings/program_globals.h"
#include "settings/virtual_printer_setup.h"
#include "settings/vsprinter_set.h"
#include "temp_dir.h"
#include "usb/driver/sim/bus.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// A one-page PDF with a correct cross-reference table.
std::string small_pdf() {
    const std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R >>",
        "<< /Length 21 >>\nstream\n0 0 m 100 100 l S\n\nendstream",
    };
    std::string pdf = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (std::size_t offset : offsets) {
        char line[24];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

int run_program(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The nine queues and their driver files go again whatever the test's outcome.
struct RemoveOwnQueues {
    ~RemoveOwnQueues() {
        const auto spooler = settings::make_cups_spooler();
        for (const VirtualPrinter& printer : settings::kVirtualPrinters) {
            spooler->delete_queue(std::string(printer.name));
            fs::remove(settings::pdf_instance_file(settings::kCupsConfigFolder, printer.layout));
        }
    }
};

TEST(VirtualPrintersOnCups, APdfPrintedToTheKcmyPrinterReachesTheSpoolFolderWithItsSettings) {
    test_support::CupsDaemon cups;
    if (!cups.available()) {
        GTEST_SKIP() << "no print system on this machine: " << cups.why_not();
    }
    const auto spooler = settings::make_cups_spooler();
    const auto before = spooler->list_queues();
    ASSERT_TRUE(before.has_value()) << spooler->last_error();
    for (const settings::SpoolerQueue& queue : *before) {
        ASSERT_TRUE(queue.name.rfind("Norvaxel_printer_", 0) != 0)
            << "this machine's own virtual printers exist; the test leaves them alone";
    }

    test_support::TempDir dir;
    test_support::QtApplication app;
    test_support::MessageBoxRecorder boxes;
    const double previous_scale = platform::time_scale();
    platform::set_time_scale(50);
    g_settings_root = (dir / "settings").string();
    g_spool_folder = (dir / "IMAGESPOOL").string();
    fs::create_directories(g_settings_root);
    fs::create_directories(g_spool_folder);
    engine::create_virtual_hot_folders();
    engine::prepare_virtual_print_settings();
    RemoveOwnQueues cleanup;

    test_support::click_when_modal_opens("Third-Party Software Driver Settings", "Start");
    settings::run_third_party_print_settings();
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"Virtual printer setup is completed!"});
    const auto after = spooler->list_queues();
    ASSERT_TRUE(after.has_value());
    for (const VirtualPrinter& printer : settings::kVirtualPrinters) {
        EXPECT_TRUE(std::any_of(after->begin(), after->end(), [&](const settings::SpoolerQueue& q) {
            return q.name == printer.name &&
                   q.device_uri == settings::pdf_device_uri(printer.layout);
        })) << printer.name;
    }

    const fs::path document = dir / "Poster.pdf";
    test_support::write_file(document, small_pdf());
    ASSERT_EQ(run_program({"lp", "-d", "Norvaxel_printer_KCMY", "-t", "Poster", document}), 0);

    // The driver writes the PDF under its final name; it is done once nothing writes it.
    const fs::path kcmy = fs::path(g_settings_root) / "VirtualHotFolder" / "kcmy";
    std::string printed;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (printed.empty() && std::chrono::steady_clock::now() < until) {
        for (const auto& entry : fs::directory_iterator(kcmy)) {
            if (entry.path().extension() == ".pdf" &&
                platform::can_open_exclusively(entry.path())) {
                printed = entry.path().filename().string();
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_FALSE(printed.empty()) << "nothing reached " << kcmy;
    EXPECT_EQ(printed.rfind("Poster", 0), 0U) << printed;

    usb::sim::Bus bus;
    Monitoring_thread worker(&bus);
    VirtualHotFolderCollector collector(worker);
    collector.sweep();
    const std::string base = printed.substr(0, printed.size() - 4);
    const fs::path spool(g_spool_folder);
    EXPECT_EQ(test_support::read_file(spool / (base + ".pdf")).substr(0, 5), "%PDF-");
    EXPECT_EQ(test_support::read_file(spool / (base + ".ini")),
              test_support::read_file(fs::path(g_settings_root) / "VirtualPrintingSettings" /
                                      "kcmy.ini"));
    EXPECT_FALSE(fs::exists(kcmy / printed));

    g_settings_root.clear();
    g_spool_folder.clear();
    platform::set_time_scale(previous_scale);
}

}  // namespace
