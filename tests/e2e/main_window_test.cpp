// The real main window under the offscreen platform, its COM1 a pty: what reaches the line for
// each action, and what the user is shown.

#include "app/error_display.h"
#include "app/settings_keeper.h"
#include "command_runner.h"
#include "printers.h"
#include "protocol/date_time_value.h"
#include "protocol/messages.h"
#include "protocol/zone_line.h"
#include "serial/prompt/com_select_form.h"
#include "widgets/date_picker_edit.h"
#include "widgets/drop_calendar.h"
#include "widgets/list_box.h"
#include "widgets/mask_edit.h"
#include "widgets/radio_group.h"
#include "window_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

namespace qev {
namespace {

using test::MessageBoxCatcher;
using test::onNextModal;

class MainWindow : public test::WindowTest<> {
protected:
    void SetUp() override { openWindow(); }
};

TEST_F(MainWindow, StartsWithTheDesignAndDefaults) {
    EXPECT_EQ(form_->windowTitle(), QStringLiteral("QEV 1.0"));
    EXPECT_EQ(form_->size(), QSize(409, 573));
    EXPECT_EQ(form_->RadioGroup1()->geometry(), QRect(8, 8, 389, 73));
    EXPECT_EQ(form_->GroupBox1()->geometry(), QRect(8, 87, 389, 105));
    EXPECT_EQ(form_->Date1()->geometry(), QRect(16, 24, 117, 21));
    EXPECT_EQ(form_->Time1()->geometry(), QRect(148, 24, 61, 21));
    EXPECT_EQ(form_->Label1()->pos(), QPoint(233, 28));
    EXPECT_EQ(form_->Button1()->geometry(), QRect(16, 56, 75, 25));
    EXPECT_EQ(form_->Button2()->geometry(), QRect(148, 56, 129, 25));
    EXPECT_EQ(form_->GroupBox2()->geometry(), QRect(8, 192, 389, 317));
    EXPECT_EQ(form_->ListBox1()->geometry(), QRect(3, 20, 383, 245));
    EXPECT_EQ(form_->btnEdit()->geometry(), QRect(9, 271, 75, 25));
    EXPECT_EQ(form_->Button3()->geometry(), QRect(141, 271, 144, 25));
    EXPECT_EQ(form_->Button2()->text(), QStringLiteral("Sync w/PC and Send"));
    EXPECT_EQ(form_->Button3()->text(), QStringLiteral("Send Configuration"));
    // The zone columns line up: every character as wide as any other. (Asked of the glyphs, not
    // of the font's fixed-pitch flag, which some monospaced fonts, such as Nimbus Mono PS where
    // it stands in for Courier New, do not carry.)
    const QFontMetrics list(form_->ListBox1()->font());
    EXPECT_EQ(list.horizontalAdvance(QStringLiteral("iiii")),
              list.horizontalAdvance(QStringLiteral("WWWW")));
    EXPECT_EQ(list.horizontalAdvance(QStringLiteral(" :+,")),
              list.horizontalAdvance(QStringLiteral("0000")));

    EXPECT_EQ(form_->RadioGroup1()->ItemIndex(), 0);
    EXPECT_EQ(form_->ListBox1()->Items(), defaultZoneLines());
    // The fields hold the start-up UTC date and time.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    EXPECT_EQ(dateOfValue(form_->Date1()->Date()), now.date());
    const QTime shown = QTime::fromString(form_->Time1()->maskedText(), QStringLiteral("hh:mm:ss"));
    ASSERT_TRUE(shown.isValid()) << form_->Time1()->maskedText().toStdString();
    EXPECT_LE(std::abs(shown.secsTo(now.time())), 5);
}

TEST_F(MainWindow, TabOrderFollowsTheLayout) {
    const QList<QWidget*> order = {form_->Date1(),   form_->Time1(),    form_->Button1(),
                                   form_->Button2(), form_->ListBox1(), form_->btnEdit(),
                                   form_->Button3()};
    form_->Date1()->setFocus();
    for (qsizetype i = 1; i < order.size(); ++i) {
        QWidget* w = order[i - 1]->nextInFocusChain();
        while (w && (w->focusPolicy() & Qt::TabFocus) != Qt::TabFocus)
            w = w->nextInFocusChain();
        // The date field's drop-down button may sit between it and the time field.
        EXPECT_TRUE(w == order[i] || w->parent() == order[i - 1]) << i;
    }
}

TEST_F(MainWindow, SendConfigurationPutsTheExpectedBytesOnTheLine) {
    MessageBoxCatcher boxes;
    click(form_->Button3());
    EXPECT_EQ(line(1).take(82, 2000).toHex(' '), test::defaultConfiguration().toHex(' '));
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
    // What left, where: a pseudo-terminal, which cannot tell that it was read.
    EXPECT_TRUE(form_->StatusLine()->text().contains(
        "Wrote the zone configuration (16 zones) to COM1 (" + line(1).slavePath() + ")"))
        << form_->StatusLine()->text();
}

TEST_F(MainWindow, EditedZoneChangesExactlyItsRecord) {
    form_->ListBox1()->setItemIndex(4);
    onNextModal<TdlgSetZone>([](TdlgSetZone* d) {
        // As a user would: type the offset, tick, pick the rule, confirm.
        d->MaskEdit1()->setFocus();
        QTest::keyClick(d->MaskEdit1(), Qt::Key_Home);
        QTest::keyClicks(d->MaskEdit1(), QStringLiteral("0530"));
        QTest::mouseClick(d->CheckBox1(), Qt::LeftButton);
        d->ComboBox1()->setCurrentIndex(1);
        QTest::mouseClick(d->CheckBox2(), Qt::LeftButton);
        QTest::mouseClick(d->OKBtn(), Qt::LeftButton);
    });
    click(form_->btnEdit());
    EXPECT_EQ(form_->ListBox1()->item(4)->text(),
              QStringLiteral("Zone 04  -05:30  1:US Standard (as of 2007),24 hr"));
    EXPECT_EQ(form_->ListBox1()->ItemIndex(), 4);

    click(form_->Button3());
    QByteArray expected = test::defaultConfiguration();
    expected.replace(1 + 5 * 4, 5, QByteArray::fromHex("2D051E0101"));
    EXPECT_EQ(line(1).take(82, 2000).toHex(' '), expected.toHex(' '));
}

// What the window saves, the commands read back: the port choice and the zone lines.
TEST_F(MainWindow, CommandsReadWhatTheWindowSaved) {
    line(3);
    click(comButton(3));
    clickRow(4);
    onNextModal<TdlgSetZone>([](TdlgSetZone* d) {
        QTest::mouseClick(d->CheckBox2(), Qt::LeftButton);  // 24-hour
        QTest::mouseClick(d->OKBtn(), Qt::LeftButton);
    });
    click(form_->btnEdit());
    const QStringList lines = form_->ListBox1()->Items();
    ASSERT_TRUE(lines[4].endsWith(QStringLiteral("24 hr")));
    // Saved as soon as confirmed, with the window still open: a kill loses nothing.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form_->settingsKeeper()->unsaved(); }));

    const test::CommandRun sent = test::runQev({"send-zones"});
    EXPECT_EQ(sent.status, 0) << sent.err.toStdString();
    EXPECT_EQ(line(3).take(82, 2000).toHex(' '), buildZoneConfigMessage(lines).toHex(' '));
}

// A save that fails is told once, however often it fails again; a close that would lose the
// changes asks what to do.
TEST_F(MainWindow, AFailedSaveIsToldOnceAndTheCloseAsks) {
    ASSERT_TRUE(QDir().mkpath(settingsFile() + ".lock"));  // no one can save beside it
    {
        MessageBoxCatcher boxes;
        click(comButton(2));
        QTest::qWait(SettingsKeeper::kSaveDelayMs + 200);
        click(comButton(3));
        QTest::qWait(SettingsKeeper::kSaveDelayMs + 200);
        ASSERT_EQ(boxes.texts().size(), 1) << boxes.texts().join('|');
        EXPECT_TRUE(boxes.texts()[0].startsWith("Unable to ")) << boxes.texts()[0];
        EXPECT_TRUE(boxes.texts()[0].contains("\nQEV could not save its settings in \"" +
                                              settingsFile() + "\": the lock file"));
    }
    EXPECT_TRUE(form_->StatusLine()->text().startsWith("Settings not saved: Unable to "));
    QString asked;
    onNextModal<QMessageBox>([&](QMessageBox* q) {
        asked = q->text();
        for (QAbstractButton* b : q->buttons())
            if (b->text() == QStringLiteral("Close Without Saving"))
                QTest::mouseClick(b, Qt::LeftButton);
    });
    EXPECT_FALSE(form_->close());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form_->isVisible(); }));
    EXPECT_TRUE(asked.startsWith("Unable to ")) << asked;
    EXPECT_TRUE(
        asked.endsWith("Try again, or close without saving the changes made since the "
                       "settings were last saved?"))
        << asked;
}

// The ways out of a list that can be neither sent nor edited: the missing zones restored from
// the context menu at a right click, a zone reset from it by Shift+F10.
TEST_F(MainWindow, TheZoneMenuRestoresMissingZonesAndResetsAZone) {
    QStringList lines = defaultZoneLines().mid(0, 5);
    lines[3] = QStringLiteral("Zone 03  +1x:00  0:No DST,12 hr");
    form_->ListBox1()->setItems(lines);
    const auto choose = [](int downs) {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        for (int i = 0; i < downs; ++i)
            QTest::keyClick(menu, Qt::Key_Down);
        QTest::keyClick(menu, Qt::Key_Return);
    };
    QTest::mouseClick(form_->ListBox1()->viewport(), Qt::RightButton, {}, rowCentre(4));
    EXPECT_EQ(form_->ListBox1()->ItemIndex(), 4);
    choose(2);  // "Restore Missing Zones"
    ASSERT_EQ(form_->ListBox1()->count(), 16);
    clickRow(3);
    QTest::keyClick(form_->ListBox1(), Qt::Key_F10, Qt::ShiftModifier);
    choose(1);  // "Reset Zone"
    EXPECT_EQ(form_->ListBox1()->Items(), defaultZoneLines());
    click(form_->Button3());
    EXPECT_EQ(line(1).take(82, 2000).toHex(' '), test::defaultConfiguration().toHex(' '));
}

TEST_F(MainWindow, SyncSendsTheUtcClock) {
    form_->Time1()->setMaskedText(QStringLiteral("99:99:99"));  // overwritten by the sync
    click(form_->Button2());
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QByteArray m = line(1).take(14, 2000);
    ASSERT_EQ(m.size(), 14) << m.toHex(' ').toStdString();
    EXPECT_EQ(m.front(), 0x02);
    EXPECT_EQ(m.back(), 0x03);
    auto digits = [&m](int at) { return m.mid(at, 2).toInt(); };
    const QDateTime sentUtc(QDate(2000 + digits(11), digits(7), digits(9)),
                            QTime(digits(1), digits(3), digits(5)), Qt::UTC);
    ASSERT_TRUE(sentUtc.isValid()) << m.toHex(' ').toStdString();
    EXPECT_LE(std::abs(sentUtc.secsTo(now)), 2) << m.toHex(' ').toStdString();
    EXPECT_NE(form_->Time1()->maskedText(), QStringLiteral("99:99:99"));
}

TEST_F(MainWindow, SendAboveSendsTheFieldsAsTheyStand) {
    form_->Date1()->setDate(valueOfDateTime(QDate(2026, 3, 7), QTime(0, 0)));
    form_->Time1()->setMaskedText(QStringLiteral("12:34:56"));
    click(form_->Button1());
    EXPECT_EQ(line(1).take(14, 2000).toHex(' '),
              QByteArray("02 31 32 33 34 35 36 30 33 30 37 32 36 03"));
}

TEST_F(MainWindow, MalformedFifthLineShowsTheConversionErrorAndSendsNothing) {
    QStringList lines = defaultZoneLines();
    lines[4] = QStringLiteral("Zone 04  +0x:00  0:No DST,12 hr");
    form_->ListBox1()->setItems(lines);
    MessageBoxCatcher boxes;
    click(form_->Button3());
    test::spin(50);
    ASSERT_EQ(boxes.boxes().size(), 1);
    // The zone that cannot be sent, and the way out.
    EXPECT_EQ(boxes.boxes()[0].text,
              QStringLiteral("''0x'' is not a valid integer value.\nZone 04 (\"Zone 04  +0x:00  "
                             "0:No DST,12 hr\") cannot be sent. Edit it, or right-click it and "
                             "choose \"Reset Zone\""));
    EXPECT_EQ(boxes.boxes()[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes.boxes()[0].title, applicationTitle(QCoreApplication::applicationFilePath()));
    EXPECT_TRUE(line(1).take(1, 700).isEmpty());
    EXPECT_EQ(form_->ListBox1()->Items(), lines);
}

TEST_F(MainWindow, ShortListShowsTheIndexErrorWithoutAddedPeriod) {
    form_->ListBox1()->setItems(defaultZoneLines().mid(0, 15));
    MessageBoxCatcher boxes;
    click(form_->Button3());
    test::spin(50);
    EXPECT_EQ(boxes.texts(), QStringList{QStringLiteral(
                                 "List index out of bounds (15)\nThe list holds 15 of the "
                                 "device's 16 zones. Right-click it and choose \"Restore Missing "
                                 "Zones\"")});
    EXPECT_TRUE(line(1).take(1, 700).isEmpty());
}

TEST_F(MainWindow, EditWithoutSelectionDoesNothing) {
    form_->ListBox1()->setItemIndex(-1);
    EXPECT_FALSE(opensADialog([&] { click(form_->btnEdit()); }));
    EXPECT_EQ(form_->ListBox1()->Items(), defaultZoneLines());
}

TEST_F(MainWindow, EnterOnAnIncompleteOffsetShowsTheFieldErrorAndStoresNothing) {
    form_->ListBox1()->setItemIndex(3);
    MessageBoxCatcher boxes;
    bool stayedOpen = false;
    onNextModal<TdlgSetZone>([&](TdlgSetZone* d) {
        d->MaskEdit1()->setFocus();
        QTest::keyClick(d->MaskEdit1(), Qt::Key_Home);
        QTest::keyClick(d->MaskEdit1(), Qt::Key_Delete);  // blanks the first hour digit
        QTest::keyClick(d->MaskEdit1(), Qt::Key_Return);
        stayedOpen = d->isVisible();
        QTest::keyClick(d->MaskEdit1(), Qt::Key_Escape);  // restores the field
        QTest::keyClick(d->MaskEdit1(), Qt::Key_Escape);  // cancels
    });
    click(form_->btnEdit());
    test::spin(50);
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(form_->ListBox1()->Items(), defaultZoneLines());
    EXPECT_EQ(
        boxes.texts(),
        QStringList{QStringLiteral("Invalid input value.  Use escape key to abandon changes.")});
    EXPECT_FALSE(editor_->isVisible());
}

TEST_F(MainWindow, EditThenCancelKeepsTheLineAndTheSelection) {
    form_->ListBox1()->setItemIndex(2);
    onNextModal<TdlgSetZone>([](TdlgSetZone* d) {
        d->CheckBox1()->setChecked(true);
        d->ComboBox1()->setCurrentIndex(1);
        QTest::mouseClick(d->CancelBtn(), Qt::LeftButton);
    });
    click(form_->btnEdit());
    EXPECT_EQ(form_->ListBox1()->Items(), defaultZoneLines());
    EXPECT_EQ(form_->ListBox1()->ItemIndex(), 2);
}

TEST_F(MainWindow, DoubleClickEditsTheClickedLine) {
    bool opened = false;
    QString heading;
    onNextModal<TdlgSetZone>([&](TdlgSetZone* d) {
        opened = true;
        heading = d->Label1()->text();
        d->reject();
    });
    ListBox* list = form_->ListBox1();
    const QRect row = list->visualItemRect(list->item(6));
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
    EXPECT_TRUE(opened);
    EXPECT_EQ(heading, QStringLiteral("Zone 06"));
}

TEST_F(MainWindow, MissingPortShowsItsError) {
    // COM3 points at a device that is not there (an unplugged adapter).
    ASSERT_TRUE(QFile::link(QStringLiteral("/nonexistent/ttyUSB9"), portsFolder() + "/COM3"));
    form_->RadioGroup1()->setItemIndex(2);
    MessageBoxCatcher boxes;
    click(form_->Button3());
    test::spin(50);
    ASSERT_EQ(boxes.boxes().size(), 1);
    EXPECT_EQ(boxes.boxes()[0].text,
              QStringLiteral("Specified comport doesn't exist.\nCOM3 (/nonexistent/ttyUSB9)"));
    EXPECT_TRUE(line(1).take(1, 300).isEmpty());
}

TEST_F(MainWindow, NoPortChosenAsksAndSendsToTheChoice) {
    form_->RadioGroup1()->setItemIndex(-1);
    QStringList offered;
    onNextModal<TComSelectForm>([&](TComSelectForm* f) {
        for (int i = 0; i < f->PortsComboBox()->count(); ++i)
            offered << f->PortsComboBox()->itemText(i);
        QTest::mouseClick(f->OkBtn(), Qt::LeftButton);
    });
    click(form_->Button3());
    EXPECT_TRUE(offered.contains(QStringLiteral("COM1"))) << offered.join(',').toStdString();
    EXPECT_EQ(offered.value(0), QStringLiteral("COM1"));
    EXPECT_EQ(line(1).take(82, 2000).toHex(' '), test::defaultConfiguration().toHex(' '));
    EXPECT_EQ(form_->RadioGroup1()->ItemIndex(), -1);  // the choice is not written back
}

TEST_F(MainWindow, CancelledPromptSendsAndShowsNothing) {
    form_->RadioGroup1()->setItemIndex(-1);
    MessageBoxCatcher boxes;
    onNextModal<TComSelectForm>(
        [](TComSelectForm* f) { QTest::mouseClick(f->AbortBtn(), Qt::LeftButton); });
    click(form_->Button3());
    test::spin(50);
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
    EXPECT_TRUE(line(1).take(1, 300).isEmpty());
}

}  // namespace
}  // namespace qev
