#pragma once

// The Setting command of the main window's button and of the tray menu. The Setting dialog is
// not part of the program yet: this is the one place that will open it, and until then it does
// nothing.
void open_settings_dialog();
