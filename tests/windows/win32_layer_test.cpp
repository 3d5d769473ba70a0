// The Windows device layer's own rules: event waits, port names and presence, the open's
// error numbers. Runs in the test runner's Wine prefix, where COM2 to COM255 are empty ports
// (known to the system, but no device opens behind them) and COM300 does not exist.
// One open per port is checked on a real line by the port tests (windows_port_held).

#include "ports/device_naming.h"
#include "ports/port_description.h"
#include "serial/event.h"
#include "serial/serial_device.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace qev {
namespace {

TEST(Win32Event, AutoEventsAreTakenByOneWaitAndLookingLeavesThemSet) {
    Event a(Event::Auto), m(Event::Manual);
    EXPECT_EQ(Event::waitAny({&a, &m}, 0), -1);
    a.set();
    EXPECT_TRUE(a.isSet());
    EXPECT_TRUE(a.isSet());  // looking does not take it
    EXPECT_EQ(Event::waitAny({&m, &a}, 0), 1);
    EXPECT_FALSE(a.isSet());  // the wait did
    m.set();
    a.set();
    // Both set: the first in the list wins, and only it is taken.
    EXPECT_EQ(Event::waitAny({&m, &a}, 0), 0);
    EXPECT_EQ(Event::waitAny({&m, &a}, 0), 0);  // manual: still set
    m.reset();
    EXPECT_EQ(Event::waitAny({&m, &a}, 0), 1);
    EXPECT_FALSE(a.wait(0));
}

TEST(Win32Event, AWaitEndsWhenAnotherThreadSetsTheEventAndTimesOutOtherwise) {
    Event e;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(e.wait(50));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(40));
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        e.set();
    });
    EXPECT_TRUE(e.wait(5000));
    setter.join();
}

TEST(Win32Names, PortsAreNamedInTheDeviceNamespace) {
    EXPECT_EQ(comDeviceName(3), QStringLiteral("\\\\.\\COM3"));
    EXPECT_EQ(comDeviceName(12), QStringLiteral("\\\\.\\COM12"));
    EXPECT_EQ(resolveDeviceName(QStringLiteral("COM12")), QStringLiteral("\\\\.\\COM12"));
    EXPECT_EQ(resolveDeviceName(QStringLiteral("\\\\.\\com4")), QStringLiteral("\\\\.\\com4"));
    EXPECT_EQ(resolveDeviceName(QStringLiteral("\\\\?\\usb#x")), QStringLiteral("\\\\?\\usb#x"));
}

TEST(Win32Names, PresenceIsAskedWithoutOpening) {
    EXPECT_TRUE(serialDevicePresent(QStringLiteral("\\\\.\\COM2")));
    EXPECT_TRUE(serialDevicePresent(QStringLiteral("COM2")));
    EXPECT_FALSE(serialDevicePresent(QStringLiteral("\\\\.\\COM300")));
    EXPECT_FALSE(serialDevicePresent(QStringLiteral("\\\\.\\")));
    auto device = createSerialDevice();
    EXPECT_TRUE(serialDevicePresent(QStringLiteral("\\\\.\\COM2")));
    EXPECT_FALSE(serialDevicePresent(QStringLiteral("\\\\.\\COM300")));
}

// Ports are described by the system's own names for them, and numbered by the system alone.
TEST(Win32Names, PortsAreDescribedAndNumberedByTheSystem) {
    const QList<PortInfo> ports = describePorts({2, 300});
    ASSERT_EQ(ports.size(), 2);
    EXPECT_TRUE(ports[0].present);
    EXPECT_EQ(ports[0].device, QStringLiteral("COM2"));
    EXPECT_FALSE(ports[0].description.isEmpty());
    EXPECT_EQ(portTipText(ports[1]), QStringLiteral("no device"));
    EXPECT_TRUE(assignPortNumbers().assigned.isEmpty());
    EXPECT_THROW(linkPort(3, QStringLiteral("COM2"), true), EPortLinkError);
}

TEST(Win32Device, AMissingPortIsFileNotFound) {
    auto device = createSerialDevice();
    EXPECT_EQ(device->open(QStringLiteral("\\\\.\\COM300")), SerialErrc::device_missing);
    EXPECT_FALSE(device->isOpen());
    // A failed open leaves no claim behind.
    EXPECT_EQ(device->open(QStringLiteral("\\\\.\\COM300")), SerialErrc::device_missing);
}

}  // namespace
}  // namespace qev
