#include "program_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>

#include "temp_dir.h"

extern char** environ;

namespace test_support {
namespace {

bool named(std::string_view variable, const std::vector<std::string>& names) {
    return std::any_of(names.begin(), names.end(), [&](const std::string& name) {
        return variable.size() > name.size() && variable.substr(0, name.size()) == name &&
               variable[name.size()] == '=';
    });
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> list;
    for (std::string& s : strings) {
        list.push_back(s.data());
    }
    list.push_back(nullptr);
    return list;
}

}  // namespace

ProgramRun run_program(const std::string& program, const std::vector<std::string>& argv,
                       const std::filesystem::path& input, const std::vector<std::string>& set,
                       const std::vector<std::string>& unset) {
    const TempDir dir;
    std::vector<std::string> args = argv;
    std::vector<std::string> left_out = unset;
    for (const std::string& variable : set) {
        left_out.push_back(variable.substr(0, variable.find('=')));
    }
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        if (!named(*e, left_out)) {
            env.emplace_back(*e);
        }
    }
    env.insert(env.end(), set.begin(), set.end());
    std::vector<char*> arg_pointers = pointers(args);
    std::vector<char*> env_pointers = pointers(env);

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, (dir / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&files, 2, (dir / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    ProgramRun run;
    pid_t pid = -1;
    if (posix_spawnp(&pid, program.c_str(), &files, nullptr, arg_pointers.data(),
                     env_pointers.data()) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&files);
    run.out = read_file(dir / "out");
    run.err = read_file(dir / "err");
    return run;
}

}  // namespace test_support
