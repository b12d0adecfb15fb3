#pragma once

#include <string>

class QApplication;

// Whether the program has a window system to show its window on. Without one the toolkit
// would end the program with an abort and a page of its own text; the program instead says in
// one line what is missing and how to run it without a window, and ends with status 1.
namespace app {

// The exit status of a program that found no window system it can use.
inline constexpr int kNoWindowSystemStatus = 1;

// The one line, when the platform asked for (the -platform argument, else QT_QPA_PLATFORM,
// options after ":" aside) is X alone, or nothing is asked for and the session hints at no
// other window system, and no X display can be reached. Empty otherwise: the toolkit then
// tries what it is asked to, and open_application answers for a failure.
std::string missing_display_line(int argc, char** argv);

// The one line for a program whose toolkit could open none of the window systems it tried,
// naming what the environment asked for.
std::string no_window_system_line();

// Makes the toolkit's application object. The toolkit's own messages while it opens the window
// system are held back: when it can open none, no_window_system_line() is said in their place
// and the process ends with kNoWindowSystemStatus at once; otherwise they are said as the
// toolkit says them.
QApplication* open_application(int& argc, char** argv);

}  // namespace app
