// "Sync w/PC and Send" in the real window: the message ends on the line as the second it
// carries begins, the fields show that second, and every click ends in its own message on its
// own port, whatever the user does meanwhile (another send, another port, a dialog, closing
// the window). The timed sends' clock is shifted to a chosen point of a second, so the waits
// are known. Run in two locales, one with "." between the hours, minutes and seconds.

#include "protocol/date_time_value.h"
#include "second_checks.h"
#include "serial/prompt/com_select_form.h"
#include "widgets/date_picker_edit.h"
#include "widgets/list_box.h"
#include "widgets/mask_edit.h"
#include "widgets/radio_group.h"
#include "window_fixture.h"

#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace qev {
namespace {

using test::MessageBoxCatcher;
using test::onNextModal;

constexpr int kTimeSet = 14, kConfig = 82;

class WindowSync : public test::WindowTest<::testing::TestWithParam<const char*>> {
protected:
    void SetUp() override { openWindow(GetParam()); }

    // The time field's text for a second, in this locale.
    QString timeText(qint64 second) const {
        const QString sep(systemFormats().timeSeparator);
        return QDateTime::fromSecsSinceEpoch(second, Qt::UTC)
            .toString(QStringLiteral("hh'%1'mm'%1'ss").arg(sep));
    }

    // Takes a time-set message from port n and checks that it ended as its second began.
    qint64 takeTimed(int n) {
        qint64 firstNs = 0;
        const QByteArray m = line(n).take(kTimeSet, 2500, &firstNs);
        const qint64 second = test::sentSecond(m);
        EXPECT_GT(second, 0) << "COM" << n << ": " << m.toHex(' ').toStdString();
        const qint64 late = firstNs + wireTimeNs(kTimeSet, 4800) - second * kNanosPerSecond;
        EXPECT_LT(std::abs(late), 250'000'000)
            << "the message ended " << late / 1e6 << " ms after its second began";
        return second;
    }

    // Lets the window's timers run until the port has closed (a second and a half at most).
    bool portClosesSoon() {
        for (int i = 0; i < 150 && form_->Com1().Open(); ++i)
            test::spin(10);
        return !form_->Com1().Open();
    }

    // Runs action ms from now out of the event loop, as a user acting while the window waits.
    // afterWait() lets the window run until every such action has run.
    void during(int ms, std::function<void()> action) {
        ++pending_;
        QTimer::singleShot(ms, form_, [this, action] {
            action();
            --pending_;
        });
    }
    void afterWait() {
        for (int i = 0; i < 500 && pending_ > 0; ++i)
            test::spin(10);
        ASSERT_EQ(pending_, 0);
    }

    int pending_ = 0;
};

TEST_P(WindowSync, KeyboardSyncShowsAndSendsTheSecondItMeets) {
    test::startClockAt(400);
    // Tab from the time field to the button, and press it: the key returns at once, the
    // message follows at its instant.
    click(form_->Time1());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), form_->Button2());
    QTest::keyClick(form_->Button2(), Qt::Key_Space);
    EXPECT_TRUE(line(1).take().isEmpty()) << "the window waited for the instant";
    EXPECT_TRUE(form_->Com1().Open());

    const qint64 second = takeTimed(1);
    EXPECT_EQ(form_->Time1()->maskedText(), timeText(second));
    EXPECT_EQ(dateOfValue(form_->Date1()->Date()),
              QDateTime::fromSecsSinceEpoch(second, Qt::UTC).date());
    EXPECT_TRUE(portClosesSoon());
}

TEST_P(WindowSync, SendOnTheSamePortDuringTheWaitGoesAtOnceAndLeavesTheSyncOnTime) {
    test::startClockAt(100);
    QByteArray config;
    during(100, [&] {
        click(form_->Button3());
        config = line(1).take(kConfig, 300);
    });
    click(form_->Button2());
    afterWait();
    EXPECT_EQ(config.size(), kConfig);
    takeTimed(1);
    EXPECT_TRUE(portClosesSoon());
    EXPECT_TRUE(line(1).take(1, 100).isEmpty());
}

// Sync on Com 1, then "Com 2" and a second action during the wait: the first message still
// goes to Com 1 at its instant, and the second action's own message to Com 2 only.
TEST_P(WindowSync, AnotherPortDuringTheWaitGetsOnlyItsOwnMessage) {
    line(2);
    MessageBoxCatcher boxes;
    for (const bool secondSync : {true, false}) {
        SCOPED_TRACE(secondSync ? "Sync again" : "Send Configuration");
        test::startClockAt(100);
        during(100, [&] {
            click(comButton(2));
            click(secondSync ? form_->Button2() : form_->Button3());
        });
        click(form_->Button2());
        afterWait();
        const qint64 first = takeTimed(1);
        if (secondSync)
            EXPECT_GT(takeTimed(2), first);
        else
            EXPECT_EQ(quint8(line(2).take(kConfig, 1000).front()), 0xEE);
        EXPECT_TRUE(portClosesSoon());
        EXPECT_TRUE(line(1).take(1, 50).isEmpty());
        EXPECT_TRUE(line(2).take(1, 50).isEmpty());
        click(comButton(1));
    }
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
}

// With no port chosen each send asks for one: the sync goes where its own prompt said, the
// configuration where its prompt said, and a cancelled second prompt brings no third.
TEST_P(WindowSync, EachSendGoesToThePortItsPromptChose) {
    line(2);
    line(7);
    for (const bool secondAnswered : {true, false}) {
        SCOPED_TRACE(secondAnswered ? "OK on COM7" : "Cancel");
        form_->RadioGroup1()->setItemIndex(-1);  // as restored from a stored -1
        // The sync's prompt chooses COM2, the configuration's COM7 or Cancel; any more Cancel.
        const QStringList answers = {QStringLiteral("COM2"),
                                     secondAnswered ? QStringLiteral("COM7") : QString()};
        test::EveryModal<TComSelectForm> prompts([&](TComSelectForm* f) {
            const QString port = answers.value(prompts.seen() - 1);
            if (port.isEmpty()) {
                QTest::mouseClick(f->AbortBtn(), Qt::LeftButton);
                return;
            }
            QComboBox* list = f->PortsComboBox();
            QTest::keyClick(f->OkBtn(), Qt::Key_Tab, Qt::ShiftModifier);  // to the list
            for (int i = 0; i < 60 && list->currentText() != port; ++i)
                QTest::keyClick(list, Qt::Key_Down);
            QTest::keyClick(list, Qt::Key_Return);  // OK is the default button
        });
        test::startClockAt(100);
        during(150, [&] { click(form_->Button3()); });
        click(form_->Button2());
        afterWait();

        takeTimed(2);
        EXPECT_EQ(line(7).take(kConfig, 1000).size(), secondAnswered ? kConfig : 0);
        EXPECT_TRUE(portClosesSoon());
        test::spin(100);
        EXPECT_EQ(prompts.seen(), 2);
        for (const int n : {1, 2, 7})
            EXPECT_TRUE(line(n).take(1, 50).isEmpty()) << "COM" << n;
    }
}

// As the program runs: in the application's event loop, which the last window's close ends.
TEST_P(WindowSync, ClosingTheWindowDuringTheWaitDeliversTheMessageThenSaves) {
    test::startClockAt(50);
    QTimer::singleShot(0, form_, [&] { click(form_->Button2()); });
    during(300, [&] { form_->close(); });
    QTimer::singleShot(5000, qApp, &QCoreApplication::quit);  // should the close not end it
    QApplication::exec();
    EXPECT_FALSE(form_->isVisible());
    EXPECT_FALSE(form_->Com1().Open());
    takeTimed(1);
    QFile saved(settingsFile());
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.readAll().contains("ListBox1_Items"));
}

TEST_P(WindowSync, ZoneEditorOpenedDuringTheWaitDoesNotHoldThePort) {
    test::startClockAt(100);
    bool closedMeanwhile = false;
    QByteArray sent;
    during(100, [&] {
        onNextModal<TdlgSetZone>([&](TdlgSetZone* d) {
            test::spin(1500);  // past the instant and the half second after it
            closedMeanwhile = !form_->Com1().Open();
            sent = line(1).take();
            QTest::mouseClick(d->CancelBtn(), Qt::LeftButton);
        });
        clickRow(3);
        click(form_->btnEdit());
    });
    click(form_->Button2());
    afterWait();
    EXPECT_TRUE(closedMeanwhile) << "the port stayed open under the zone editor";
    EXPECT_GT(test::sentSecond(sent), 0) << sent.toHex(' ').toStdString();
}

// The fields are filled from the clock before the port is opened, so they show the clock's
// time also when there is no port to send to.
TEST_P(WindowSync, FieldsShowTheClockAlsoWhenThePortIsMissing) {
    click(comButton(8));  // no COM8 here
    click(form_->Date1());
    QTest::keyClick(form_->Date1(), Qt::Key_Home);
    QTest::keyClicks(form_->Date1(), QStringLiteral("01012020"));
    QTest::keyClick(form_->Date1(), Qt::Key_Tab);
    QTest::keyClicks(form_->Time1(), QStringLiteral("111111"));
    ASSERT_EQ(form_->Time1()->maskedText(), timeText(11 * 3600 + 11 * 60 + 11));

    MessageBoxCatcher boxes;
    click(form_->Button2());
    test::spin(50);
    ASSERT_EQ(boxes.texts(), QStringList{QStringLiteral("Specified comport doesn't exist.")});
    const QDateTime now = QDateTime::currentDateTimeUtc();
    EXPECT_EQ(dateOfValue(form_->Date1()->Date()), now.date());
    const QTime shown =
        QTime::fromString(form_->Time1()->maskedText(),
                          QStringLiteral("hh'%1'mm'%1'ss").arg(systemFormats().timeSeparator));
    ASSERT_TRUE(shown.isValid()) << form_->Time1()->maskedText().toStdString();
    EXPECT_LE(std::abs(shown.secsTo(now.time())), 2);
    EXPECT_FALSE(form_->Com1().Open());
}

// A line that takes no data (a stalled adapter): neither send passes for done; each says that
// its message did not leave, and the port is closed.
TEST_P(WindowSync, MessageThatDidNotLeaveIsReported) {
    const QString expected = QStringLiteral(
                                 "The message did not leave %1: the line took no data (a stalled "
                                 "adapter, or a peer that stopped reading)")
                                 .arg(line(1).slavePath());
    line(1).stall(true);
    for (QPushButton* button : {form_->Button3(), form_->Button2()}) {
        SCOPED_TRACE(button->text().toStdString());
        MessageBoxCatcher boxes;
        test::startClockAt(100);
        click(button);
        EXPECT_TRUE(portClosesSoon());
        test::spin(50);
        EXPECT_EQ(boxes.texts(), QStringList{expected}) << boxes.texts().join('|').toStdString();
    }
    line(1).stall(false);
    EXPECT_TRUE(line(1).take(1, 100).isEmpty()) << "the discarded bytes reached the line";
}

INSTANTIATE_TEST_SUITE_P(Locales, WindowSync, ::testing::Values("en_US", "fi_FI"));

}  // namespace
}  // namespace qev
