#include "test_processes.h"

#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "scoped_env.h"
#include "x_desktop.h"

namespace test_support {

std::vector<platform::RunningProcess> processes_under(const std::filesystem::path& folder,
                                                      std::string_view name) {
    std::vector<platform::RunningProcess> ours;
    const std::string prefix = folder.lexically_normal().native() + "/";
    for (const auto& process :
         platform::find_processes(name).value_or(std::vector<platform::RunningProcess>{})) {
        std::error_code error;
        const std::string exe =
            std::filesystem::read_symlink("/proc/" + std::to_string(process.pid) + "/exe", error)
                .native();
        if (!error && exe.starts_with(prefix)) {
            ours.push_back(process);
        }
    }
    return ours;
}

void end_processes_under(const std::filesystem::path& folder, std::string_view name) {
    platform::terminate_processes(processes_under(folder, name), 0, 5000);
}

std::optional<OtherUser> other_user() {
    if (::geteuid() != 0) {
        return std::nullopt;
    }
    const char* named = std::getenv("VELQUORIN_TEST_OTHER_ACCOUNT");
    const passwd* entry = ::getpwnam(named != nullptr && *named != 0 ? named : "nobody");
    if (entry == nullptr || entry->pw_uid == 0) {
        return std::nullopt;
    }
    return OtherUser{entry->pw_uid, entry->pw_gid};
}

platform::StartResult start_as(const OtherUser& user, const std::filesystem::path& program,
                               const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"setpriv",
                                     "--reuid=" + std::to_string(user.uid),
                                     "--regid=" + std::to_string(user.gid),
                                     "--clear-groups",
                                     "--",
                                     program.native()};
    argv.insert(argv.end(), args.begin(), args.end());
    return platform::start_process("/usr/bin/setpriv", argv);
}

int killed_past_file_size(rlim_t limit, const std::function<void()>& work) {
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit no_core{0, 0};
        const rlimit file_size{limit, limit};
        ::setrlimit(RLIMIT_CORE, &no_core);
        ::setrlimit(RLIMIT_FSIZE, &file_size);
        work();
        ::_exit(0);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) {
        return -1;
    }
    return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

OtherUsersDesigner::OtherUsersDesigner(const OtherUser& user, const std::string& title) {
    namespace fs = std::filesystem;
    fs::permissions(folder_.path(), fs::perms::all);
    const fs::path program = folder_ / "lytw.exe";
    fs::copy_file(stand_in_designer_program(), program);
    fs::permissions(program, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
    record_ = folder_ / "record";
    write_file(record_, "");
    fs::permissions(record_, fs::perms::all);
    ScopedEnv record_env("VELQUORIN_STAND_IN_RECORD", record_.c_str());
    ScopedEnv title_env("VELQUORIN_STAND_IN_TITLE", title.c_str());
    started_ = start_as(user, program);
}

OtherUsersDesigner::~OtherUsersDesigner() {
    end_processes_under(folder_.path());
}

std::string OtherUsersDesigner::record() const {
    return read_file(record_);
}

}  // namespace test_support
