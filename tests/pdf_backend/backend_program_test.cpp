// The velquorin-pdf backend as CUPS runs it: device URI, job arguments, the job's PDF on
// standard input or in a file, "ERROR:" lines and the backend exit codes.
#include <cups/backend.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "pdf_backend/backend_job.h"
#include "pdf_backend/hot_folder_uri.h"
#include "program_run.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;
using test_support::ProgramRun;
using test_support::read_file;
using test_support::TempDir;
using test_support::write_file;

// The hot folders belong to whoever runs the tests; for root, who may own none, to the
// system's "nobody", whom the backend then becomes.
struct Owner {
    uid_t uid = getuid();
    gid_t gid = getgid();
    Owner() {
        if (getuid() == 0) {
            const passwd* nobody = getpwnam("nobody");
            uid = nobody != nullptr ? nobody->pw_uid : 65534;
            gid = nobody != nullptr ? nobody->pw_gid : 65534;
        }
    }
};

std::string some_pdf(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string pdf = "%PDF-1.4\n";
    while (pdf.size() < size) {
        pdf += static_cast<char>(random());
    }
    return pdf + "\n%%EOF\n";
}

class BackendProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        // The owner must be able to reach the folder through the test's own.
        ::chmod(dir_.path().c_str(), 0711);
        make_hot_folder(hot_);
    }

    void make_hot_folder(const fs::path& folder) const {
        fs::create_directory(folder);
        ASSERT_EQ(::chown(folder.c_str(), owner_.uid, owner_.gid), 0);
    }

    // Runs the backend with the job arguments CUPS gives (argv[0] the device URI), the device
    // URI in DEVICE_URI unless told otherwise, and `input` on standard input.
    ProgramRun run(const std::vector<std::string>& job,
                   const std::optional<std::string>& device_uri, const std::string& input,
                   const std::string& argv0 = "velquorin-pdf") const {
        write_file(dir_ / "stdin", input);
        std::vector<std::string> argv = {argv0};
        argv.insert(argv.end(), job.begin(), job.end());
        std::vector<std::string> set;
        if (device_uri) {
            set.push_back("DEVICE_URI=" + *device_uri);
        }
        return test_support::run_program(VELQUORIN_PDF_BACKEND, argv, dir_ / "stdin", set,
                                         {"DEVICE_URI"});
    }

    static std::vector<std::string> job(const std::string& title) {
        return {"17", "ann", title, "1", "media=custom_500x700mm_500x700mm"};
    }

    static std::set<std::string> names_in(const fs::path& folder) {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    TempDir dir_;
    Owner owner_;
    fs::path hot_ = dir_ / "kcmy";
    std::string uri_ = pdf_backend::hot_folder_device_uri(hot_.string());
};

TEST_F(BackendProgram, ListsItsDeviceWhenRunWithoutArguments) {
    const ProgramRun r = run({}, std::nullopt, "");
    EXPECT_EQ(r.status, CUPS_BACKEND_OK);
    EXPECT_EQ(r.out,
              "file velquorin-pdf:/ \"Velquorin PDF hot folder\" \"Velquorin virtual printer (PDF "
              "into a hot folder)\"\n");
}

// Two jobs of one title: the second neither replaces the first nor is lost. The first comes on
// standard input with the URI in DEVICE_URI, the second in a file with the URI only in argv[0].
TEST_F(BackendProgram, SavesEachJobWholeUnderItsTitleAsTheFoldersOwner) {
    const std::string first = some_pdf(300 * 1024, 1);
    const std::string second = some_pdf(1000, 2);
    ProgramRun r = run(job("Poster"), uri_, first);
    ASSERT_EQ(r.status, CUPS_BACKEND_OK) << r.err;
    EXPECT_EQ(r.err, "INFO: Saved as " + (hot_ / "Poster.pdf").string() + "\n");
    write_file(dir_ / "job-file", second);
    ::chmod((dir_ / "job-file").c_str(), 0600);  // the spool's file, which only root may read
    std::vector<std::string> with_file = job("Poster");
    with_file.push_back((dir_ / "job-file").string());
    r = run(with_file, std::nullopt, "", uri_);
    ASSERT_EQ(r.status, CUPS_BACKEND_OK) << r.err;

    EXPECT_EQ(names_in(hot_), (std::set<std::string>{"Poster.pdf", "Poster-2.pdf"}));
    EXPECT_EQ(read_file(hot_ / "Poster.pdf"), first);
    EXPECT_EQ(read_file(hot_ / "Poster-2.pdf"), second);
    for (const char* name : {"Poster.pdf", "Poster-2.pdf"}) {
        struct stat info {};
        ASSERT_EQ(::stat((hot_ / name).c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, owner_.uid) << name;
        EXPECT_EQ(info.st_gid, owner_.gid) << name;
        EXPECT_EQ(info.st_mode & 07777, 0600U) << name;
    }
}

TEST_F(BackendProgram, ATitleNeitherLeavesTheFolderNorHidesInIt) {
    const auto around = names_in(dir_.path());
    const ProgramRun r = run(job("../.secret/../x"), uri_, some_pdf(100, 3));
    ASSERT_EQ(r.status, CUPS_BACKEND_OK) << r.err;
    EXPECT_EQ(names_in(hot_), std::set<std::string>{"_.secret_.._x.pdf"});
    auto now = names_in(dir_.path());
    now.erase("stdin");
    now.erase("stdout");
    now.erase("stderr");
    EXPECT_EQ(now, around);
}

TEST_F(BackendProgram, RefusesWhatIsNoOperatorsFolderAndWaitsForAMissingOne) {
    write_file(dir_ / "a-file", "x");
    fs::create_directory_symlink(hot_, dir_ / "a-link");
    struct Case {
        const char* what;
        std::vector<std::string> job;
        std::optional<std::string> uri;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {"missing folder", job("P"),
         pdf_backend::hot_folder_device_uri((dir_ / "gone" / "kcmy").string()), CUPS_BACKEND_RETRY,
         "does not exist; the job stays in the queue and is tried again later"},
        {"a file", job("P"), pdf_backend::hot_folder_device_uri((dir_ / "a-file").string()),
         CUPS_BACKEND_FAILED, "is not a folder"},
        {"a link", job("P"), pdf_backend::hot_folder_device_uri((dir_ / "a-link").string()),
         CUPS_BACKEND_FAILED, "is not a folder"},
        {"root's folder", job("P"), "velquorin-pdf:/", CUPS_BACKEND_FAILED, "belongs to root"},
        {"another scheme", job("P"), "file:" + hot_.string(), CUPS_BACKEND_FAILED,
         "names no hot folder"},
        {"too few arguments", {"17", "ann", "P", "1"}, uri_, CUPS_BACKEND_FAILED, "Usage:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ProgramRun r = run(c.job, c.uri, some_pdf(100, 4));
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_TRUE(r.err.rfind("ERROR: ", 0) == 0 || c.job.size() < 5) << r.err;
    }
    EXPECT_TRUE(fs::is_empty(hot_));
    EXPECT_FALSE(fs::exists(dir_ / "gone"));
}

// A full disk, as the write meets it: the job goes back to the queue and nothing of it is left.
// ProgramRun in a child, since the backend takes on the folder owner's identity for good.
TEST_F(BackendProgram, AFullFolderKeepsTheJobForALaterTryAndLeavesNothing) {
    write_file(dir_ / "stdin", some_pdf(100000, 5));
    for (const int error : {ENOSPC, EDQUOT, EIO}) {
        SCOPED_TRACE(error);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            static int fails_with;
            fails_with = error;
            const int input = ::open((dir_ / "stdin").c_str(), O_RDONLY);
            const int log = ::open((dir_ / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(log, 2);
            const auto write_until_full = [](int fd, const void* data, std::size_t size) {
                static std::size_t room = 4096;
                if (room == 0) {
                    errno = fails_with;
                    return ssize_t{-1};
                }
                const std::size_t put = std::min(size, room);
                room -= put;
                return ::write(fd, data, put);
            };
            _exit(pdf_backend::run_backend_job(uri_, "Poster", input, write_until_full));
        }
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        const std::string err = read_file(dir_ / "stderr");
        EXPECT_EQ(WEXITSTATUS(status), error == EIO ? CUPS_BACKEND_FAILED : CUPS_BACKEND_RETRY)
            << err;
        EXPECT_EQ(err.rfind("ERROR: Cannot write the PDF into the hot folder", 0), 0U) << err;
        EXPECT_TRUE(fs::is_empty(hot_));
    }
}

}  // namespace
