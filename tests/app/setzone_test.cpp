// The zone editor: what DoIt shows for a line, and the line it gives back for each way the
// dialog is closed.

#include "app/setzone.h"
#include "test_application.h"

#include "base/exception.h"
#include "modal_helpers.h"
#include "widgets/locale_formats.h"
#include "widgets/mask_edit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace qev {
namespace {

using test::onNextModal;

const QString kZone04 = QStringLiteral("Zone 04  -03:30  1:US Standard (as of 2007),24 hr");
const QString kDefault = QStringLiteral("Zone 07  +00:00  0:No DST,12 hr");

class SetZone : public ::testing::Test {
protected:
    static void SetUpTestSuite() { qev::test::ensureApplication<QApplication>(); }

    struct Shown {
        bool shown = false;
        QString heading, offset;
        bool subtract = false, hour24 = false;
        int rule = -2;
    };

    // Opens line in the editor, records what it shows, lets change() act, then closes with
    // close(); returns DoIt's result.
    QString edit(const QString& line, Shown* shown, std::function<void(TdlgSetZone*)> change,
                 std::function<void(TdlgSetZone*)> close) {
        onNextModal<TdlgSetZone>([=](TdlgSetZone* d) {
            if (shown)
                *shown = {true,
                          d->Label1()->text(),
                          d->MaskEdit1()->maskedText(),
                          d->CheckBox1()->isChecked(),
                          d->CheckBox2()->isChecked(),
                          d->ComboBox1()->currentIndex()};
            if (change)
                change(d);
            close(d);
        });
        return dialog_.DoIt(line);
    }
    static void ok(TdlgSetZone* d) { d->OKBtn()->click(); }
    static void cancel(TdlgSetZone* d) { d->CancelBtn()->click(); }

    TdlgSetZone dialog_;
};

TEST_F(SetZone, DesignMatchesTheLayout) {
    EXPECT_EQ(dialog_.windowTitle(), QStringLiteral("Set Zone..."));
    EXPECT_EQ(dialog_.size(), QSize(384, 179));
    EXPECT_EQ(dialog_.OKBtn()->geometry(), QRect(300, 8, 75, 25));
    EXPECT_EQ(dialog_.CancelBtn()->geometry(), QRect(300, 38, 75, 25));
    EXPECT_EQ(dialog_.MaskEdit1()->geometry(), QRect(57, 29, 44, 21));
    EXPECT_EQ(dialog_.CheckBox1()->geometry(), QRect(16, 56, 145, 17));
    EXPECT_EQ(dialog_.ComboBox1()->geometry(), QRect(16, 79, 257, 21));
    EXPECT_EQ(dialog_.CheckBox2()->geometry(), QRect(16, 106, 209, 17));
    EXPECT_TRUE(dialog_.OKBtn()->isDefault());
    EXPECT_FALSE(dialog_.ComboBox1()->isEditable());
    EXPECT_EQ(dialog_.ComboBox1()->count(), 2);
    EXPECT_EQ(dialog_.MaskEdit1()->maskedText(), QStringLiteral("  :  "));
    // Tab order: OK, Cancel, offset, subtract, rule, 24-hour.
    EXPECT_EQ(dialog_.OKBtn()->nextInFocusChain(), dialog_.CancelBtn());
    EXPECT_EQ(dialog_.CancelBtn()->nextInFocusChain(), dialog_.MaskEdit1());
    QWidget* w = dialog_.MaskEdit1()->nextInFocusChain();
    while (w && w->focusPolicy() == Qt::NoFocus)
        w = w->nextInFocusChain();
    EXPECT_EQ(w, dialog_.CheckBox1());
}

TEST_F(SetZone, ShowsTheLineAndConfirmsItUnchanged) {
    Shown shown;
    EXPECT_EQ(edit(kZone04, &shown, {}, ok), kZone04);
    ASSERT_TRUE(shown.shown);
    EXPECT_EQ(shown.heading, QStringLiteral("Zone 04"));
    EXPECT_EQ(shown.offset, QStringLiteral("03:30"));
    EXPECT_TRUE(shown.subtract);
    EXPECT_EQ(shown.rule, 1);
    EXPECT_TRUE(shown.hour24);
    EXPECT_EQ(edit(kDefault, nullptr, {}, ok), kDefault);
}

TEST_F(SetZone, CancelAndCloseGiveBackTheLineUnchanged) {
    auto changeAll = [](TdlgSetZone* d) {
        d->MaskEdit1()->setMaskedText(QStringLiteral("11:11"));
        d->CheckBox1()->setChecked(!d->CheckBox1()->isChecked());
        d->ComboBox1()->setCurrentIndex(0);
        d->CheckBox2()->setChecked(!d->CheckBox2()->isChecked());
    };
    EXPECT_EQ(edit(kZone04, nullptr, changeAll, cancel), kZone04);
    EXPECT_EQ(edit(kZone04, nullptr, changeAll, [](TdlgSetZone* d) { d->close(); }), kZone04);
    EXPECT_EQ(edit(kZone04, nullptr, changeAll,
                   [](TdlgSetZone* d) { QTest::keyClick(d, Qt::Key_Escape); }),
              kZone04);
    // Nothing of the cancelled edit carries over to the next one.
    Shown shown;
    edit(kDefault, &shown, {}, cancel);
    EXPECT_EQ(shown.offset, QStringLiteral("00:00"));
    EXPECT_FALSE(shown.subtract);
    EXPECT_FALSE(shown.hour24);
    EXPECT_EQ(shown.rule, 0);
}

TEST_F(SetZone, ConfirmedLineIsRewrittenWhole) {
    // Odd gaps and an odd sign come back as two blanks and "+"; the name is the line's own.
    EXPECT_EQ(edit(QStringLiteral("Zone 02xy*01:15ab0:No DST,12 hr"), nullptr, {}, ok),
              QStringLiteral("Zone 02  +01:15  0:No DST,12 hr"));
    Shown shown;
    edit(QStringLiteral("Zone 02xy*01:15ab0:No DST,12 hr"), &shown, {}, ok);
    EXPECT_FALSE(shown.subtract);
}

TEST_F(SetZone, ChangedControlsWriteTheNewLine) {
    const QString line = edit(
        kDefault, nullptr,
        [](TdlgSetZone* d) {
            d->MaskEdit1()->setMaskedText(QStringLiteral("05:45"));
            d->CheckBox1()->setChecked(true);
            d->ComboBox1()->setCurrentIndex(1);
            d->CheckBox2()->setChecked(true);
        },
        ok);
    EXPECT_EQ(line, QStringLiteral("Zone 07  -05:45  1:US Standard (as of 2007),24 hr"));
    EXPECT_EQ(line.size(), 49);
    EXPECT_EQ(kDefault.size(), 31);
}

TEST_F(SetZone, UnknownRuleOpensWithNoSelectionAndIsKeptUntilOneIsPicked) {
    const QString mystery = QStringLiteral("Zone 09  +01:00  5:Mystery,12 hr");
    Shown shown;
    EXPECT_EQ(edit(mystery, &shown, {}, ok), mystery);
    EXPECT_EQ(shown.rule, -1);
    // Only the rule text is kept: the rest is written from the controls as always.
    EXPECT_EQ(edit(
                  QStringLiteral("Zone 09 *+01:00 x5:Mystery"), nullptr,
                  [](TdlgSetZone* d) {
                      d->CheckBox1()->setFocus(Qt::TabFocusReason);
                      QTest::keyClick(d->CheckBox1(), Qt::Key_Space);
                  },
                  ok),
              QStringLiteral("Zone 09  -01:00  5:Mystery,12 hr"));
    // A rule picked with the keys replaces it.
    const QString picked = edit(
        mystery, nullptr,
        [](TdlgSetZone* d) {
            d->ComboBox1()->setFocus(Qt::TabFocusReason);
            QTest::keyClick(d->ComboBox1(), Qt::Key_Home);
        },
        ok);
    EXPECT_EQ(picked, QStringLiteral("Zone 09  +01:00  0:No DST,12 hr"));
}

TEST_F(SetZone, UnreadableRuleIndexRaisesWithoutShowing) {
    bool shownAtAll = false;
    onNextModal<TdlgSetZone>(
        [&](TdlgSetZone* d) {
            shownAtAll = true;
            d->reject();
        },
        300);
    try {
        dialog_.DoIt(QStringLiteral("Zone 01  +00:00  No DST,12 hr"));
        ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("'''' is not a valid integer value"));
    }
    test::spin(350);
    EXPECT_FALSE(shownAtAll);
    EXPECT_FALSE(dialog_.isVisible());
}

// The dialog under the formats of a named locale; the line's offset keeps its ":" whatever
// separator the field shows.
class SetZoneInLocale : public ::testing::TestWithParam<const char*> {
protected:
    static void SetUpTestSuite() { qev::test::ensureApplication<QApplication>(); }
    void SetUp() override {
        setSystemFormats(LocaleFormats::fromLocale(QLocale(QString::fromLatin1(GetParam()))));
        dialog_ = std::make_unique<TdlgSetZone>();
    }
    void TearDown() override {
        dialog_.reset();
        setSystemFormats(std::nullopt);
    }
    // Opens line, records the offset field's text, types keys into the field if any, then
    // presses Enter.
    QString confirm(const QString& line, QString* shown, const QString& keys = {}) {
        onNextModal<TdlgSetZone>([=](TdlgSetZone* d) {
            *shown = d->MaskEdit1()->text();
            EXPECT_TRUE(QTest::qWaitForWindowActive(d));
            if (!keys.isEmpty()) {
                QTest::keyClick(d->focusWidget(), Qt::Key_Tab);
                QTest::keyClick(d->focusWidget(), Qt::Key_Tab);
                EXPECT_TRUE(d->MaskEdit1()->hasFocus());
                QTest::keyClicks(d->MaskEdit1(), keys);
            }
            QTest::keyClick(d->focusWidget(), Qt::Key_Return);
        });
        return dialog_->DoIt(line);
    }
    QChar separator() const { return dialog_->MaskEdit1()->localeFormats().timeSeparator; }

    std::unique_ptr<TdlgSetZone> dialog_;
};

TEST_P(SetZoneInLocale, OffsetShowsTheLocaleSeparatorAndTheLineKeepsTheColon) {
    QString shown;
    EXPECT_EQ(confirm(kZone04, &shown), kZone04);
    EXPECT_EQ(shown, QStringLiteral("03") + separator() + QStringLiteral("30"));
    EXPECT_EQ(confirm(kDefault, &shown), kDefault);

    EXPECT_EQ(confirm(kDefault, &shown, QStringLiteral("1245")),
              QStringLiteral("Zone 07  +12:45  0:No DST,12 hr"));

    // A line that carries another separator (written by an older build) reads by position.
    EXPECT_EQ(confirm(QStringLiteral("Zone 01  +05.30  0:No DST,12 hr"), &shown),
              QStringLiteral("Zone 01  +05:30  0:No DST,12 hr"));
    EXPECT_EQ(shown, QStringLiteral("05") + separator() + QStringLiteral("30"));
}

INSTANTIATE_TEST_SUITE_P(Locales, SetZoneInLocale, ::testing::Values("C", "en_US", "fi_FI"));

}  // namespace
}  // namespace qev
