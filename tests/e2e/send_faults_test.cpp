// Sends that fail part way, as the commands and the window tell them: never "Sent", always the
// port, the device, how much of the message left and why.

#include "app/mainform_u.h"
#include "command_runner.h"
#include "printers.h"
#include "recording_device.h"
#include "serial/serial_device.h"
#include "window_fixture.h"

#include <QLabel>

#include <gtest/gtest.h>

#include <cerrno>

namespace qev {
namespace {

struct WriteFault {
    const char* name;
    std::error_code error;  // the device layer's, as the platform's errno becomes it; none: stalls
    qint64 taken;
    bool pseudoTerminal;
    const char* told;  // what the detail must say
};

const WriteFault kFaults[] = {
    {"EIO after 5 bytes: unplugged", SerialErrc::device_gone, 5, false,
     "5 of the message's 82 bytes left before the write failed: the adapter was unplugged"},
    {"ENXIO at once", SerialErrc::device_missing, 0, false,
     "none of the message's 82 bytes left before the write failed: the adapter was unplugged"},
    {"EBADF after 44 bytes", SerialErrc::invalid_handle, 44, false,
     "44 of the message's 82 bytes left before the write failed: the port's handle was closed"},
    {"EPIPE after 40 bytes, a pty", systemError(EPIPE), 40, true,
     "40 of the message's 82 bytes left before the write failed: the system said: Broken pipe"},
    {"stalled after 40 bytes", {}, 40, false, "the line took 40 of its 82 bytes, then no more"},
};

void PrintTo(const WriteFault& fault, std::ostream* os) {
    *os << fault.name;
}

class SendFaults : public test::WindowTest<::testing::TestWithParam<WriteFault>> {
protected:
    void SetUp() override {
        const WriteFault& f = GetParam();
        devices_.record().takeBytes = f.taken;
        devices_.record().writeError = f.error;
        devices_.record().pseudoTerminal = f.pseudoTerminal;
    }
    test::RecordingDevices devices_;
};

TEST_P(SendFaults, TheCommandFailsAndSaysHowFarTheMessageGot) {
    const auto [status, out, err] = test::runQev({"send-zones", "--port", "COM3"});
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(out.isEmpty()) << out;
    EXPECT_TRUE(err.contains(QString::fromLatin1(GetParam().told))) << err;
    EXPECT_FALSE(GetParam().taken > 0 && err.contains("the line took no data")) << err;
}

TEST_P(SendFaults, TheWindowShowsTheFailureAndItsStatusSaysNotSent) {
    openWindow("en_US");
    test::MessageBoxCatcher boxes;
    click(form_->Button3());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.boxes().isEmpty(); }, 2000));
    const QString shown = boxes.texts().join('|');
    EXPECT_EQ(boxes.boxes().size(), 1) << shown;
    EXPECT_TRUE(shown.contains(QString::fromLatin1(GetParam().told))) << shown;
    if (GetParam().error) {
        EXPECT_TRUE(
            shown.startsWith("Exception EInOutError in a serial port thread: Device "
                             "write error.\nCOM1 ("))
            << shown;
    }
    EXPECT_TRUE(form_->StatusLine()->text().contains("Not sent to COM1"))
        << form_->StatusLine()->text();
}

INSTANTIATE_TEST_SUITE_P(Errors, SendFaults, ::testing::ValuesIn(kFaults), [](const auto& info) {
    QString name = QString::fromLatin1(info.param.name);
    name.replace(QRegularExpression("[^A-Za-z0-9]"), "_");
    return name.toStdString();
});

}  // namespace
}  // namespace qev
