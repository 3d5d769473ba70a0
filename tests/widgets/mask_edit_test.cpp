#include "widgets/mask_edit.h"

#include "test_fields.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QPushButton>

using namespace qev;

namespace {

const QString kEditError =
    QStringLiteral("Invalid input value.  Use escape key to abandon changes");

// Lets the test find where a character stands on screen.
class ProbedMaskEdit : public TMaskEdit {
public:
    using QLineEdit::cursorRect;
    using TMaskEdit::TMaskEdit;
};

class TimeField : public test::FieldWindow<ProbedMaskEdit> {
protected:
    void SetUp() override {
        FieldWindow::SetUp();
        LocaleFormats formats;
        formats.timeSeparator = u':';
        field->setLocaleFormats(formats);
        field->setEditMask(QStringLiteral("!00:00:00;1;_"));
        field->setMaxLength(8);
        field->setMaskedText(QStringLiteral("  :  :  "));
        showWindow();
    }
};

}  // namespace

TEST_F(TimeField, ShowsAssignedTimeAndTheCursorAsOneCharacter) {
    EXPECT_EQ(field->EditText(), QStringLiteral("__:__:__"));
    field->setMaskedText(QStringLiteral("13:05:09"));
    EXPECT_EQ(field->text(), QStringLiteral("13:05:09"));
    EXPECT_EQ(field->maskedText(), QStringLiteral("13:05:09"));
    EXPECT_FALSE(field->Modified());
    EXPECT_EQ(field->maxLength(), 8);

    field->setFocus(Qt::MouseFocusReason);
    key(Qt::Key_Home);
    key(Qt::Key_Right);
    key(Qt::Key_Right);
    EXPECT_EQ(field->selectedText(), QStringLiteral("0"));
    EXPECT_EQ(field->selectionStart(), 3);
    EXPECT_EQ(field->cursorPosition(), 3);  // the caret at the left of the selection
}

TEST_F(TimeField, IncompleteEntryIsRefusedOnLeavingAndEscapeRestores) {
    field->setMaskedText(QStringLiteral("10:20:30"));
    tabInto();
    type(QStringLiteral("123"));
    EXPECT_EQ(field->maskedText(), QStringLiteral("12:3 :  "));

    leave();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].isEditError);
    EXPECT_EQ(errors[0].message, kEditError);
    EXPECT_TRUE(field->hasFocus());
    EXPECT_EQ(field->selectionStart(), 4);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(field->maskedText(), QStringLiteral("12:3 :  "));

    key(Qt::Key_Escape);
    EXPECT_EQ(field->maskedText(), QStringLiteral("10:20:30"));  // the text at entry
    EXPECT_FALSE(field->Modified());
    leave();
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_TRUE(other->hasFocus());
}

TEST_F(TimeField, OpeningWindowEntersTheFieldButReturningFromAnotherDoesNot) {
    QWidget opening;
    auto* first = new TMaskEdit(&opening);
    first->setEditMask(QStringLiteral("!00:00:00;1;_"));
    first->setMaskedText(QStringLiteral("10:20:30"));
    opening.show();
    opening.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&opening));
    ASSERT_TRUE(QTest::qWaitFor([&] { return first->hasFocus(); }));
    QTest::keyClicks(first, QStringLiteral("7"));
    EXPECT_EQ(first->EditText(), QStringLiteral("7_:__:__"));  // everything was selected

    // Going to another window and back is neither leaving nor entering.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_TRUE(errors.empty());
    opening.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&opening));
    ASSERT_TRUE(QTest::qWaitFor([&] { return first->hasFocus(); }));
    EXPECT_EQ(first->EditText(), QStringLiteral("7_:__:__"));
    QTest::keyClick(first, Qt::Key_Escape);
    EXPECT_EQ(first->maskedText(), QStringLiteral("10:20:30"));
}

TEST_F(TimeField, UntouchedOrCompleteEntriesLeaveFreely) {
    tabInto();
    leave();  // empty, but never touched
    EXPECT_TRUE(errors.empty());

    tabInto();
    type(QStringLiteral("999999"));
    EXPECT_EQ(field->maskedText(), QStringLiteral("99:99:99"));
    leave();
    tabInto();
    type(QStringLiteral("000000"));
    key(Qt::Key_Return);
    leave();
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(field->maskedText(), QStringLiteral("00:00:00"));
    EXPECT_EQ(beeps, 0);
}

TEST_F(TimeField, RetypingTheSameDigitCountsAsAnEdit) {
    // Assigned with a hole: untouched, it may be left; retyped, it is the user's entry.
    field->setMaskedText(QStringLiteral("1 :20:30"));
    tabInto();
    leave();
    EXPECT_TRUE(errors.empty());
    field->setFocus(Qt::MouseFocusReason);
    key(Qt::Key_Home);
    type(QStringLiteral("1"));
    EXPECT_EQ(field->maskedText(), QStringLiteral("1 :20:30"));
    EXPECT_TRUE(field->Modified());
    leave();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].isEditError);
    EXPECT_EQ(field->selectionStart(), 1);
}

TEST_F(TimeField, LettersBeepAndTheSeparatorJumps) {
    tabInto();
    type(QStringLiteral("a"));
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(field->EditText(), QStringLiteral("__:__:__"));
    key(Qt::Key_Home);
    type(QStringLiteral("1:"));
    EXPECT_EQ(field->selectionStart(), 3);
    type(QStringLiteral("4"));
    EXPECT_EQ(field->maskedText(), QStringLiteral("1 :4 :  "));
    EXPECT_EQ(beeps, 1);

    // Deleting leaves blanks: nothing shifts, the separators stay.
    field->setMaskedText(QStringLiteral("12:34:56"));
    key(Qt::Key_Home);
    key(Qt::Key_Right);
    key(Qt::Key_Right);
    key(Qt::Key_Right);
    key(Qt::Key_Backspace);
    EXPECT_EQ(field->EditText(), QStringLiteral("12:_4:56"));
    key(Qt::Key_Right);
    key(Qt::Key_Delete);
    EXPECT_EQ(field->EditText(), QStringLiteral("12:__:56"));
    key(Qt::Key_Backspace);
    key(Qt::Key_Backspace);
    EXPECT_EQ(field->EditText(), QStringLiteral("1_:__:56"));
    EXPECT_EQ(field->selectionStart(), 1);
}

TEST_F(TimeField, ClickPlacesTheCursorAndPasteFillsPositions) {
    field->setMaskedText(QStringLiteral("11:22:33"));
    // Just right of the caret place before the seventh character.
    field->setCursorPosition(6);
    const QPoint at(field->cursorRect().center().x() + 2, field->height() / 2);
    QTest::mouseClick(field, Qt::LeftButton, {}, at);
    EXPECT_TRUE(field->hasFocus());
    EXPECT_EQ(field->selectionStart(), 6);
    EXPECT_EQ(field->selectedText(), QStringLiteral("3"));

    QGuiApplication::clipboard()->setText(QStringLiteral("4x"));
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(field->EditText(), QStringLiteral("11:22:4_"));
    EXPECT_TRUE(field->Modified());
}

namespace {

class OffsetDialog : public test::FieldWindow<TMaskEdit, QDialog> {
protected:
    void SetUp() override {
        FieldWindow::SetUp();
        ok = new QPushButton(QStringLiteral("OK"), window.get());
        ok->setDefault(true);
        QObject::connect(ok, &QPushButton::clicked, window.get(), [this] {
            log << QStringLiteral("ok");
            window->accept();
        });
        QObject::connect(window.get(), &QDialog::rejected, window.get(),
                         [this] { log << QStringLiteral("cancel:") + field->maskedText(); });
        window->layout()->addWidget(ok);
        LocaleFormats formats;
        formats.timeSeparator = u':';
        field->setLocaleFormats(formats);
        field->setEditMask(QStringLiteral("!00:00;1;_"));
        field->setMaskedText(QStringLiteral("05:30"));
        showWindow();
    }
    QPushButton* ok = nullptr;
    QStringList log;
};

}  // namespace

TEST_F(OffsetDialog, EnterRunsTheLeavingCheckBeforeTheDefaultButton) {
    setErrorReporter([this](std::exception_ptr e) {
        log << QStringLiteral("error");
        FieldWindow::record(e);
    });
    tabInto();
    key(Qt::Key_End);
    key(Qt::Key_Backspace);
    key(Qt::Key_Return);
    // An incomplete entry keeps the dialog open, as a click on OK does.
    EXPECT_EQ(log, QStringList({QStringLiteral("error")}));
    EXPECT_TRUE(window->isVisible());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].message, kEditError);
    EXPECT_EQ(field->maskedText(), QStringLiteral("05:3 "));
    type(QStringLiteral("5"));
    key(Qt::Key_Return);
    EXPECT_EQ(log, QStringList({QStringLiteral("error"), QStringLiteral("ok")}));
    EXPECT_EQ(window->result(), QDialog::Accepted);

    // The dialog serves the next edit as new: entering selects the whole text again.
    field->setMaskedText(QStringLiteral("01:00"));
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return field->hasFocus(); }));
    type(QStringLiteral("1"));
    EXPECT_EQ(field->EditText(), QStringLiteral("1_:__"));
}

TEST_F(OffsetDialog, EscapePressesCancelThenRestores) {
    tabInto();
    type(QStringLiteral("12"));
    key(Qt::Key_Escape);
    EXPECT_EQ(log, QStringList({QStringLiteral("cancel:12:  ")}));
    EXPECT_EQ(window->result(), QDialog::Rejected);
    EXPECT_EQ(field->maskedText(), QStringLiteral("05:30"));
    EXPECT_TRUE(errors.empty());
}

TEST_F(OffsetDialog, ForeignSeparatorShape) {
    LocaleFormats dotted;
    dotted.timeSeparator = u'.';
    field->setLocaleFormats(dotted);
    field->setMaskedText(QStringLiteral("05:30"));
    EXPECT_EQ(field->EditText(), QStringLiteral("30.__"));
    field->setMaskedText(QString());
    EXPECT_EQ(field->maskedText(), QStringLiteral("  .  "));
}
