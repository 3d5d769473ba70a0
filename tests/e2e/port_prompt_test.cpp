// "Select Port" as the user meets it: no port to choose, and Cancel on a prompt that a send
// raises while reopening the port. The device layer records instead of opening anything.

#include "base/error_sink.h"
#include "modal_helpers.h"
#include "ports/device_naming.h"
#include "pty_pair.h"
#include "recording_device.h"
#include "serial/com_port.h"
#include "serial/prompt/com_select_form.h"
#include "serial/transmission.h"
#include "widgets/radio_group.h"
#include "window_fixture.h"

#include <QComboBox>
#include <QLocale>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace qev {
namespace {

using test::MessageBoxCatcher;
using test::onNextModal;
using test::RecordingDevices;

// Runs in more than one locale: nothing on this path may depend on it.
class PortPromptFlow : public test::WindowTest<::testing::TestWithParam<const char*>> {
protected:
    void SetUp() override {
        savedLocale_ = QLocale();
        QLocale::setDefault(QLocale(QString::fromLatin1(GetParam())));
    }
    void TearDown() override {
        test::WindowTest<::testing::TestWithParam<const char*>>::TearDown();
        QLocale::setDefault(savedLocale_);
    }

    QLocale savedLocale_;
    RecordingDevices devices_;
};

TEST_P(PortPromptFlow, NoPortPresentSaysWhereAPortComesFromWithoutAsking) {
    config_.linkNoPorts();
    makeWindow();
    showWindow();
    form_->RadioGroup1()->setItemIndex(-1);  // no choice stored: every send asks

    MessageBoxCatcher boxes;
    int offered = -1;
    onNextModal<TComSelectForm>([&](TComSelectForm* f) {
        offered = f->PortsComboBox()->count();
        QTest::keyClick(f, Qt::Key_Return);  // OK is the default button
    });
    click(form_->Button3());
    test::spin(50);

    EXPECT_EQ(offered, -1) << "a prompt with nothing to choose from";
    ASSERT_EQ(boxes.boxes().size(), 1) << boxes.texts().join('|').toStdString();
    EXPECT_EQ(boxes.boxes()[0].text,
              QStringLiteral("No serial port was found. Connect the clock's adapter, or link a "
                             "device as %1/QEV/ports/COMn.")
                  .arg(config_.path()));
    EXPECT_TRUE(devices_.record().names().isEmpty()) << "a device was opened";
}

// A second send, started from the first one's drain loop after the port choice was cleared,
// reopens the port on number 0 and so runs the prompt inside its number assignment.
TEST_P(PortPromptFlow, CancelOnThePromptOfAReopenIsSilent) {
    test::DeviceRecord& record = devices_.record();
    const test::PtyPair line;
    config_.linkNoPorts();
    config_.link(1, line.slavePath());
    const QString com1 = resolveDeviceName(comDeviceName(1));

    DialogPortPrompt dialog;
    TComPort port;
    port.setBaud(4800);
    port.setAutoOpen(false);
    port.setPortPrompt(&dialog);
    const auto pump = [] { QCoreApplication::processEvents(); };

    QWidget window;
    auto* send = new QPushButton(QStringLiteral("Send"), &window);
    QObject::connect(send, &QPushButton::clicked,
                     [&] { runGuarded([&] { transmit(port, -1, "second;", pump); }); });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    // The first send finds the writer busy on a held line, so its bytes wait in the ring.
    port.setComNumber(1);
    port.setOpen(true);
    record.stalled = true;
    port.PutString("[filler]");
    for (int i = 0; i < 2000 && port.OutBuffUsed() != 0; ++i)
        QTest::qWait(1);
    ASSERT_EQ(port.OutBuffUsed(), 0);

    MessageBoxCatcher boxes;
    QStringList offered;
    onNextModal<TComSelectForm>([&](TComSelectForm* f) {
        for (int i = 0; i < f->PortsComboBox()->count(); ++i)
            offered << f->PortsComboBox()->itemText(i);
        // The dialog opens on OK; Tab reaches Cancel, Space presses it.
        EXPECT_TRUE(QTest::qWaitForWindowActive(f));
        // Activation moves the focus into the dialog a moment later.
        for (int i = 0; i < 100 && QApplication::focusWidget() != f->OkBtn(); ++i)
            QTest::qWait(10);
        EXPECT_EQ(QApplication::focusWidget(), f->OkBtn());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), f->AbortBtn());
        QTest::keyClick(f->AbortBtn(), Qt::Key_Space);
    });
    bool clicked = false;
    transmit(port, 0, "first;", [&] {
        if (!clicked) {
            clicked = true;
            QTest::mouseClick(send, Qt::LeftButton);
        }
        pump();
    });
    test::spin(50);

    EXPECT_TRUE(clicked);
    EXPECT_EQ(offered, QStringList{QStringLiteral("COM1")});
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
    EXPECT_FALSE(port.Open());
    const QStringList calls = record.names();
    EXPECT_EQ(calls.count(QStringLiteral("open ") + com1), 1) << calls.join('|').toStdString();
    EXPECT_EQ(calls.count(QStringLiteral("close")), 1);
    EXPECT_TRUE(record.bytesWritten().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Locales, PortPromptFlow, ::testing::Values("en_US", "de_DE"));

}  // namespace
}  // namespace qev
