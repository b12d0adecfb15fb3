// "Auto boot" once, for the tests: waits for a byte on standard input, so that the test can
// delete or replace this program's file first, then toggles the autostart entry and ends with 0
// when the entry exists afterwards, 1 when it does not. Its boxes go to standard error, as no
// window can show them here.
#include <unistd.h>

#include "app/auto_boot.h"

int main() {
    char byte = 0;
    if (::read(STDIN_FILENO, &byte, 1) != 1) {
        return 64;
    }
    app::toggle_auto_boot();
    return app::auto_boot_on() ? 0 : 1;
}
