#include "widgets/date_picker_edit.h"

#include "protocol/date_time_value.h"
#include "test_fields.h"
#include "widgets/drop_calendar.h"
#include "widgets/local_clock.h"

#include <QAbstractItemView>
#include <QCalendarWidget>
#include <QScreen>
#include <QToolButton>

using namespace qev;

namespace {

const QDateTime kNow(QDate(2026, 12, 8), QTime(10, 30));

class DateField : public test::FieldWindow<TDatePickerEdit> {
protected:
    void SetUp() override {
        setLocalClock([] { return kNow; });
        // The system's separator differs from the field's: the field shows its own.
        LocaleFormats system;
        system.dateSeparator = u'.';
        system.shortDateFormat = QStringLiteral("dd.MM.yy");
        setSystemFormats(system);
        FieldWindow::SetUp();
        field->setObjectName(QStringLiteral("Date1"));
        field->setDisplayFormat(QStringLiteral("MM/dd/yyyy"));
        field->setDateSeparator(u'/');
        showWindow();
    }
    void TearDown() override {
        FieldWindow::TearDown();
        setSystemFormats(std::nullopt);
        setLocalClock({});
    }
    // Tab in (which selects everything) and type a whole new text.
    void retype(const QString& keys) {
        tabInto();
        type(keys);
    }
    static double day(int y, int m, int d) { return valueOfDate(QDate(y, m, d)); }
    QCalendarWidget* calendar() const { return field->popup()->calendar(); }
    void chooseInCalendar(const QDate& d) {
        calendar()->setSelectedDate(d);
        QTest::keyClick(calendar()->findChild<QAbstractItemView*>(), Qt::Key_Return);
    }
};

}  // namespace

TEST_F(DateField, StartsOnTodayWithTheBuiltMask) {
    EXPECT_EQ(field->builtMask(), QStringLiteral("00/00/0099!;1;_"));
    EXPECT_EQ(field->emptyMaskText(), QStringLiteral("  /  /    "));
    EXPECT_EQ(field->Date(), day(2026, 12, 8));
    EXPECT_EQ(field->text(), QStringLiteral("12/08/2026"));
    EXPECT_TRUE(field->Checked());
}

TEST_F(DateField, ShowsTheDateKeepsTheTimeUntilLeft) {
    const double value = valueOfDateTime(QDateTime(QDate(2025, 3, 4), QTime(18, 0)));
    field->setDate(value);
    EXPECT_EQ(field->text(), QStringLiteral("03/04/2025"));
    EXPECT_EQ(field->Date(), value);
    tabInto();
    leave();
    EXPECT_EQ(field->Date(), day(2025, 3, 4));  // re-read: midnight
    EXPECT_TRUE(errors.empty());
}

TEST_F(DateField, ImpossibleDayIsRefusedOnLeaving) {
    retype(QStringLiteral("02302026"));
    EXPECT_EQ(field->text(), QStringLiteral("02/30/2026"));
    EXPECT_EQ(field->Date(), 0.0);
    leave();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].isConvertError);
    EXPECT_EQ(errors[0].message, QStringLiteral("''02/30/2026'' is not a valid date"));
    EXPECT_TRUE(field->hasFocus());
    EXPECT_TRUE(field->DateError());
    EXPECT_EQ(field->text(), QStringLiteral("02/30/2026"));
    EXPECT_EQ(beeps, 0);

    // Enter gives the same refusal.
    key(Qt::Key_Return);
    EXPECT_EQ(errors.size(), 2u);
}

TEST_F(DateField, MonthAndDayCorrectedWhenTheirLastDigitIsTyped) {
    retype(QStringLiteral("13"));
    EXPECT_EQ(field->maskedText(), QStringLiteral("12/  /    "));
    type(QStringLiteral("00"));
    EXPECT_EQ(field->maskedText(), QStringLiteral("12/01/    "));
    type(QStringLiteral("2026"));
    EXPECT_EQ(field->Date(), day(2026, 12, 1));
}

TEST_F(DateField, DayCorrectedWhenTheLastDigitRepeatsTheOldOne) {
    retype(QStringLiteral("02302026"));
    key(Qt::Key_Home);
    type(QStringLiteral("13"));
    EXPECT_EQ(field->maskedText(), QStringLiteral("12/30/2026"));
    // The second 0 lands on a 0 already there: nothing changes, yet the day is corrected.
    type(QStringLiteral("00"));
    EXPECT_EQ(field->maskedText(), QStringLiteral("12/01/2026"));
    leave();
    EXPECT_TRUE(errors.empty()) << errors[0].message.toStdString();
    EXPECT_EQ(field->Date(), day(2026, 12, 1));
}

TEST_F(DateField, SeparatorJumpAndPartialFiguresOnLeaving) {
    retype(QStringLiteral("1/8/2026"));
    EXPECT_EQ(field->maskedText(), QStringLiteral("1 /8 /2026"));
    leave();
    EXPECT_EQ(field->text(), QStringLiteral("01/08/2026"));
    EXPECT_EQ(field->Date(), day(2026, 1, 8));

    // A separator right after a separator is dropped instead of jumping on.
    retype(QStringLiteral("3//"));
    EXPECT_EQ(field->engine().selStart(), 3);
    type(QStringLiteral("4"));
    EXPECT_EQ(field->maskedText(), QStringLiteral("3 /4 /    "));
}

TEST_F(DateField, TwoAndThreeDigitYears) {
    retype(QStringLiteral("120826"));
    EXPECT_EQ(field->Date(), day(2026, 12, 8));
    leave();
    EXPECT_EQ(field->text(), QStringLiteral("12/08/2026"));

    field->setDate(day(2020, 1, 1));
    retype(QStringLiteral("0101202"));
    leave();
    // 202 stands as written, is refused as before 1752: the last accepted date comes back.
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(field->text(), QStringLiteral("01/01/2020"));
    EXPECT_EQ(field->Date(), day(2020, 1, 1));
}

TEST_F(DateField, PartlyTypedYearSetsTheDateWhileTyping) {
    retype(QStringLiteral("03041"));
    EXPECT_EQ(field->Date(), day(2001, 3, 4));
    key(Qt::Key_Backspace);
    EXPECT_EQ(field->Date(), day(2001, 3, 4));  // deleting keeps the last value
}

TEST_F(DateField, EmptiedFieldHoldsNoDate) {
    tabInto();
    key(Qt::Key_Delete);  // everything was selected
    EXPECT_EQ(field->text(), QStringLiteral("__/__/____"));
    leave();
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(field->Date(), 0.0);
    EXPECT_FALSE(field->Checked());
    EXPECT_TRUE(field->EditMask().isEmpty());
    EXPECT_EQ(field->text(), QString());

    retype(QStringLiteral("12301899"));
    leave();
    EXPECT_EQ(field->Date(), 0.0);
    EXPECT_EQ(field->text(), QString());
}

TEST_F(DateField, AltDeleteEmptiesAndTheNextKeyBringsTheMaskBack) {
    tabInto();
    key(Qt::Key_Delete, Qt::AltModifier);
    EXPECT_EQ(field->Date(), 0.0);
    EXPECT_EQ(field->text(), QString());
    EXPECT_TRUE(field->EditMask().isEmpty());
    key(Qt::Key_Backspace);  // only restores the mask
    EXPECT_EQ(field->text(), QStringLiteral("__/__/____"));
    field->setChecked(false);
    type(QStringLiteral("1"));
    EXPECT_EQ(field->text(), QStringLiteral("1_/__/____"));

    field->setChecked(true);
    EXPECT_EQ(field->Date(), day(2026, 12, 8));
}

TEST_F(DateField, AcceptanceFromSeptember1752) {
    field->setDate(day(2000, 1, 1));
    field->setDate(day(1752, 9, 13));
    EXPECT_EQ(field->Date(), day(2000, 1, 1));
    field->setDate(day(1752, 9, 25));
    EXPECT_EQ(field->Date(), day(2000, 1, 1));
    field->setDate(day(1752, 9, 14));
    EXPECT_EQ(field->Date(), day(1752, 9, 14));
    field->setDate(day(1752, 10, 1));
    EXPECT_EQ(field->text(), QStringLiteral("10/01/1752"));

    field->setAllowNoDate(false);
    EXPECT_THROW(field->setDate(0.0), Exception);
}

TEST_F(DateField, InternalChangesPairAndNeverNest) {
    field->BeginInternalChange();
    EXPECT_THROW(field->BeginInternalChange(), Exception);
    field->EndInternalChange();
    EXPECT_THROW(field->EndInternalChange(), Exception);
}

TEST_F(DateField, CalendarOpensOnTodayForAnEmptyFieldAndSetsMidnight) {
    field->setDate(0.0);
    tabInto();
    key(Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(field->isPopupVisible());
    EXPECT_TRUE(field->isReadOnly());
    EXPECT_EQ(calendar()->selectedDate(), QDate(2026, 12, 8));

    // Under the field, right edges aligned.
    const QRect f(field->mapToGlobal(QPoint(0, 0)), field->size());
    const QRect p = field->popup()->frameGeometry();
    EXPECT_EQ(p.right(), f.right());
    EXPECT_EQ(p.top(), f.bottom() + 1);

    chooseInCalendar(QDate(2026, 12, 15));
    EXPECT_FALSE(field->isPopupVisible());
    EXPECT_FALSE(field->isReadOnly());
    EXPECT_EQ(field->Date(), day(2026, 12, 15));
    EXPECT_EQ(field->text(), QStringLiteral("12/15/2026"));
    EXPECT_TRUE(field->hasFocus());
}

TEST_F(DateField, EscapeInTheCalendarTakesNothing) {
    field->setDate(day(2024, 2, 29));
    tabInto();
    key(Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(field->isPopupVisible());
    EXPECT_EQ(calendar()->selectedDate(), QDate(2024, 2, 29));
    calendar()->setSelectedDate(QDate(2024, 3, 1));
    QTest::keyClick(field->popup(), Qt::Key_Escape);
    EXPECT_FALSE(field->isPopupVisible());
    EXPECT_EQ(field->Date(), day(2024, 2, 29));
    EXPECT_FALSE(field->isReadOnly());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(field->popup(), nullptr);  // made again on the next opening
}

// One Escape closes the calendar, also while its own entry of a typed date or of the year is
// open. The keys go through the popup's window, as the keyboard's do.
TEST_F(DateField, OneEscapeClosesTheCalendarWhateverIsOpenInIt) {
    const std::function<void(TDropCalendar*)> opens[] = {
        [](TDropCalendar* p) { QTest::keyClick(p->windowHandle(), Qt::Key_1); },
        [](TDropCalendar* p) {
            QTest::mouseClick(p->findChild<QToolButton*>(QStringLiteral("qt_calendar_yearbutton")),
                              Qt::LeftButton);
        }};
    for (const auto& open : opens) {
        tabInto();
        key(Qt::Key_Down, Qt::AltModifier);
        ASSERT_TRUE(field->isPopupVisible());
        open(field->popup());
        QTest::keyClick(field->popup()->windowHandle(), Qt::Key_Escape);
        EXPECT_FALSE(field->isPopupVisible());
        if (field->isPopupVisible())
            field->popup()->close();
        window->activateWindow();  // offscreen, the popup took the activation
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        leave();
    }
}

TEST_F(DateField, ButtonOpensAndClosesWithAcceptance) {
    QToolButton* button = field->dropButton();
    ASSERT_TRUE(button->isVisible());
    EXPECT_LE(button->geometry().right(), field->width());
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_TRUE(field->isPopupVisible());
    EXPECT_TRUE(field->isReadOnly());
    calendar()->setSelectedDate(QDate(2026, 12, 24));

    // The press on the button lands on the open popup, which grabs the mouse.
    const QPoint onButton =
        field->popup()->mapFromGlobal(button->mapToGlobal(button->rect().center()));
    QTest::mouseClick(field->popup(), Qt::LeftButton, {}, onButton);
    EXPECT_FALSE(field->isPopupVisible());
    EXPECT_EQ(field->Date(), day(2026, 12, 24));
    EXPECT_EQ(field->text(), QStringLiteral("12/24/2026"));
}

TEST_F(DateField, UnreadableTextOpensTheCalendarOnToday) {
    field->setDate(day(2023, 5, 6));
    retype(QStringLiteral("0230"));
    key(Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(field->isPopupVisible());
    EXPECT_EQ(calendar()->selectedDate(), QDate(2026, 12, 8));
    // A click elsewhere closes it without taking anything.
    QTest::mouseClick(field->popup(), Qt::LeftButton, {},
                      field->popup()->mapFromGlobal(QPoint(790, 590)));
    EXPECT_FALSE(field->isPopupVisible());
    EXPECT_EQ(field->maskedText(), QStringLiteral("02/30/    "));
}

TEST_F(DateField, DisablingClosesTheCalendarAndReadOnlyFieldsTakeNoDay) {
    tabInto();
    key(Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(field->isPopupVisible());
    field->setEnabled(false);
    EXPECT_FALSE(field->isPopupVisible());
    field->setEnabled(true);

    field->setReadOnly(true);
    tabInto();
    type(QStringLiteral("01"));
    EXPECT_EQ(field->text(), QStringLiteral("12/08/2026"));
    key(Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(field->isPopupVisible());
    chooseInCalendar(QDate(2026, 12, 1));
    EXPECT_EQ(field->Date(), day(2026, 12, 8));
    EXPECT_TRUE(field->isReadOnly());
}
