#include "app/auto_boot.h"

#include "platform/autostart.h"
#include "platform/paths.h"
#include "platform/ui/message_box.h"

namespace app {

bool auto_boot_on() {
    return platform::autostart_entry_exists(kAutoBootName);
}

void toggle_auto_boot() {
    // Only whether the entry exists decides; what it holds does not. An entry that would start
    // nothing, or a change that did not happen, is said rather than left for the check mark.
    bool changed = false;
    if (platform::autostart_entry_exists(kAutoBootName)) {
        changed = platform::remove_autostart_entry(kAutoBootName);
    } else if (const auto program = platform::installed_program()) {
        changed = platform::add_autostart_entry(kAutoBootName, *program);
    }
    if (!changed) {
        platform::ui::message_box(kAutoBootKeyError, {}, platform::ui::Buttons::Ok);
    }
}

}  // namespace app
