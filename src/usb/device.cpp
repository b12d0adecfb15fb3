#include "usb/device.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/ui/message_box.h"
#include "usb/driver_registry.h"
#include "usb/transfer_header.h"

const usb::Guid g_driver_interface_guid = {
    0x5B3C7E1A, 0x94D2, 0x4C6F, {0xA8, 0x3B, 0x0E, 0x29, 0xF1, 0xD4, 0x6C, 0x57}};

namespace {

constexpr std::uint8_t kStandardDeviceToHost = 0x80;
constexpr std::uint8_t kGetDescriptor = 6;
constexpr std::uint32_t kDescriptorTimeoutS = 5;

}  // namespace

CUsbDevice::CUsbDevice(const usb::Guid& guid, bool bOpen, usb::Driver* driver)
    : DrvGuid(guid), driver_(driver != nullptr ? driver : &usb::current_driver()) {
    if (bOpen) {
        Open(0);
    }
}

CUsbDevice::~CUsbDevice() {
    try {
        Close();
    } catch (const std::exception&) {
        // The handle is gone from this object either way.
    }
}

std::uint8_t CUsbDevice::DeviceCount() {
    std::uint32_t count = 0;
    if (auto set = driver_->present_interfaces(DrvGuid)) {
        // The count is a byte; an enumeration that never reports its end stops there too.
        for (std::uint32_t index = 0; index < 255 && count < 255; ++index) {
            const usb::EnumResult result = set->interface_at(index);
            if (result == usb::EnumResult::NoMoreItems) {
                break;
            }
            if (result == usb::EnumResult::Ok) {
                ++count;
            }
        }
    }
    DevCount = static_cast<std::uint8_t>(count);
    return DevCount;
}

bool CUsbDevice::IoControl(std::uint32_t code, std::uint8_t* buf, std::uint32_t len) {
    if (!hDevice.valid()) {
        return false;
    }
    std::uint32_t returned = 0;
    std::uint32_t error = 0;
    const bool ok = driver_->io_control(hDevice.id, code, buf, len, buf, len, returned, error);
    LastError = error;
    return ok && returned == len;
}

bool CUsbDevice::get_descriptor(std::uint8_t type, std::uint8_t index, std::uint16_t language,
                                std::uint8_t* data, std::uint16_t len) {
    std::vector<std::uint8_t> block(usb::kTransferHeaderSize + len, 0);
    usb::TransferHeader header;
    header.request_type = kStandardDeviceToHost;
    header.request = kGetDescriptor;
    header.value = static_cast<std::uint16_t>((type << 8) | index);
    header.index = language;
    header.length = len;
    header.timeout_s = kDescriptorTimeoutS;
    header.data_offset = usb::kTransferHeaderSize;
    header.data_length = len;
    header.write(block.data());
    if (!IoControl(usb::kCodeControlTransfer, block.data(),
                   static_cast<std::uint32_t>(block.size()))) {
        return false;
    }
    std::memcpy(data, block.data() + usb::kTransferHeaderSize, len);
    return true;
}

std::vector<std::uint8_t> CUsbDevice::read_table(std::uint8_t type, std::uint8_t index,
                                                 std::uint16_t head_size) {
    std::vector<std::uint8_t> table(head_size, 0);
    if (!get_descriptor(type, index, 0, table.data(), head_size)) {
        return {};
    }
    const std::uint16_t total = usb::read_u16(&table[2]);
    if (total <= head_size) {
        // Nothing beyond the head: the head is the table (the parser judges it).
        return table;
    }
    table.assign(total, 0);
    if (!get_descriptor(type, index, 0, table.data(), total)) {
        return {};
    }
    return table;
}

void CUsbDevice::read_device_descriptor() {
    std::uint8_t d[usb::kDeviceDescriptorSize] = {};
    if (!get_descriptor(usb::kDescriptorDevice, 0, 0, d, sizeof d)) {
        std::memset(d, 0, sizeof d);
    }
    BcdUSB = usb::read_u16(d + 2);
    DevClass = d[4];
    DevSubClass = d[5];
    DevProtocol = d[6];
    MaxPacketSize = d[7];
    VendorID = usb::read_u16(d + 8);
    ProductID = usb::read_u16(d + 10);
    BcdDevice = usb::read_u16(d + 12);
    ManufacturerIndex = d[14];
    ProductIndex = d[15];
    SerialNumberIndex = d[16];
    ConfigCount = d[17];
}

std::u16string CUsbDevice::read_string(std::uint8_t index, std::uint16_t language) {
    std::uint8_t head[2] = {};
    if (index == 0 || !get_descriptor(usb::kDescriptorString, index, language, head, 2) ||
        head[0] <= 2) {
        return {};
    }
    std::vector<std::uint8_t> d(head[0], 0);
    if (!get_descriptor(usb::kDescriptorString, index, language, d.data(), head[0])) {
        return {};
    }
    const std::size_t held = std::min<std::size_t>(d[0], d.size());
    const std::size_t chars =
        std::min<std::size_t>(held > 2 ? (held - 2) / 2 : 0, usb::kStringLength - 1);
    std::u16string text;
    for (std::size_t i = 0; i < chars; ++i) {
        text.push_back(static_cast<char16_t>(usb::read_u16(&d[2 + 2 * i])));
    }
    return text;
}

void CUsbDevice::read_strings() {
    // String descriptor 0 lists the languages; the first one is used.
    std::uint16_t language = 0;
    std::uint8_t head[2] = {};
    if (get_descriptor(usb::kDescriptorString, 0, 0, head, 2) && head[0] >= 4) {
        std::vector<std::uint8_t> d(head[0], 0);
        if (get_descriptor(usb::kDescriptorString, 0, 0, d.data(), head[0])) {
            language = usb::read_u16(&d[2]);
        }
    }
    Manufacturer = read_string(ManufacturerIndex, language);
    Product = read_string(ProductIndex, language);
    SerialNumber = read_string(SerialNumberIndex, language);
}

std::string CUsbDevice::read_name(std::uint32_t code) {
    std::uint8_t name[usb::kNameLength] = {};
    if (!IoControl(code, name, sizeof name)) {
        return {};
    }
    name[sizeof name - 1] = 0;
    return std::string(reinterpret_cast<const char*>(name));
}

void CUsbDevice::read_driver_information() {
    std::uint8_t address = 0;
    USBAddress = IoControl(usb::kCodeUsbAddress, &address, 1) ? address : 0;
    DeviceName = read_name(usb::kCodeDeviceName);
    FriendlyName = read_name(usb::kCodeFriendlyName);
    std::uint8_t version[4] = {};
    DriverVersion = IoControl(usb::kCodeDriverVersion, version, 4) ? usb::read_u32(version) : 0;
    std::memset(version, 0, sizeof version);
    UsbdiVersion = IoControl(usb::kCodeUsbdiVersion, version, 4) ? usb::read_u32(version) : 0;
}

void CUsbDevice::GetSpeed() {
    bHighSpeed = false;
    bSuperSpeed = false;
    std::uint8_t speed[4] = {};
    if (!IoControl(usb::kCodeBusSpeed, speed, 4)) {
        return;
    }
    const std::uint32_t value = usb::read_u32(speed);
    bHighSpeed = value == usb::kSpeedHigh;
    bSuperSpeed = value == usb::kSpeedSuper;
}

void CUsbDevice::refuse_table(const char* caption, const char* text) {
    platform::ui::message_box(text, caption, platform::ui::Buttons::Ok, platform::ui::Icon::None);
    try {
        Close();
    } catch (const std::exception&) {
        // Closed for this object in any case.
    }
}

bool CUsbDevice::Open(std::uint8_t dev) {
    if (hDevice.valid()) {
        // Close drops the handle before it reports a refused close, so the device can be
        // opened again either way; a refusal must not end the thread that reconnects.
        try {
            Close();
        } catch (const std::exception&) {
        }
    }
    DeviceCount();
    if (dev >= DevCount) {
        DevNum = 0;
        return false;
    }
    const auto set = driver_->present_interfaces(DrvGuid);
    std::string path;
    if (set != nullptr && set->interface_at(dev) == usb::EnumResult::Ok) {
        path = set->interface_path(dev);
    }
    std::uint32_t error = 0;
    const std::uint64_t id =
        path.empty() ? 0
                     : driver_->open(path,
                                     usb::kOpenRead | usb::kOpenWrite | usb::kShareRead |
                                         usb::kShareWrite | usb::kOpenOverlapped,
                                     error);
    if (id == 0) {
        LastError = path.empty() ? usb::kErrorFileNotFound : error;
        hDevice = {};
        DevNum = 0;
        return false;
    }
    hDevice = {driver_, id};
    DevNum = dev;
    DevPath = path;

    read_device_descriptor();
    read_strings();
    // A device whose bcdUSB major version is 2 is read in the USB 2 form, every other in the
    // USB 3 form; only a 3.x device has a BOS descriptor.
    const usb::DescriptorForm form =
        (BcdUSB >> 8) == 2 ? usb::DescriptorForm::Usb2 : usb::DescriptorForm::Usb3;
    if ((BcdUSB >> 8) == 3) {
        const std::vector<std::uint8_t> bos = read_table(usb::kDescriptorBos, 0, usb::kBosHeadSize);
        if (!bos.empty()) {
            try {
                UsbBos = std::make_unique<CUsbBos>(bos);
            } catch (const usb::MalformedDescriptor&) {
                refuse_table("Wrong BOS Descriptor",
                             "Please correct firmware BOS descriptor table");
                return false;
            }
        }
    }
    read_driver_information();
    GetSpeed();

    const std::size_t configs = std::min<std::size_t>(ConfigCount, usb::kMaxConfigurations);
    for (std::size_t i = 0; i < configs; ++i) {
        ConfigDescriptors[i] =
            read_table(usb::kDescriptorConfiguration, static_cast<std::uint8_t>(i),
                       usb::kConfigurationHeadSize);
        if (ConfigDescriptors[i].empty()) {
            continue;
        }
        try {
            Configs[i] =
                std::make_unique<CUsbConfig>(hDevice, ConfigDescriptors[i], MaxPacketSize, form);
        } catch (const usb::MalformedDescriptor&) {
            refuse_table("Wrong Device Configuration", "Please correct firmware descriptor table");
            return false;
        }
    }

    control_ = std::make_unique<CUsbControlEndPoint>(hDevice);
    control_->MaxPktSize = MaxPacketSize;
    ControlEndPt = control_.get();

    if (Configs[0] == nullptr) {
        return false;
    }
    set_configuration_0();
    return true;
}

void CUsbDevice::clear_endpoint_pointers() {
    IsocInEndPt = IsocOutEndPt = nullptr;
    BulkInEndPt = BulkOutEndPt = nullptr;
    InterruptInEndPt = InterruptOutEndPt = nullptr;
}

void CUsbDevice::set_configuration_0() {
    CurrentConfig = 0;
    const CUsbConfig& config = *Configs[0];
    ConfigValue = config.bConfigurationValue;
    ConfigAttrib = config.bmAttributes;
    MaxPower = config.MaxPower;
    AltInterfaces = config.AltInterfaces;

    std::uint8_t alt = 0;
    AltSetting = IoControl(usb::kCodeAltInterface, &alt, 1) ? alt : 0xFF;

    clear_endpoint_pointers();
    const CUsbInterface* selected = nullptr;
    for (std::size_t i = 0; i < config.AltInterfaces; ++i) {
        if (config.Interfaces[i]->bAlternateSetting == AltSetting) {
            selected = config.Interfaces[i].get();
            break;
        }
    }
    if (selected == nullptr) {
        return;
    }
    CurrentInterface = selected->bInterfaceNumber;
    for (std::size_t e = 1; e < selected->EndPointCount; ++e) {
        CUsbEndPoint* endpoint = selected->EndPoints[e].get();
        endpoint->XferMode = usb::kDirectXfer;
        const bool in = (endpoint->Address & 0x80) != 0;
        switch (endpoint->Attributes & 3) {
            case usb::kTransferIsochronous: {
                auto*& slot = in ? IsocInEndPt : IsocOutEndPt;
                if (slot == nullptr) {
                    slot = static_cast<CUsbIsocEndPoint*>(endpoint);
                }
                break;
            }
            case usb::kTransferBulk: {
                auto*& slot = in ? BulkInEndPt : BulkOutEndPt;
                if (slot == nullptr) {
                    slot = static_cast<CUsbBulkEndPoint*>(endpoint);
                }
                break;
            }
            case usb::kTransferInterrupt: {
                auto*& slot = in ? InterruptInEndPt : InterruptOutEndPt;
                if (slot == nullptr) {
                    slot = static_cast<CUsbInterruptEndPoint*>(endpoint);
                }
                break;
            }
            default:
                break;
        }
    }
}

void CUsbDevice::Close() {
    ControlEndPt = nullptr;
    clear_endpoint_pointers();
    control_.reset();
    for (auto& config : Configs) {
        config.reset();
    }
    for (auto& descriptor : ConfigDescriptors) {
        descriptor.clear();
    }
    UsbBos.reset();
    if (hDevice.valid()) {
        const usb::DriverHandle handle = hDevice;
        hDevice = {};
        if (!handle.driver->close(handle.id)) {
            throw std::runtime_error("Failed to close handle to driver.");
        }
    }
}
