#include "app/settings_command.h"

void open_settings_dialog() {
    // Empty until the Setting dialog is built; the button and the tray menu both come here.
}
