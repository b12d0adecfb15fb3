#pragma once

#include <filesystem>
#include <functional>
#include <vector>

namespace test_support {

// Makes a named pipe at path.
void make_fifo(const std::filesystem::path& path);

// Runs work on a thread of its own and tells whether it ended by itself within a few seconds.
// When it did not (it waits to open or read one of the pipes), a writer comes and goes on each
// pipe until it ends, so that the test fails instead of hanging.
bool ends_without_waiting_on(const std::vector<std::filesystem::path>& fifos,
                             const std::function<void()>& work);

}  // namespace test_support
