// The main window driven by keys and clicks alone, in more than one locale: choosing a zone,
// confirming it unchanged, and what the send buttons refuse.

#include "printers.h"
#include "protocol/zone_line.h"
#include "serial/prompt/com_select_form.h"
#include "widgets/date_picker_edit.h"
#include "widgets/mask_edit.h"
#include "window_fixture.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolTip>
#include <QWindow>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <ostream>

namespace qev {
namespace {

using test::MessageBoxCatcher;
using test::onNextModal;

// The window under the formats of a named locale ("C", "en_US", "fi_FI", ...): its separators
// come from the locale data, not from what this machine has installed.
class KeyboardPaths : public test::WindowTest<::testing::TestWithParam<const char*>> {
protected:
    void SetUp() override { openWindow(GetParam()); }

    QChar timeSeparator() const { return systemFormats().timeSeparator; }
    // A press or release as the window system delivers it: through the window, so that an open
    // popup or a modal box sees it first.
    static void windowMouse(QTest::MouseAction action, QWidget* w, QPoint at = {}) {
        QWindow* window = w->window()->windowHandle();
        const QPoint pos =
            window->mapFromGlobal(w->mapToGlobal(at.isNull() ? w->rect().center() : at));
        QTest::mouseEvent(action, window, Qt::LeftButton, {}, pos);
    }
    // Offscreen, a closed dialog or popup leaves the window inactive; a window manager would
    // give the activation back.
    void reactivate() {
        form_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form_));
    }
    // Selects a row with a click, presses Edit and lets act work the dialog.
    void editRow(int row, std::function<void(TdlgSetZone*)> act) {
        clickRow(row);
        onNextModal<TdlgSetZone>(std::move(act));
        click(form_->btnEdit());
    }
    // Where the dialog's keys go, once it has become the active window.
    static QWidget* keyTarget(TdlgSetZone* d) {
        EXPECT_TRUE(QTest::qWaitForWindowActive(d));
        return d->focusWidget() ? d->focusWidget() : d;
    }
    static void pressKey(TdlgSetZone* d, Qt::Key key) { QTest::keyClick(keyTarget(d), key); }
    static void pressEnter(TdlgSetZone* d) { pressKey(d, Qt::Key_Return); }
    // Tab from the dialog's first control until w has the focus.
    static void tabTo(TdlgSetZone* d, QWidget* w) {
        for (int i = 0; i < 8 && !w->hasFocus(); ++i)
            pressKey(d, Qt::Key_Tab);
        ASSERT_TRUE(w->hasFocus());
    }
};

TEST_P(KeyboardPaths, EditOnARowWithOnlyTheFocusFrameOpensNothing) {
    ListBox* list = form_->ListBox1();
    for (int i = 0; i < 12 && !list->hasFocus(); ++i)
        QTest::keyClick(focused(), Qt::Key_Tab, Qt::ShiftModifier);
    ASSERT_TRUE(list->hasFocus());
    ASSERT_TRUE(list->selectedItems().isEmpty());
    QTest::keyClick(list, Qt::Key_Tab);
    ASSERT_TRUE(form_->btnEdit()->hasFocus());

    EXPECT_FALSE(opensADialog([&] { QTest::keyClick(form_->btnEdit(), Qt::Key_Space); }));
    EXPECT_TRUE(list->selectedItems().isEmpty());
    EXPECT_EQ(form_->ListBox1()->ItemIndex(), -1);

    // Down in the list selects a row; Edit then opens that one.
    QTest::keyClick(form_->btnEdit(), Qt::Key_Tab, Qt::ShiftModifier);
    ASSERT_TRUE(list->hasFocus());
    QTest::keyClick(list, Qt::Key_Down);
    QString heading;
    onNextModal<TdlgSetZone>([&](TdlgSetZone* d) {
        heading = d->Label1()->text();
        pressKey(d, Qt::Key_Escape);
    });
    QTest::keyClick(list, Qt::Key_Tab);
    QTest::keyClick(form_->btnEdit(), Qt::Key_Space);
    EXPECT_EQ(heading, QStringLiteral("Zone 01"));
    EXPECT_EQ(form_->ListBox1()->ItemIndex(), 1);
}

TEST_P(KeyboardPaths, ZoneConfirmedUnchangedKeepsItsLineAndTypedOffsetsUseTheColon) {
    QString shown;
    editRow(0, [&](TdlgSetZone* d) {
        shown = d->MaskEdit1()->text();
        pressEnter(d);
    });
    // The field shows the locale's separator; the line keeps its own.
    EXPECT_EQ(shown, QStringLiteral("00") + timeSeparator() + QStringLiteral("00"));
    EXPECT_EQ(form_->ListBox1()->item(0)->text(), defaultZoneLines()[0]);

    editRow(5, [](TdlgSetZone* d) {
        tabTo(d, d->MaskEdit1());
        QTest::keyClicks(d->MaskEdit1(), QStringLiteral("0530"));
        pressEnter(d);
    });
    EXPECT_EQ(form_->ListBox1()->item(5)->text(),
              QStringLiteral("Zone 05  +05:30  0:No DST,12 hr"));

    MessageBoxCatcher boxes;
    click(form_->Button3());
    QByteArray expected = test::defaultConfiguration();
    expected.replace(1 + 5 * 5, 5, QByteArray::fromHex("2B051E0000"));
    EXPECT_EQ(line(1).take(82, 2000).toHex(' '), expected.toHex(' '));
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
}

TEST_P(KeyboardPaths, RuleOutsideTheListIsKeptUnlessTheUserPicksOne) {
    QStringList lines = defaultZoneLines();
    lines[2] = QStringLiteral("Zone 02  +01:00  5:Mystery,12 hr");  // as restored from a store
    form_->ListBox1()->setItems(lines);

    int rule = -2;
    editRow(2, [&](TdlgSetZone* d) {
        rule = d->ComboBox1()->currentIndex();
        pressEnter(d);
    });
    EXPECT_EQ(rule, -1);
    EXPECT_EQ(form_->ListBox1()->item(2)->text(), lines[2]);

    // Ticking 24 hours keeps the rule text too.
    editRow(2, [](TdlgSetZone* d) {
        tabTo(d, d->CheckBox2());
        QTest::keyClick(d->CheckBox2(), Qt::Key_Space);
        pressEnter(d);
    });
    EXPECT_EQ(form_->ListBox1()->item(2)->text(),
              QStringLiteral("Zone 02  +01:00  5:Mystery,24 hr"));

    MessageBoxCatcher boxes;
    click(form_->Button3());
    QByteArray expected = test::defaultConfiguration();
    expected.replace(1 + 5 * 2, 5, QByteArray::fromHex("2B01000501"));
    EXPECT_EQ(line(1).take(82, 2000).toHex(' '), expected.toHex(' '));
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();

    // Picking a rule with the keys writes the picked one.
    editRow(2, [](TdlgSetZone* d) {
        tabTo(d, d->ComboBox1());
        QTest::keyClick(d->ComboBox1(), Qt::Key_End);
        pressEnter(d);
    });
    EXPECT_EQ(form_->ListBox1()->item(2)->text(),
              QStringLiteral("Zone 02  +01:00  1:US Standard (as of 2007),24 hr"));
}

TEST_P(KeyboardPaths, ZoneValueErrorNamesTheLineAsTheListShowsIt) {
    QStringList lines = defaultZoneLines();
    lines[3] = QStringLiteral("Zone 03  +00:00  300:Odd,12 hr");  // as restored from a store
    form_->ListBox1()->setItems(lines);
    MessageBoxCatcher boxes;
    click(form_->Button3());
    test::spin(50);
    ASSERT_EQ(boxes.texts().size(), 1);
    EXPECT_TRUE(boxes.texts()[0].startsWith(QStringLiteral(
        "Zone line 03 (\"Zone 03  +00:00  300:Odd,12 hr\"): the DST rule index 300")))
        << boxes.texts()[0].toStdString();
    EXPECT_TRUE(line(1).take(1, 500).isEmpty());
}

TEST_P(KeyboardPaths, SendAboveRefusesAnEmptyDate) {
    TDatePickerEdit* date = form_->Date1();
    click(date);
    QTest::keyClick(date, Qt::Key_Delete, Qt::AltModifier);
    ASSERT_EQ(date->Date(), 0.0);
    MessageBoxCatcher boxes;
    click(form_->Button1());
    test::spin(50);
    ASSERT_EQ(boxes.texts().size(), 1) << boxes.texts().join('|').toStdString();
    EXPECT_TRUE(boxes.texts()[0].startsWith(QStringLiteral("The date field holds no date")))
        << boxes.texts()[0].toStdString();
    EXPECT_TRUE(line(1).take(1, 700).isEmpty());
    EXPECT_EQ(date->Date(), 0.0);
    EXPECT_TRUE(date->text().isEmpty());
}

TEST_P(KeyboardPaths, SendAboveRefusesAnImpossibleTime) {
    TMaskEdit* time = form_->Time1();
    click(time);
    QTest::keyClick(time, Qt::Key_Home);
    QTest::keyClicks(time, QStringLiteral("256161"));
    const QString typed = QStringLiteral("25") + timeSeparator() + QStringLiteral("61") +
                          timeSeparator() + QStringLiteral("61");
    ASSERT_EQ(time->maskedText(), typed);
    MessageBoxCatcher boxes;
    click(form_->Button1());
    test::spin(50);
    ASSERT_EQ(boxes.texts().size(), 1) << boxes.texts().join('|').toStdString();
    EXPECT_EQ(boxes.texts()[0],
              QStringLiteral("The time field (Zulu/UTC) holds \"%1\": the hours must be 00 to "
                             "23. Correct the time and send again.")
                  .arg(typed));
    EXPECT_TRUE(line(1).take(1, 700).isEmpty());
    EXPECT_EQ(time->maskedText(), typed);
}

TEST_P(KeyboardPaths, SendAboveRefusesBlankTimeDigits) {
    TMaskEdit* time = form_->Time1();
    click(time);
    QTest::keyClick(time, Qt::Key_Home);
    QTest::keyClick(time, Qt::Key_Delete);
    const QString typed = time->maskedText();
    ASSERT_EQ(typed.at(0), u' ');
    MessageBoxCatcher boxes;
    click(form_->Button1());
    test::spin(50);
    // The field's own leaving check speaks, and its error cuts the click short, also when the
    // button's release comes after the box (Send Above's own check is the protocol tests').
    EXPECT_EQ(
        boxes.texts(),
        QStringList{QStringLiteral("Invalid input value.  Use escape key to abandon changes.")});
    EXPECT_FALSE(form_->Button1()->isDown());
    EXPECT_TRUE(line(1).take(1, 700).isEmpty());
    EXPECT_EQ(time->maskedText(), typed);
}

TEST_P(KeyboardPaths, SendAboveSendsAFullTimeInTheLocale) {
    TMaskEdit* time = form_->Time1();
    click(time);
    QTest::keyClick(time, Qt::Key_Home);
    QTest::keyClicks(time, QStringLiteral("235959"));
    MessageBoxCatcher boxes;
    click(form_->Button1());
    const QByteArray m = line(1).take(14, 2000);
    ASSERT_EQ(m.size(), 14) << m.toHex(' ').toStdString();
    EXPECT_EQ(m.mid(1, 6), QByteArray("235959"));
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
}

// Enter and keypad Enter press the focused button: in the main window, and in a dialog a
// focused Cancel too (elsewhere in a dialog, its default button).
TEST_P(KeyboardPaths, EnterPressesTheFocusedButton) {
    for (QPushButton* b : {form_->Button3(), form_->Button1()}) {
        for (int i = 0; i < 16 && !b->hasFocus(); ++i)
            QTest::keyClick(focused(), Qt::Key_Tab);
        QTest::keyClick(b, Qt::Key_Enter,
                        b == form_->Button1() ? Qt::KeypadModifier : Qt::NoModifier);
    }
    EXPECT_EQ(line(1).take(82 + 14, 2000).size(), 82 + 14);

    editRow(4, [](TdlgSetZone* d) {
        tabTo(d, d->CancelBtn());
        pressEnter(d);
    });
    EXPECT_EQ(editor_->result(), 2);
    form_->RadioGroup1()->setItemIndex(-1);
    onNextModal<TComSelectForm>([](TComSelectForm* f) {
        ASSERT_TRUE(QTest::qWaitForWindowActive(f));
        QTest::keyClick(f->OkBtn(), Qt::Key_Tab);
        QTest::keyClick(f->AbortBtn(), Qt::Key_Return);
    });
    click(form_->Button3());
    EXPECT_TRUE(line(1).take(1, 300).isEmpty());
}

// The time field's leaving check interrupts the click that takes the focus from it: the box is
// shown during the press, and the release comes while the box is open.
TEST_P(KeyboardPaths, ControlInterruptedByAnErrorBoxIsReleased) {
    TMaskEdit* time = form_->Time1();
    click(time);
    QTest::keyClick(time, Qt::Key_Home);
    QTest::keyClick(time, Qt::Key_Delete);
    const QList<QAbstractButton*> controls = {form_->Button1(), form_->RadioGroup1()->button(1),
                                              form_->btnEdit()};
    for (QAbstractButton* control : controls) {
        SCOPED_TRACE(control->text().toStdString());
        QStringList shown;
        onNextModal<QMessageBox>([&](QMessageBox* box) {
            shown << box->text();
            windowMouse(QTest::MouseRelease, control);
            box->accept();
        });
        windowMouse(QTest::MousePress, control);
        reactivate();
        EXPECT_EQ(shown, QStringList{QStringLiteral(
                             "Invalid input value.  Use escape key to abandon changes.")});
        EXPECT_FALSE(control->isDown());
        EXPECT_TRUE(time->hasFocus());
    }
    EXPECT_EQ(form_->RadioGroup1()->ItemIndex(), 0);
    EXPECT_TRUE(line(1).take(1, 300).isEmpty());
}

// The click that closes the open calendar also reaches the control under it. (A click released
// only after the window has handled the press is checked under a real X server: offscreen,
// closing the popup deactivates the window, which lets go of a pressed button.)
TEST_P(KeyboardPaths, ClickThatClosesTheCalendarActs) {
    ListBox* list = form_->ListBox1();
    const auto clickOverCalendar = [this](QWidget* w, QPoint at = {}) {
        click(form_->Date1());
        QTest::keyClick(form_->Date1(), Qt::Key_Down, Qt::AltModifier);
        ASSERT_TRUE(form_->Date1()->isPopupVisible());
        windowMouse(QTest::MouseClick, w, at);
        EXPECT_FALSE(form_->Date1()->isPopupVisible());
        reactivate();
    };
    clickOverCalendar(form_->Button3());
    EXPECT_EQ(line(1).take(82, 2000).toHex(' '), test::defaultConfiguration().toHex(' '));
    clickOverCalendar(list->viewport(), rowCentre(7));
    EXPECT_EQ(list->ItemIndex(), 7);
    EXPECT_TRUE(list->hasFocus());
}

// A click or a double click on no line leaves the selection, which Edit and the double click
// then open.
TEST_P(KeyboardPaths, ClickBelowTheLastLineKeepsTheSelection) {
    ListBox* list = form_->ListBox1();
    windowMouse(QTest::MouseClick, list->viewport(), rowCentre(3));
    const QPoint below(rowCentre(15).x(), rowCentre(15).y() + 14);
    ASSERT_TRUE(list->viewport()->rect().contains(below));
    windowMouse(QTest::MouseClick, list->viewport(), below);
    EXPECT_EQ(list->ItemIndex(), 3);
    QString heading;
    onNextModal<TdlgSetZone>([&](TdlgSetZone* d) {
        heading = d->Label1()->text();
        pressKey(d, Qt::Key_Escape);
    });
    windowMouse(QTest::MouseDClick, list->viewport(), below);
    EXPECT_EQ(heading, QStringLiteral("Zone 03"));
}

// What each port is: shown where the pointer rests on a "Com n" button, told to a screen reader
// where the focus comes to one (a port linked while the window is open included), and with the
// port prompt's items.
TEST_P(KeyboardPaths, PortChoicesTellWhatEachPortIs) {
    const QString ports = portsFolder();
    ASSERT_TRUE(QFile::link(QStringLiteral("/nonexistent/ttyUSB9"), ports + "/COM3"));
    RadioGroup* group = form_->RadioGroup1();
    QToolTip::hideText();
    QTest::mouseMove(form_, QPoint(1, 1));  // the pointer comes from elsewhere
    QTest::mouseMove(group->button(0));
    // The tip shows at once, and tells what the port is as soon as the look has ended.
    const QString com1 = "linked by hand\n" + line(1).slavePath();
    EXPECT_TRUE(QTest::qWaitFor([&] { return QToolTip::isVisible() && QToolTip::text() == com1; }))
        << QToolTip::text().toStdString();

    test::LineRecorder& com2 = line(2);
    click(group->button(0));
    QTest::keyClick(focused(), Qt::Key_Down);
    ASSERT_TRUE(group->button(1)->hasFocus());
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return group->button(1)->accessibleDescription() == "linked by hand\n" + com2.slavePath();
    }));
    // A link that leads nowhere says so, as the ports command does.
    const QString com3 =
        "no device: \"" + ports + "/COM3\" leads to \"/nonexistent/ttyUSB9\", which does not exist";
    EXPECT_EQ(group->button(2)->accessibleDescription(), com3);
    EXPECT_EQ(group->button(2)->toolTip(), com3);

    test::LineRecorder& com50 = line(50);
    group->setItemIndex(-1);  // no port chosen: the send asks for one
    QStringList told;
    onNextModal<TComSelectForm>([&](TComSelectForm* f) {
        QComboBox* list = f->PortsComboBox();
        told << list->accessibleDescription();
        QTest::keyClick(list, Qt::Key_End);
        told << list->accessibleDescription() << list->toolTip();
        QTest::keyClick(f->AbortBtn(), Qt::Key_Space);
    });
    click(form_->Button3());
    EXPECT_EQ(told, (QStringList{"linked by hand\n" + line(1).slavePath(),
                                 "linked by hand\n" + com50.slavePath(),
                                 "linked by hand\n" + com50.slavePath()}));
}

// A port another program holds names that program, as it is called even where the name looks
// like markup: this test program, renamed for the while.
TEST_P(KeyboardPaths, BusyPortNamesItsHolderAsItIsCalled) {
    char name[17] = {};
    ASSERT_EQ(::prctl(PR_GET_NAME, name), 0);
    ASSERT_EQ(::prctl(PR_SET_NAME, "<b>holder</b>"), 0);
    const int held = ::open(QFile::encodeName(line(1).slavePath()).constData(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    QString text, spoken;
    onNextModal<QMessageBox>([&](QMessageBox* box) {
        text = box->text();
        auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        spoken = label ? QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name)
                       : QString();
        QTest::keyClick(box, Qt::Key_Return);
    });
    for (int i = 0; i < 16 && !form_->Button3()->hasFocus(); ++i)
        QTest::keyClick(focused(), Qt::Key_Tab);
    QTest::keyClick(form_->Button3(), Qt::Key_Space);
    ::close(held);
    ::prctl(PR_SET_NAME, name);
    const QString expected =
        QStringLiteral("Device already open: in use by <b>holder</b> (pid %1)").arg(::getpid());
    EXPECT_EQ(text, expected);
    EXPECT_EQ(spoken, expected);
    EXPECT_TRUE(line(1).take(1, 300).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Locales, KeyboardPaths, ::testing::Values("C", "en_US", "fi_FI"));

}  // namespace
}  // namespace qev
