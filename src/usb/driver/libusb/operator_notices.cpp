#include "usb/driver/libusb/operator_notices.h"

#include <cstdio>

#ifndef VELQUORIN_UDEV_GROUP
#define VELQUORIN_UDEV_GROUP "plugdev"
#endif
#ifndef VELQUORIN_UDEV_RULES_DIR
#define VELQUORIN_UDEV_RULES_DIR "/etc/udev/rules.d"
#endif

namespace usb::libusb {

std::string refusal_text(const PrinterIds& ids, const DeviceEntry& entry, const std::string& path,
                         Result reason) {
    char device[96];
    std::snprintf(device, sizeof device, "USB id %04x:%04x at %s, /dev/bus/usb/%03u/%03u",
                  ids.vendor_id, ids.product_id, path.c_str(), entry.bus, entry.address);
    const std::string found =
        std::string("The printer (") + device + ") is plugged in, but Velquorin cannot open it: ";
    if (reason == Result::Busy) {
        return found +
               "another program is using it.\n\nClose the program that holds the printer, then "
               "plug the printer in again.";
    }
    char id[16];
    std::snprintf(id, sizeof id, "%04x:%04x", ids.vendor_id, ids.product_id);
    const std::string group = VELQUORIN_UDEV_GROUP;
    return found +
           (reason == Result::Access ? "this user may not use it." : "the USB system refused it.") +
           "\n\nTo let the operators use it:\n"
           "1. Install Velquorin's udev rule, which gives the printer to group " +
           group + ": build with -DVELQUORIN_USB_ID=" + id +
           " and run sudo cmake --install (it writes " VELQUORIN_UDEV_RULES_DIR
           "/60-velquorin.rules).\n"
           "2. Add each operator to the group: sudo usermod -aG " +
           group +
           " NAME, then log in again.\n"
           "3. Run sudo udevadm control --reload && sudo udevadm trigger, and plug the printer "
           "in again.";
}

std::string missing_id_text() {
    return "velquorin: no printer id is set, so no printer is looked for. Put the line "
           "usb_id=vvvv:pppp (the printer's vendor and product id in hex, as lsusb shows them) "
           "into " +
           configuration_file().string() + ", or set VELQUORIN_USB_ID=vvvv:pppp.\n";
}

}  // namespace usb::libusb
