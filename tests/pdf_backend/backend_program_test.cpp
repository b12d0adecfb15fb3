// The velquorin-pdf backend as CUPS runs it: device URI, job arguments, the job's PDF on
// standard input or in a file, "ERROR:" lines and the backend exit codes.
#include <cups/backend.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "pdf_backend/backend_job.h"
#include "pdf_backend/folder_owner.h"
#include "pdf_backend/hot_folder_uri.h"
#include "program_run.h"
#include "temp_dir.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using test_support::ProgramRun;
using test_support::read_file;
using test_support::TempDir;
using test_support::write_file;

// The account whose hot folders the tests deliver to: whoever runs the tests, or for root, who
// may own none, the operator account that CI makes (VELQUORIN_TEST_OPERATOR), whom the backend
// then becomes.
struct Owner {
    uid_t uid = getuid();
    gid_t gid = getgid();
    fs::path home;
    std::string why_not;  // empty when there is such an account
    Owner() {
        if (getuid() == 0) {
            const char* name = std::getenv("VELQUORIN_TEST_OPERATOR");
            const passwd* account = name != nullptr && *name != '\0' ? getpwnam(name) : nullptr;
            if (account == nullptr) {
                why_not =
                    "run as root, the backend delivers only to an operator's hot folder: "
                    "VELQUORIN_TEST_OPERATOR names none (CI sets it)";
                return;
            }
            uid = account->pw_uid;
            gid = account->pw_gid;
        }
        home = test_support::home_of(uid);
        if (home.empty() || !fs::is_directory(home)) {
            why_not = "the account has no home folder to hold hot folders";
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

// The print system's state shows every line but the debug ones.
std::string shown(const std::string& err) {
    std::string lines;
    for (std::size_t at = 0; at < err.size();) {
        const std::size_t end = std::min(err.find('\n', at), err.size());
        if (err.compare(at, 6, "DEBUG:") != 0) {
            lines += err.substr(at, end - at) + "\n";
        }
        at = end + 1;
    }
    return lines;
}

class BackendProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!owner_.why_not.empty()) {
            GTEST_SKIP() << owner_.why_not;
        }
        dir_.emplace(owner_.home);
        settings_ = dir_->path() / "data" / "NorvaxelQ800X";
        hot_ = settings_ / "VirtualHotFolder" / "kcmy";
        fs::create_directories(hot_);
        give_to_owner(dir_->path());
        uri_ = pdf_backend::hot_folder_device_uri(hot_.string());
    }

    // The folder and everything in it the owner's, writable by the owner alone.
    void give_to_owner(const fs::path& top) const {
        own(top);
        for (const auto& entry : fs::recursive_directory_iterator(top)) {
            own(entry.path());
        }
    }
    void own(const fs::path& path) const {
        ASSERT_EQ(::lchown(path.c_str(), owner_.uid, owner_.gid), 0) << path;
        if (!fs::is_symlink(path)) {
            ::chmod(path.c_str(), fs::is_directory(path) ? 0755 : 0644);
        }
    }

    // Runs the backend with the job arguments CUPS gives (argv[0] the device URI), the device
    // URI in DEVICE_URI unless told otherwise, and `input` on standard input.
    ProgramRun run(const std::vector<std::string>& job,
                   const std::optional<std::string>& device_uri, const std::string& input,
                   const std::string& argv0 = "velquorin-pdf") const {
        write_file(dir_->path() / "stdin", input);
        std::vector<std::string> argv = {argv0};
        argv.insert(argv.end(), job.begin(), job.end());
        std::vector<std::string> set;
        if (device_uri) {
            set.push_back("DEVICE_URI=" + *device_uri);
        }
        return test_support::run_program(VELQUORIN_PDF_BACKEND, argv, dir_->path() / "stdin", set,
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

    // Every file below a folder, for "nothing was written anywhere".
    static std::set<std::string> tree_of(const fs::path& folder) {
        std::set<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            names.insert(entry.path().string());
        }
        return names;
    }

    Owner owner_;
    std::optional<TempDir> dir_;
    fs::path settings_;
    fs::path hot_;
    std::string uri_;
};

TEST(BackendDevice, ListsItsDeviceWhenRunWithoutArguments) {
    const ProgramRun r =
        test_support::run_program(VELQUORIN_PDF_BACKEND, {"velquorin-pdf"}, "/dev/null");
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
    write_file(dir_->path() / "job-file", second);
    ::chmod((dir_->path() / "job-file").c_str(), 0600);  // the spool's file, only root's to read
    std::vector<std::string> with_file = job("Poster");
    with_file.push_back((dir_->path() / "job-file").string());
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
    const auto around = tree_of(settings_);
    const ProgramRun r = run(job("../.secret/../x"), uri_, some_pdf(100, 3));
    ASSERT_EQ(r.status, CUPS_BACKEND_OK) << r.err;
    EXPECT_EQ(names_in(hot_), std::set<std::string>{"_.secret_.._x.pdf"});
    auto now = tree_of(settings_);
    now.erase((hot_ / "_.secret_.._x.pdf").string());
    EXPECT_EQ(now, around);
}

// Only a layout folder of the set-up's shape, below its owner's home, that folder's own from the
// home down and writable by nobody else. What the backend sees before it has become the owner
// it keeps to the debug log: the state says one text. A missing hot folder, seen as its owner,
// keeps the job for a later try.
TEST_F(BackendProgram, RefusesWhatIsNoOperatorsHotFolderAndWaitsForAMissingOne) {
    const fs::path hot_root = hot_.parent_path();
    fs::create_directory(hot_root / "ww");
    fs::create_directories(dir_->path() / "elsewhere");
    fs::create_directory_symlink(dir_->path() / "elsewhere", hot_root / "kcmywwww");
    fs::create_directories(dir_->path() / "private");
    const fs::path open_root = dir_->path() / "open" / "NorvaxelQ800X" / "VirtualHotFolder";
    fs::create_directories(open_root / "vv");
    give_to_owner(dir_->path());
    ::chmod((hot_root / "ww").c_str(), 0775);
    ::chmod(open_root.c_str(), 0757);
    // The shape in full, in a folder that is nobody's home.
    const TempDir outside;
    const fs::path stray = outside.path() / "NorvaxelQ800X" / "VirtualHotFolder" / "kcmy";
    fs::create_directories(stray);
    give_to_owner(outside.path());
    ::chmod(outside.path().c_str(), 0755);

    const std::string refusal = "ERROR: " + std::string(pdf_backend::kNotAHotFolder) + "\n";
    const auto uri = [](const fs::path& folder) {
        return pdf_backend::hot_folder_device_uri(folder.string());
    };
    struct Case {
        const char* what;
        std::vector<std::string> job;
        std::string uri;
        int status;
        std::string says;  // the whole shown text, or a part of it after the owner was become
    };
    std::vector<Case> cases = {
        {"missing layout folder", job("P"), uri(hot_root / "wwww"), CUPS_BACKEND_RETRY,
         "ERROR: The hot folder " + (hot_root / "wwww").string() +
             " does not exist; the job stays in the queue and is tried again later\n"},
        {"a link in a layout's place", job("P"), uri(hot_root / "kcmywwww"), CUPS_BACKEND_FAILED,
         "kcmywwww is not a folder"},
        {"a layout folder its group may write", job("P"), uri(hot_root / "ww"), CUPS_BACKEND_FAILED,
         "ww may be written by others than its owner"},
        {"a hot-folder root others may write", job("P"), uri(open_root / "vv"), CUPS_BACKEND_FAILED,
         "VirtualHotFolder may be written by others than its owner"},
        {"a private folder of the owner's", job("P"), uri(dir_->path() / "private"),
         CUPS_BACKEND_FAILED, refusal},
        {"the shape outside any home", job("P"), uri(stray), CUPS_BACKEND_FAILED, refusal},
        {"a name that is no layout", job("P"), uri(hot_root / "KCMY"), CUPS_BACKEND_FAILED,
         refusal},
        {"the root folder", job("P"), "velquorin-pdf:/", CUPS_BACKEND_FAILED, refusal},
        {"a climb out of the home", job("P"),
         uri(dir_->path() / ".." / "NorvaxelQ800X" / "VirtualHotFolder" / "kcmy"),
         CUPS_BACKEND_FAILED, refusal},
        {"another scheme", job("P"), "file:" + hot_.string(), CUPS_BACKEND_FAILED, refusal},
        {"too few arguments", {"17", "ann", "P", "1"}, uri_, CUPS_BACKEND_FAILED, "Usage:"},
    };
    if (getuid() == 0) {
        // A folder on the way that another account owns, though the owner's own folders below it
        // would take the job: only root can make one (CI runs this program as root).
        const fs::path theirs = dir_->path() / "theirs";
        fs::create_directories(theirs / "NorvaxelQ800X" / "VirtualHotFolder" / "kcmy");
        give_to_owner(theirs);
        EXPECT_EQ(::lchown(theirs.c_str(), 65534, 65534), 0);
        cases.push_back({"a folder on the way of another account's", job("P"),
                         uri(theirs / "NorvaxelQ800X" / "VirtualHotFolder" / "kcmy"),
                         CUPS_BACKEND_FAILED, "theirs belongs to user 65534"});
    }
    auto before = tree_of(dir_->path());
    before.erase((dir_->path() / "stdin").string());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ProgramRun r = run(c.job, c.uri, some_pdf(100, 4));
        EXPECT_EQ(r.status, c.status);
        if (c.says.ends_with('\n')) {
            EXPECT_EQ(shown(r.err), c.says) << r.err;
        } else {
            EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        }
        EXPECT_TRUE(r.err.rfind("ERROR: ", 0) == 0 || r.err.rfind("DEBUG: ", 0) == 0 ||
                    c.job.size() < 5)
            << r.err;
    }
    auto after = tree_of(dir_->path());
    after.erase((dir_->path() / "stdin").string());
    EXPECT_EQ(after, before);
    EXPECT_TRUE(fs::is_empty(stray));
}

// Whatever root sees of a path that the printing user may not look into (whether it exists,
// what it is, whose it is) the queue's state does not tell: one text and one exit code for all.
TEST_F(BackendProgram, AnExistingAndAMissingPathLookTheSame) {
    const TempDir roots;  // of whoever runs the tests: root's, on CI
    const fs::path shaped = roots.path() / "NorvaxelQ800X" / "VirtualHotFolder";
    fs::create_directories(shaped / "kcmy");
    write_file(shaped / "ww", "a file");
    ::chmod(roots.path().c_str(), 0700);
    const std::vector<fs::path> paths = {
        shaped / "kcmy",
        shaped / "ww",
        shaped / "vv",
        "/root/NorvaxelQ800X/VirtualHotFolder/kcmy",  // someone else's, to an operator
        "/nonexistent/NorvaxelQ800X/VirtualHotFolder/kcmy",
    };
    std::optional<ProgramRun> first;
    for (const fs::path& path : paths) {
        SCOPED_TRACE(path);
        const ProgramRun r =
            run(job("P"), pdf_backend::hot_folder_device_uri(path.string()), some_pdf(100, 5));
        EXPECT_EQ(shown(r.err), "ERROR: " + std::string(pdf_backend::kNotAHotFolder) + "\n")
            << r.err;
        if (first) {
            EXPECT_EQ(r.status, first->status);
        } else {
            first = r;
        }
    }
    EXPECT_TRUE(fs::is_empty(shaped / "kcmy"));
}

// Another operator's private folder, or a folder of a service account (whose rules or
// settings a job's bytes would then be), is never written, whoever owns it.
TEST_F(BackendProgram, NothingIsWrittenIntoAnotherAccountsOrAServiceAccountsFolder) {
    if (getuid() != 0) {
        GTEST_SKIP() << "only root makes folders of other accounts (CI runs this program as root)";
    }
    const char* other_name = std::getenv("VELQUORIN_TEST_OTHER_ACCOUNT");
    const passwd* other = other_name != nullptr ? getpwnam(other_name) : nullptr;
    if (other == nullptr) {
        GTEST_SKIP() << "VELQUORIN_TEST_OTHER_ACCOUNT names no second account (CI sets it)";
    }
    const uid_t other_uid = other->pw_uid;
    const gid_t other_gid = other->pw_gid;
    const TempDir theirs(other->pw_dir);
    const passwd* service = getpwnam("daemon");
    ASSERT_NE(service, nullptr);
    const fs::path notes = theirs.path() / "notes";
    const fs::path their_hot = theirs.path() / "NorvaxelQ800X" / "VirtualHotFolder" / "kcmy";
    fs::create_directories(notes);
    fs::create_directories(their_hot);
    for (const auto& entry : fs::recursive_directory_iterator(theirs.path())) {
        ASSERT_EQ(::chown(entry.path().c_str(), other_uid, other_gid), 0);
    }
    ASSERT_EQ(::chown(theirs.path().c_str(), other_uid, other_gid), 0);
    // Their home's folder that a group of theirs may write: not the hot folders' shape of safety.
    ::chmod((theirs.path() / "NorvaxelQ800X").c_str(), 0775);
    const TempDir services;
    const fs::path rules = services.path() / "rules.d";
    fs::create_directory(rules);
    ::chmod(services.path().c_str(), 0755);
    ASSERT_EQ(::chown(rules.c_str(), service->pw_uid, service->pw_gid), 0);

    for (const fs::path& folder : {notes, their_hot, rules}) {
        SCOPED_TRACE(folder);
        const ProgramRun r =
            run(job("P"), pdf_backend::hot_folder_device_uri(folder.string()), some_pdf(100, 6));
        EXPECT_EQ(r.status, CUPS_BACKEND_FAILED) << r.err;
        EXPECT_TRUE(fs::is_empty(folder));
    }
}

// The lowest ordinary user id comes from the system's login definitions; an account below it
// (a service account) owns no hot folder, whatever its folders look like.
TEST_F(BackendProgram, TheOwnerMustBeAnOrdinaryAccount) {
    const TempDir defs;
    struct Case {
        const char* text;
        uid_t first;
    };
    const Case cases[] = {
        {"", 1000},
        {"# UID_MIN 5\nUID_MAX 60000\n", 1000},
        {"UID_MIN\t\t\t 500\n", 500},
        {"  UID_MIN 2000\nUID_MIN 3000\n", 3000},
        {"UID_MIN 0x400\n", 1024},
        {"UID_MIN \"1500\"\n", 1500},
        {"UID_MIN lots\n", 1000},
        {"UID_MINIMUM 5\n", 1000},
    };
    for (const Case& c : cases) {
        write_file(defs / "login.defs", c.text);
        EXPECT_EQ(pdf_backend::first_ordinary_uid(defs / "login.defs"), c.first) << c.text;
    }
    EXPECT_EQ(pdf_backend::first_ordinary_uid(defs / "missing"), 1000U);

    write_file(defs / "login.defs", "UID_MIN " + std::to_string(owner_.uid + 1) + "\n");
    const pdf_backend::FolderOwner refused =
        pdf_backend::become_folder_owner(hot_.string(), defs / "login.defs");
    EXPECT_EQ(refused.state, pdf_backend::OwnerState::Refused);
    EXPECT_NE(refused.cause.find("no ordinary account"), std::string::npos) << refused.cause;
    EXPECT_EQ(geteuid(), getuid());
}

// Only a PDF is a virtual printer's job: a raw job, or any type that the print system passes
// through unconverted, is refused and leaves nothing; the queue goes on.
TEST_F(BackendProgram, OnlyWhatBeginsAsAPdfIsSaved) {
    struct Case {
        const char* what;
        std::string input;
        bool saved;
    };
    const Case cases[] = {
        {"plain text", "Hello, printer\n", false},
        {"PostScript", "%!PS-Adobe-3.0\nshowpage\n", false},
        {"nothing", "", false},
        {"%PDF- too late", std::string(1020, ' ') + some_pdf(200, 7), false},
        {"a cut marker", "%PDF", false},
        {"%PDF- at once", some_pdf(200, 8), true},
        {"%PDF- after a header", std::string(1019, ' ') + some_pdf(200, 9), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ProgramRun r = run(job("Raw"), uri_, c.input);
        if (c.saved) {
            EXPECT_EQ(r.status, CUPS_BACKEND_OK) << r.err;
            EXPECT_EQ(read_file(hot_ / "Raw.pdf"), c.input);
            fs::remove(hot_ / "Raw.pdf");
        } else {
            EXPECT_EQ(r.status, CUPS_BACKEND_CANCEL) << r.err;
            EXPECT_EQ(r.err.rfind("ERROR: ", 0), 0U) << r.err;
        }
        EXPECT_TRUE(fs::is_empty(hot_));
    }
}

// The backend started with its input from a pipe the test writes; the backend's pid.
struct Started {
    pid_t pid = -1;
    int input = -1;  // the pipe's writing end
};

Started start_backend(const std::string& uri, const fs::path& err) {
    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0) {
        return {};
    }
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::strncmp(*e, "DEVICE_URI=", 11) != 0) {
            env.emplace_back(*e);
        }
    }
    env.push_back("DEVICE_URI=" + uri);
    std::vector<std::string> args = {"velquorin-pdf", "18", "ann", "Slow", "1", ""};
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_adddup2(&files, pipe_fds[0], 0);
    posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    Started started;
    if (posix_spawn(&started.pid, VELQUORIN_PDF_BACKEND, &files, nullptr, argv.data(),
                    envp.data()) != 0) {
        started.pid = -1;
    }
    posix_spawn_file_actions_destroy(&files);
    ::close(pipe_fds[0]);
    started.input = pipe_fds[1];
    return started;
}

bool write_all(int fd, const std::string& bytes) {
    return ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

// A job cancelled while it is being delivered (CUPS ends its backend with SIGTERM) leaves no
// temporary file behind.
TEST_F(BackendProgram, ACancelledJobLeavesNothing) {
    const Started backend = start_backend(uri_, dir_->path() / "err");
    ASSERT_GT(backend.pid, 0);
    ASSERT_TRUE(write_all(backend.input, some_pdf(100000, 10)));
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (fs::is_empty(hot_) && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_FALSE(fs::is_empty(hot_)) << "the delivery never began";
    ASSERT_EQ(::kill(backend.pid, SIGTERM), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(backend.pid, &status, 0), backend.pid);
    ::close(backend.input);
    EXPECT_TRUE(fs::is_empty(hot_)) << *fs::directory_iterator(hot_);
}

// The collector deletes every file in a hot folder that is no PDF once nothing writes it: the
// delivery's temporary file must never be closed while it still has its temporary name, or a
// sweep at that moment deletes a job in the middle of its delivery. What any reader of the
// folder is told shows it: the one close after writing comes under the PDF's own name.
TEST_F(BackendProgram, ADeliveryIsNeverClosedUnderItsTemporaryName) {
    const int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, hot_.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO), 0);
    for (int n = 0; n < 3; ++n) {
        const ProgramRun r = run(job("Raced"), uri_, some_pdf(200000, 11 + n));
        ASSERT_EQ(r.status, CUPS_BACKEND_OK) << r.err;
    }
    std::vector<std::pair<std::uint32_t, std::string>> events;
    alignas(inotify_event) char buffer[8192];
    for (ssize_t got; (got = ::read(watch, buffer, sizeof buffer)) > 0;) {
        for (ssize_t at = 0; at < got;) {
            inotify_event event{};
            std::memcpy(&event, buffer + at, sizeof event);
            events.emplace_back(event.mask, event.len > 0 ? buffer + at + sizeof event : "");
            at += static_cast<ssize_t>(sizeof event + event.len);
        }
    }
    ::close(watch);
    std::vector<std::string> closed;
    for (const auto& [mask, name] : events) {
        if ((mask & IN_CLOSE_WRITE) != 0) {
            closed.push_back(name);
        }
    }
    EXPECT_EQ(closed, (std::vector<std::string>{"Raced.pdf", "Raced-2.pdf", "Raced-3.pdf"}));
}

// A full disk, as the write meets it: the job goes back to the queue and nothing of it is left.
// Run in a child, since the backend takes on the folder owner's identity for good.
TEST_F(BackendProgram, AFullFolderKeepsTheJobForALaterTryAndLeavesNothing) {
    write_file(dir_->path() / "stdin", some_pdf(100000, 5));
    for (const int error : {ENOSPC, EDQUOT, EIO}) {
        SCOPED_TRACE(error);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            static int fails_with;
            fails_with = error;
            const int input = ::open((dir_->path() / "stdin").c_str(), O_RDONLY);
            const int log =
                ::open((dir_->path() / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
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
        const std::string err = read_file(dir_->path() / "stderr");
        EXPECT_EQ(WEXITSTATUS(status), error == EIO ? CUPS_BACKEND_FAILED : CUPS_BACKEND_RETRY)
            << err;
        EXPECT_EQ(err.rfind("ERROR: Cannot write the PDF into the hot folder", 0), 0U) << err;
        EXPECT_TRUE(fs::is_empty(hot_));
    }
}

}  // namespace
