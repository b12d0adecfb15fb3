#pragma once

#include <functional>
#include <string>

// The print-file commands: Delete removes a job's print file and its preview, Save copies its
// print file elsewhere.

// The preview beside a print file: its folder, its name less the last four characters, ".bmp".
std::string preview_path(const std::string& prn_path);

// Runs work on a helper thread and waits for it on the user-interface thread, which meanwhile
// serves the workers' calls and repaints but takes no input, so no other command can start
// under the work. Call it on the user-interface thread.
void run_on_helper_thread(const std::function<void()>& work);
