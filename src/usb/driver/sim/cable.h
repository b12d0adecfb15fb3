#pragma once

#include <cstdint>

// What the simulated firmware can do to the cable of the printer it runs in, whichever bus
// (the simulated driver's or the simulated libusb's) the printer is on.
namespace usb::sim {

class Cable {
  public:
    virtual ~Cable() = default;
    // Unplugs now and plugs in again after ms of program time.
    virtual void unplug_for(std::uint32_t ms) = 0;
};

}  // namespace usb::sim
