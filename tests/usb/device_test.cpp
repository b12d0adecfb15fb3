#include "usb/device.h"

#include <gtest/gtest.h>

#include "sim_fixture.h"
#include "usb/driver_registry.h"

namespace {

using platform::ui::Buttons;
using usb::sim::LinkSpeed;
using usb::sim::Malformed;
using usb::sim::PrinterSpec;

using Device = SimUsbTest;

TEST_F(Device, WithNoPrinterNothingOpens) {
    CUsbDevice device(g_driver_interface_guid, true, &bus_);
    EXPECT_EQ(device.DeviceCount(), 0);
    EXPECT_FALSE(device.Open(0));
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.ControlEndPt, nullptr);
    EXPECT_EQ(device.BulkOutEndPt, nullptr);
}

TEST_F(Device, APrinterUnderAnotherGuidIsNotCounted) {
    PrinterSpec spec;
    spec.guid = usb::Guid{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    bus_.add_printer(spec);
    CUsbDevice device(g_driver_interface_guid, false, &bus_);
    EXPECT_EQ(device.DeviceCount(), 0);
    CUsbDevice other(spec.guid, true, &bus_);
    EXPECT_TRUE(other.IsOpen());
}

TEST_F(Device, OpensAUsb2PrinterAndSetsUpConfiguration0) {
    auto device = open_printer(PrinterSpec::usb2());
    EXPECT_EQ(device->DevCount, 1);
    EXPECT_EQ(device->DevNum, 0);
    EXPECT_EQ(device->DevPath, printer_->path());
    EXPECT_EQ(device->BcdUSB, 0x0200);
    EXPECT_EQ(device->VendorID, 0x3A2C);
    EXPECT_EQ(device->ProductID, 0x0800);
    EXPECT_EQ(device->Manufacturer, u"Norvaxel");
    EXPECT_EQ(device->Product, u"Q800X");
    EXPECT_EQ(device->SerialNumber, u"Q800X-SIM-0001");
    EXPECT_EQ(device->USBAddress, 1);
    EXPECT_EQ(device->DeviceName, "sim-usb-1");
    EXPECT_EQ(device->FriendlyName, "Q800X printer (simulated)");
    EXPECT_NE(device->DriverVersion, 0u);
    EXPECT_NE(device->UsbdiVersion, 0u);
    EXPECT_TRUE(device->bHighSpeed);
    EXPECT_FALSE(device->bSuperSpeed);

    EXPECT_EQ(device->UsbBos, nullptr);
    ASSERT_NE(device->Configs[0], nullptr);
    EXPECT_EQ(device->Configs[0]->Form, usb::DescriptorForm::Usb2);
    EXPECT_EQ(device->AltSetting, 0);
    EXPECT_EQ(device->ConfigValue, 1);

    ASSERT_NE(device->ControlEndPt, nullptr);
    EXPECT_EQ(device->ControlEndPt->DscLen, 7);
    EXPECT_EQ(device->ControlEndPt->DscType, 5);
    EXPECT_EQ(device->ControlEndPt->Address, 0);
    EXPECT_EQ(device->ControlEndPt->MaxPktSize, 64u);
    EXPECT_EQ(device->ControlEndPt->XferMode, usb::kBufferedXfer);
    ASSERT_NE(device->BulkOutEndPt, nullptr);
    EXPECT_EQ(device->BulkOutEndPt->Address, 0x01);
    EXPECT_EQ(device->BulkOutEndPt->XferMode, usb::kDirectXfer);
    EXPECT_EQ(device->BulkOutEndPt->TimeOut, 10000u);
    ASSERT_NE(device->BulkInEndPt, nullptr);
    EXPECT_EQ(device->BulkInEndPt->Address, 0x81);
    EXPECT_EQ(device->InterruptInEndPt, nullptr);
    EXPECT_EQ(device->IsocOutEndPt, nullptr);
}

TEST_F(Device, AUsb3PrinterGetsABosRecordAndUsb3Configurations) {
    auto device = open_printer(PrinterSpec::usb3());
    EXPECT_EQ(device->BcdUSB, 0x0320);
    ASSERT_NE(device->UsbBos, nullptr);
    EXPECT_TRUE(device->UsbBos->SuperSpeed.has_value());
    ASSERT_NE(device->Configs[0], nullptr);
    EXPECT_EQ(device->Configs[0]->Form, usb::DescriptorForm::Usb3);
    EXPECT_EQ(device->Configs[0]->Interfaces[0]->Form, usb::DescriptorForm::Usb3);
    EXPECT_TRUE(device->bSuperSpeed);
    EXPECT_FALSE(device->bHighSpeed);
    ASSERT_NE(device->BulkOutEndPt, nullptr);
    EXPECT_EQ(device->BulkOutEndPt->MaxPktSize, 1024u * 16);
}

TEST_F(Device, AFullSpeedPrinterIsNeitherHighNorSuperSpeed) {
    auto device = open_printer(PrinterSpec::usb2(LinkSpeed::Full));
    EXPECT_FALSE(device->bHighSpeed);
    EXPECT_FALSE(device->bSuperSpeed);
    EXPECT_EQ(device->BulkOutEndPt->MaxPktSize, 64u);
}

TEST_F(Device, OpeningEveryIndexInTurnKeepsTheLast) {
    auto first = bus_.add_printer();
    auto second = bus_.add_printer();
    CUsbDevice device(g_driver_interface_guid, false, &bus_);
    const std::uint8_t count = device.DeviceCount();
    ASSERT_EQ(count, 2);
    for (std::uint8_t i = 0; i < count; ++i) {
        EXPECT_TRUE(device.Open(i));
    }
    EXPECT_EQ(device.DevNum, 1);
    EXPECT_EQ(device.DevPath, second->path());
    EXPECT_EQ(first->open_handles(), 0u);
    EXPECT_EQ(second->open_handles(), 1u);
    EXPECT_FALSE(device.Open(2));
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.DevNum, 0);  // a failed open names no device
    EXPECT_EQ(second->open_handles(), 0u);
}

TEST_F(Device, SeveralDevicesShareOnePrinter) {
    auto a = open_printer();
    CUsbDevice b(g_driver_interface_guid, true, &bus_);
    EXPECT_TRUE(b.IsOpen());
    EXPECT_EQ(printer_->open_handles(), 2u);
}

TEST_F(Device, MalformedTablesShowTheirBoxAndLeaveTheDeviceClosed) {
    const struct {
        bool usb3;
        Malformed kind;
        const char* caption;  // null: no box
        const char* text;
    } cases[] = {
        {false, Malformed::EndpointsBeyondTable, "Wrong Device Configuration",
         "Please correct firmware descriptor table"},
        {false, Malformed::DescriptorPastEnd, "Wrong Device Configuration",
         "Please correct firmware descriptor table"},
        {true, Malformed::ZeroLengthDescriptor, "Wrong Device Configuration",
         "Please correct firmware descriptor table"},
        {true, Malformed::BosCountBeyondTable, "Wrong BOS Descriptor",
         "Please correct firmware BOS descriptor table"},
        {true, Malformed::BosCapabilityPastEnd, "Wrong BOS Descriptor",
         "Please correct firmware BOS descriptor table"},
        // The device sends fewer bytes than its total: the read fails, so there is no
        // configuration 0, and no box.
        {false, Malformed::TotalBeyondData, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        PrinterSpec spec = c.usb3 ? PrinterSpec::usb3() : PrinterSpec::usb2();
        spec.malformed = c.kind;
        auto printer = bus_.add_printer(spec);
        CUsbDevice device(g_driver_interface_guid, false, &bus_);
        const std::size_t boxes_before = boxes_.count();
        EXPECT_FALSE(device.Open(static_cast<std::uint8_t>(device.DeviceCount() - 1)));
        EXPECT_EQ(device.BulkOutEndPt, nullptr);
        const auto boxes = boxes_.boxes();
        if (c.caption == nullptr) {
            EXPECT_EQ(boxes.size(), boxes_before);
            EXPECT_EQ(device.Configs[0], nullptr);
            continue;
        }
        ASSERT_EQ(boxes.size(), boxes_before + 1);
        EXPECT_EQ(boxes.back().caption, c.caption);
        EXPECT_EQ(boxes.back().text, c.text);
        EXPECT_EQ(boxes.back().buttons, Buttons::Ok);
        EXPECT_FALSE(device.IsOpen());
        EXPECT_EQ(device.ControlEndPt, nullptr);
        EXPECT_EQ(printer->open_handles(), 0u);
        printer->unplug();
    }
}

TEST_F(Device, AnUnpluggedPrinterCannotBeOpenedUntilItIsBack) {
    auto device = open_printer();
    printer_->unplug();
    EXPECT_EQ(device->DeviceCount(), 0);
    EXPECT_FALSE(device->Open(0));
    printer_->replug();
    EXPECT_TRUE(device->Open(0));
    EXPECT_NE(device->BulkOutEndPt, nullptr);
}

TEST_F(Device, ARefusedCloseIsReportedButDoesNotStopTheNextOpen) {
    auto device = open_printer();
    device->hDevice.id = 999;  // a handle the driver does not know
    try {
        device->Close();
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Failed to close handle to driver.");
    }
    EXPECT_FALSE(device->IsOpen());
    device->hDevice = {&bus_, 998};
    EXPECT_TRUE(device->Open(0));
}

TEST(DriverRegistry, TheSimulatedPrinterOnlyWhenAskedFor) {
    CUsbDevice real(g_driver_interface_guid, true, &usb::driver_named(""));
    EXPECT_EQ(real.DeviceCount(), 0);
    EXPECT_FALSE(real.IsOpen());
    CUsbDevice other(g_driver_interface_guid, true, &usb::driver_named("lab"));
    EXPECT_EQ(other.DeviceCount(), 0);

    CUsbDevice sim(g_driver_interface_guid, true, &usb::driver_named("sim"));
    EXPECT_EQ(sim.DeviceCount(), 1);
    EXPECT_TRUE(sim.IsOpen());
}

TEST(DriverRegistry, DevicesUseTheDriverSetForTheProgram) {
    usb::sim::Bus bus;
    bus.add_printer();
    usb::Driver* before = usb::set_driver(&bus);
    {
        CUsbDevice device;
        EXPECT_TRUE(device.IsOpen());
    }
    usb::set_driver(before);
}

}  // namespace
