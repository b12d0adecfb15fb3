#include <cstdio>
#include <cstdlib>

#include "app/velquorin_app.h"

int main(int argc, char** argv) {
    theApp.InitInstance(argc, argv);
    // The end of the main window's run is the end of the program, whatever ended it: the
    // workers are not waited for, and a print in progress is cut off.
    std::fflush(nullptr);
    std::_Exit(theApp.exit_status());
}
