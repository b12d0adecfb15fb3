// The virtual printers on the machine's real print system, as an operator who is not root uses
// them: set up through the Setting button's dialogs, printed to with the system's own lp (by
// the operator, and by a second account), delivered by our backend into the operator's hot
// folder and handed by the collector to the spool folder.
#include <cups/cups.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "config/program_globals.h"
#include "cups_daemon.h"
#include "engine/monitoring_thread.h"
#include "engine/step_settings.h"
#include "engine/virtual_print_settings.h"
#include "jobs/virtual_hot_folder_collector.h"
#include "message_box_recorder.h"
#include "modal_run.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "program_run.h"
#include "qt_application.h"
#include "settings/virtual_printer_setup.h"
#include "settings/vsprinter_set.h"
#include "temp_dir.h"
#include "usb/driver/sim/bus.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using test_support::read_file;
using test_support::write_file;

// The print system works in real time; only a fault makes a test wait this long.
constexpr auto kPatience = std::chrono::seconds(60);
constexpr const char* kKcmyQueue = "Norvaxel_printer_KCMY";
// A queue that is not the program's, which the set-up must leave as it is.
constexpr const char* kSomeoneElses = "Velquorin_test_someone_elses";

// A PDF of `pages` pages with a correct cross-reference table.
std::string small_pdf(int pages) {
    std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>", ""};
    std::string kids;
    for (int page = 0; page < pages; ++page) {
        const int object = 3 + 2 * page;
        kids += std::to_string(object) + " 0 R ";
        objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents " +
                          std::to_string(object + 1) + " 0 R >>");
        objects.push_back("<< /Length 18 >>\nstream\n0 0 m 100 100 l S\nendstream");
    }
    objects[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>";
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
    return pdf + "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
}

const std::string kTwoPagesOfPostScript =
    "%!PS-Adobe-3.0\n%%Pages: 2\n%%EndComments\n"
    "%%Page: 1 1\nnewpath 100 100 moveto 300 300 lineto stroke showpage\n"
    "%%Page: 2 2\nnewpath 100 300 moveto 300 100 lineto stroke showpage\n%%EOF\n";

struct Output {
    int status = -1;
    std::string text;
};

// Runs a program of the PATH with its standard input from a file; its exit status and all it
// wrote.
Output run_program(const std::vector<std::string>& args, const fs::path& input = "/dev/null") {
    const test_support::ProgramRun run = test_support::run_program(args.front(), args, input);
    return {run.status, run.out + run.err};
}

// Prints a file with lp and returns the job's number (0 when lp refused it). `as` runs lp as
// another account through sudo; `options` go to lp before the title.
int print(const fs::path& file, const std::string& title, const std::string& as = {},
          const std::vector<std::string>& options = {}) {
    std::vector<std::string> args = {"lp", "-d", kKcmyQueue};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), {"-t", title});
    if (!as.empty()) {
        args.insert(args.begin(), {"sudo", "-n", "-u", as});
    }
    const Output lp = run_program(args, file);  // lp reads the document from its input
    const std::string::size_type at = lp.text.find(std::string(kKcmyQueue) + "-");
    EXPECT_EQ(lp.status, 0) << lp.text;
    if (lp.status != 0 || at == std::string::npos) {
        return 0;
    }
    return std::atoi(lp.text.c_str() + at + std::string(kKcmyQueue).size() + 1);
}

// What the print system says of a job: its state and the last line its backend wrote.
struct JobStatus {
    int state = 0;
    std::string message;
};

JobStatus job_status(int job) {
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", job);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
                 "ipp://localhost/");
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    JobStatus status;
    if (ipp_attribute_t* a = ippFindAttribute(response, "job-state", IPP_TAG_ENUM)) {
        status.state = ippGetInteger(a, 0);
    }
    if (ipp_attribute_t* a = ippFindAttribute(response, "job-printer-state-message", IPP_TAG_TEXT);
        a != nullptr && ippGetString(a, 0, nullptr) != nullptr) {
        status.message = ippGetString(a, 0, nullptr);
    }
    ippDelete(response);
    return status;
}

std::string pdfinfo_pages(const fs::path& pdf) {
    const Output info = run_program({"pdfinfo", pdf.string()});
    const std::string::size_type at = info.text.find("Pages:");
    if (info.status != 0 || at == std::string::npos) {
        return "pdfinfo: " + info.text;
    }
    const std::string rest = info.text.substr(at + 6);
    return rest.substr(rest.find_first_not_of(' '), rest.find('\n') - rest.find_first_not_of(' '));
}

// The last line of a file that holds anything but blanks.
std::string last_line(const std::string& text) {
    std::string::size_type end = text.find_last_not_of("\r\n \t");
    if (end == std::string::npos) {
        return {};
    }
    const std::string::size_type start = text.find_last_of('\n', end);
    return text.substr(start == std::string::npos ? 0 : start + 1, end - start);
}

class VirtualPrintersOnCups : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!cups_.available()) {
            GTEST_SKIP() << "no print system on this machine: " << cups_.why_not();
        }
        if (::geteuid() == 0) {
            GTEST_SKIP() << "the virtual printers deliver only into an operator's folder, never "
                            "root's: these tests run as the operator (CI runs them so)";
        }
        const auto spooler = settings::make_cups_spooler();
        if (!spooler->pdf_driver() &&
            spooler->last_failure() == settings::SpoolerFailure::NotAllowed) {
            GTEST_SKIP() << "this user may not add printers (not in lpadmin): "
                         << spooler->last_error();
        }
        const auto queues = spooler->list_queues();
        ASSERT_TRUE(queues.has_value()) << spooler->last_error();
        for (const settings::SpoolerQueue& queue : *queues) {
            ASSERT_TRUE(queue.name.rfind("Norvaxel_printer_", 0) != 0)
                << "this machine's own virtual printers exist; the test leaves them alone";
        }
        cleanup_ = true;
        previous_scale_ = platform::time_scale();
        platform::set_time_scale(5);
        // The settings root as start-up makes it, in the operator's home, where the virtual
        // printers deliver.
        dir_.emplace(test_support::home_of(::geteuid()));
        g_settings_root = (dir_->path() / "data" / "NorvaxelQ800X").string();
        g_spool_folder = (dir_->path() / "IMAGESPOOL").string();
        fs::create_directories(g_settings_root);
        fs::create_directories(g_spool_folder);
        engine::create_virtual_hot_folders();
        engine::prepare_virtual_print_settings();
    }

    void TearDown() override {
        if (!cleanup_) {
            return;
        }
        // Deleting a queue cancels its jobs.
        const auto spooler = settings::make_cups_spooler();
        for (const VirtualPrinter& printer : settings::kVirtualPrinters) {
            spooler->delete_queue(std::string(printer.name));
        }
        spooler->delete_queue(kSomeoneElses);
        g_settings_root.clear();
        g_spool_folder.clear();
        platform::set_time_scale(previous_scale_);
    }

    // The Setting button's dialogs, as the operator clicks them.
    void set_up_virtual_printers() {
        const std::size_t before = boxes_.count();
        test_support::click_when_modal_opens("Third-Party Software Driver Settings", "Start");
        settings::run_third_party_print_settings();
        const std::vector<std::string> texts = boxes_.texts();
        ASSERT_EQ(texts.size(), before + 1);
        ASSERT_EQ(texts.back(), "Virtual printer setup is completed!");
    }

    fs::path kcmy() const { return fs::path(g_settings_root) / "VirtualHotFolder" / "kcmy"; }

    std::set<std::string> names_in(const fs::path& folder) const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    // Waits until the folder holds `count` PDFs; their names.
    std::set<std::string> wait_for_pdfs(std::size_t count) const {
        std::set<std::string> pdfs;
        const auto until = Clock::now() + kPatience;
        while (Clock::now() < until) {
            pdfs.clear();
            for (const std::string& name : names_in(kcmy())) {
                if (name.ends_with(".pdf")) {
                    pdfs.insert(name);
                }
            }
            if (pdfs.size() >= count) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return pdfs;
    }

    // A PDF the backend delivered: complete, of its pages, the operator's.
    void expect_whole(const std::string& name, const std::string& pages) const {
        SCOPED_TRACE(name);
        const fs::path pdf = kcmy() / name;
        const std::string bytes = read_file(pdf);
        EXPECT_EQ(bytes.substr(0, 5), "%PDF-");
        EXPECT_EQ(last_line(bytes), "%%EOF");
        EXPECT_EQ(pdfinfo_pages(pdf), pages);
        struct stat info {};
        ASSERT_EQ(::stat(pdf.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, ::getuid());
        EXPECT_TRUE(platform::writer_ruled_out(pdf));
    }

    test_support::CupsDaemon cups_;
    std::optional<test_support::TempDir> dir_;
    test_support::QtApplication app_;
    test_support::MessageBoxRecorder boxes_;

  private:
    bool cleanup_ = false;
    double previous_scale_ = 1;
};

TEST_F(VirtualPrintersOnCups, TheSetUpMakesTheNineQueuesTwiceOverAndLeavesSomeoneElsesQueue) {
    // By its full path: an ordinary login has no /usr/sbin on its PATH.
    const Output lpadmin =
        run_program({"/usr/sbin/lpadmin", "-p", kSomeoneElses, "-v", "socket://127.0.0.1:9", "-E"});
    ASSERT_EQ(lpadmin.status, 0) << lpadmin.text;
    const auto spooler = settings::make_cups_spooler();
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        set_up_virtual_printers();
        for (const VirtualPrinter& printer : settings::kVirtualPrinters) {
            const auto state = spooler->queue_state(std::string(printer.name));
            ASSERT_TRUE(state.has_value()) << spooler->last_error();
            EXPECT_EQ(state->device_uri, settings::virtual_printer_device_uri(printer.layout));
            EXPECT_TRUE(state->accepting);
            EXPECT_EQ(state->media, settings::custom_paper_media(g_printer_model));
            EXPECT_FALSE(state->shared) << printer.name;
        }
        const auto theirs = spooler->queue_state(kSomeoneElses);
        ASSERT_TRUE(theirs.has_value()) << spooler->last_error();
        EXPECT_EQ(theirs->device_uri, "socket://127.0.0.1:9");
    }
}

TEST_F(VirtualPrintersOnCups, APdfOfASecondAccountAndPostScriptOfTheOperatorArriveWholeAndGoOn) {
    const char* other = std::getenv("VELQUORIN_TEST_OTHER_ACCOUNT");
    if (other == nullptr || *other == '\0') {
        GTEST_SKIP() << "no second account to print from (VELQUORIN_TEST_OTHER_ACCOUNT, which CI "
                        "sets, with a sudo rule that lets this user run lp as that account)";
    }
    set_up_virtual_printers();
    write_file(dir_->path() / "Poster.pdf", small_pdf(3));
    write_file(dir_->path() / "Flyer.ps", kTwoPagesOfPostScript);
    ASSERT_NE(print(dir_->path() / "Poster.pdf", "Poster", other), 0);
    ASSERT_NE(print(dir_->path() / "Flyer.ps", "Flyer"), 0);

    ASSERT_EQ(wait_for_pdfs(2), (std::set<std::string>{"Poster.pdf", "Flyer.pdf"}));
    expect_whole("Poster.pdf", "3");
    expect_whole("Flyer.pdf", "2");
    EXPECT_EQ(names_in(kcmy()).size(), 2U) << "no temporary file stays behind";
    const std::string poster = read_file(kcmy() / "Poster.pdf");
    const std::string flyer = read_file(kcmy() / "Flyer.pdf");

    usb::sim::Bus bus;
    Monitoring_thread worker(&bus);
    VirtualHotFolderCollector collector(worker);
    collector.sweep();
    const fs::path spool(g_spool_folder);
    EXPECT_EQ(names_in(spool),
              (std::set<std::string>{"Poster.pdf", "Poster.ini", "Flyer.pdf", "Flyer.ini"}));
    EXPECT_EQ(read_file(spool / "Poster.pdf"), poster);
    EXPECT_EQ(read_file(spool / "Flyer.pdf"), flyer);
    const std::string settings =
        read_file(fs::path(g_settings_root) / "VirtualPrintingSettings" / "kcmy.ini");
    EXPECT_EQ(read_file(spool / "Poster.ini"), settings);
    EXPECT_EQ(read_file(spool / "Flyer.ini"), settings);
    EXPECT_TRUE(fs::is_empty(kcmy()));
}

TEST_F(VirtualPrintersOnCups, AJobForAMissingHotFolderWaitsInTheQueueAndArrivesOnceItIsBack) {
    set_up_virtual_printers();
    fs::remove(kcmy());
    write_file(dir_->path() / "Late.pdf", small_pdf(1));
    const int job = print(dir_->path() / "Late.pdf", "Late");
    ASSERT_NE(job, 0);

    // The backend told the print system, which keeps the job to try it again.
    JobStatus status;
    const auto until = Clock::now() + kPatience;
    while (Clock::now() < until && status.state != IPP_JSTATE_HELD) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        status = job_status(job);
    }
    ASSERT_EQ(status.state, IPP_JSTATE_HELD) << status.message;
    EXPECT_NE(status.message.find("does not exist; the job stays in the queue and is tried "
                                  "again later"),
              std::string::npos)
        << status.message;
    EXPECT_FALSE(fs::exists(kcmy()));

    // The program makes its hot folders again at its next start, or at the next job it prints.
    // The print system tries the job again by itself after its retry interval (30 s unless set
    // otherwise); the operator need not wait, and releases it as its print queue offers.
    engine::create_virtual_hot_folders();
    const Output release = run_program({"lp", "-i", std::to_string(job), "-H", "resume"});
    ASSERT_EQ(release.status, 0) << release.text;
    ASSERT_EQ(wait_for_pdfs(1), std::set<std::string>{"Late.pdf"});
    expect_whole("Late.pdf", "1");
}

// A raw job passes the print system's filters unconverted: whatever it is, the backend refuses
// it unless it is a PDF, the job is cancelled with that said, nothing arrives, and the queue
// takes the next job.
TEST_F(VirtualPrintersOnCups, ARawJobArrivesNowhereAndTheQueueGoesOn) {
    set_up_virtual_printers();
    write_file(dir_->path() / "notes.txt", "Not a PDF at all\n");
    const int job = print(dir_->path() / "notes.txt", "Notes", {}, {"-o", "raw"});
    ASSERT_NE(job, 0);
    JobStatus status;
    const auto until = Clock::now() + kPatience;
    while (Clock::now() < until && status.state < IPP_JSTATE_STOPPED) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        status = job_status(job);
    }
    EXPECT_EQ(status.state, IPP_JSTATE_CANCELED) << status.message;
    EXPECT_NE(status.message.find("no PDF"), std::string::npos) << status.message;
    EXPECT_TRUE(fs::is_empty(kcmy()));

    write_file(dir_->path() / "After.pdf", small_pdf(1));
    ASSERT_NE(print(dir_->path() / "After.pdf", "After"), 0);
    ASSERT_EQ(wait_for_pdfs(1), std::set<std::string>{"After.pdf"});
    expect_whole("After.pdf", "1");
    EXPECT_EQ(names_in(kcmy()), std::set<std::string>{"After.pdf"});
}

TEST_F(VirtualPrintersOnCups, TitlesThatClimbOrHideAndTwoJobsOfOneTitleEachArriveInsideTheFolder) {
    set_up_virtual_printers();
    const auto around = names_in(kcmy().parent_path());
    write_file(dir_->path() / "a.pdf", small_pdf(1));
    write_file(dir_->path() / "b.pdf", small_pdf(2));
    ASSERT_NE(print(dir_->path() / "a.pdf", "../.secret/x"), 0);
    ASSERT_NE(print(dir_->path() / "a.pdf", "Poster"), 0);
    ASSERT_NE(print(dir_->path() / "b.pdf", "Poster"), 0);

    ASSERT_EQ(wait_for_pdfs(3),
              (std::set<std::string>{"_.secret_x.pdf", "Poster.pdf", "Poster-2.pdf"}));
    expect_whole("_.secret_x.pdf", "1");
    expect_whole("Poster.pdf", "1");
    expect_whole("Poster-2.pdf", "2");
    EXPECT_EQ(names_in(kcmy().parent_path()), around);
    EXPECT_EQ(names_in(dir_->path()),
              (std::set<std::string>{"data", "IMAGESPOOL", "a.pdf", "b.pdf"}));
}

}  // namespace
