// Every window as a screen reader meets it: each control the user can reach or press has a name,
// and no two controls of a window share one. Message boxes expose their text.

#include "app/application.h"
#include "app/mainform_u.h"
#include "app/setzone.h"
#include "modal_helpers.h"
#include "protocol/zone_line.h"
#include "serial/prompt/com_select_form.h"
#include "test_application.h"
#include "widgets/date_picker_edit.h"
#include "widgets/drop_calendar.h"
#include "widgets/locale_formats.h"

#include "app/list_box.h"

#include <QAccessible>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace qev {
namespace {

using test::onNextModal;

bool isAncestor(QAccessibleInterface* candidate, QAccessibleInterface* of) {
    for (QAccessibleInterface* p = of->parent(); p; p = p->parent())
        if (p->object() && p->object() == candidate->object())
            return true;
    return false;
}

// As Orca says it: the text of a label tied to the control, unless that label encloses it (a
// group box's caption), else the control's own name. (On Linux, Qt names a drop-down list after
// its current item and leaves what it is for to its label.)
QString spokenName(QAccessibleInterface* control) {
    for (const auto& [label, relation] : control->relations(QAccessible::Label)) {
        const QString text = label->text(QAccessible::Name);
        if (!isAncestor(label, control) && !text.isEmpty())
            return text;
    }
    return control->text(QAccessible::Name);
}

bool isControl(QAccessibleInterface* i) {
    switch (i->role()) {
        case QAccessible::Button:
        case QAccessible::ButtonMenu:
        case QAccessible::CheckBox:
        case QAccessible::ComboBox:
        case QAccessible::RadioButton:
            return true;
        default:
            return i->state().focusable;
    }
}

// The shown controls of a window, each with the name a screen reader gives it.
void collectControls(QAccessibleInterface* i, QList<std::pair<QString, QString>>& out) {
    if (!i || i->state().invisible)
        return;
    if (auto* w = qobject_cast<QWidget*>(i->object()); w && isControl(i)) {
        const QString which = w->objectName().isEmpty()
                                  ? QString::fromLatin1(w->metaObject()->className())
                                  : w->objectName();
        out.append({spokenName(i), which});
    }
    for (int c = 0; c < i->childCount(); ++c)
        collectControls(i->child(c), out);
}

// Checks that every control of window is named, uniquely, and gives the names.
QStringList checkedNames(QWidget* window) {
    QList<std::pair<QString, QString>> controls;
    collectControls(QAccessible::queryAccessibleInterface(window), controls);
    QStringList names;
    for (const auto& [name, which] : controls) {
        EXPECT_FALSE(name.trimmed().isEmpty()) << which.toStdString() << " has no name";
        EXPECT_FALSE(names.contains(name))
            << which.toStdString() << " shares the name \"" << name.toStdString() << '"';
        names << name;
    }
    EXPECT_FALSE(names.isEmpty());
    return names;
}

void expectNamed(const QStringList& names, const QStringList& expected) {
    for (const QString& n : expected)
        EXPECT_TRUE(names.contains(n))
            << '"' << n.toStdString() << "\" missing from: " << names.join(", ").toStdString();
}

// Tabs once round the window from where its focus is: each control the focus reaches must look
// different with the focus than after it has moved on.
void expectFocusVisible(QWidget* window) {
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);  // the keyboard's focus from here
    QList<QWidget*> reached;
    for (QWidget* f = QApplication::focusWidget(); f && !reached.contains(f);
         f = QApplication::focusWidget()) {
        reached << f;
        const QRect r(f->mapTo(window, QPoint(0, 0)), f->size());
        const QImage focused = window->grab(r).toImage();
        QTest::keyClick(f, Qt::Key_Tab);
        EXPECT_NE(focused, window->grab(r).toImage())
            << "no visible focus on " << f->objectName().toStdString();
    }
    EXPECT_GE(reached.size(), 3);
}

class ScreenReaderNames : public ::testing::TestWithParam<const char*> {
protected:
    static void SetUpTestSuite() { qev::test::ensureApplication<Application>(); }

    void SetUp() override {
        const QLocale locale(QString::fromLatin1(GetParam()));
        QLocale::setDefault(locale);  // the calendar's month and day names
        setSystemFormats(LocaleFormats::fromLocale(locale));
        ASSERT_TRUE(config_.isValid());
        qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
        form_ = std::make_unique<TMainForm>();
        editor_ = std::make_unique<TdlgSetZone>();
        form_->setZoneEditor(editor_.get());
        form_->show();
        form_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
    }
    void TearDown() override {
        form_->close();
        editor_.reset();
        form_.reset();
        setSystemFormats(std::nullopt);
        QLocale::setDefault(QLocale::c());
    }

    QTemporaryDir config_;
    std::unique_ptr<TMainForm> form_;
    std::unique_ptr<TdlgSetZone> editor_;
};

TEST_P(ScreenReaderNames, MainWindowAndCalendar) {
    {
        SCOPED_TRACE("main window");
        expectNamed(checkedNames(form_.get()),
                    {"Com 1", "Date (UTC)", "Open calendar", "Time (UTC)", "Send Above",
                     "Sync w/PC and Send", "Time zones", "Edit", "Send Configuration"});
    }
    SCOPED_TRACE("calendar");
    TDatePickerEdit* date = form_->Date1();
    date->setFocus();
    QTest::keyClick(date, Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(date->isPopupVisible());
    expectNamed(checkedNames(date->popup()),
                {"Calendar", "Days of the month", "Previous month", "Next month"});
    date->popup()->close();
}

TEST_P(ScreenReaderNames, ZoneEditor) {
    QStringList names;
    onNextModal<TdlgSetZone>([&](TdlgSetZone* d) {
        names = checkedNames(d);
        d->reject();
    });
    form_->ListBox1()->setItemIndex(0);
    QTest::mouseClick(form_->btnEdit(), Qt::LeftButton);
    expectNamed(names, {"OK", "Cancel", "Offset:", "Subtract Offset?", "DST rule",
                        "Show time in 24 hour format?"});
}

TEST_P(ScreenReaderNames, PortPrompt) {
    TComSelectForm prompt({QStringLiteral("COM1"), QStringLiteral("COM3")});
    prompt.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&prompt));
    expectNamed(checkedNames(&prompt), {"OK", "Cancel", "Please choose another port."});
}

TEST_P(ScreenReaderNames, ErrorBoxExposesItsText) {
    QStringList lines = defaultZoneLines();
    lines[4] = QStringLiteral("Zone 04  +0x:00  0:No DST,12 hr");
    form_->ListBox1()->setItems(lines);
    QStringList texts;
    onNextModal<QMessageBox>([&](QMessageBox* box) {
        checkedNames(box);
        QAccessibleInterface* i = QAccessible::queryAccessibleInterface(box);
        texts << i->text(QAccessible::Value);
        for (int c = 0; c < i->childCount(); ++c)
            if (i->child(c)->role() == QAccessible::StaticText)
                texts << i->child(c)->text(QAccessible::Name);
        box->accept();
    });
    QTest::mouseClick(form_->Button3(), Qt::LeftButton);
    test::spin(20);
    const QString shown = QStringLiteral("''0x'' is not a valid integer value.");
    EXPECT_EQ(texts, (QStringList{shown, shown}));
}

TEST_P(ScreenReaderNames, KeyboardFocusIsVisibleOnEveryControl) {
    {
        SCOPED_TRACE("main window");
        form_->Date1()->setFocus();
        expectFocusVisible(form_.get());
    }
    {
        SCOPED_TRACE("zone editor");
        bool shown = false;
        onNextModal<TdlgSetZone>([&](TdlgSetZone* d) {
            shown = true;
            expectFocusVisible(d);
            d->reject();
        });
        form_->ListBox1()->setItemIndex(0);
        QTest::mouseClick(form_->btnEdit(), Qt::LeftButton);
        EXPECT_TRUE(shown);
    }
    SCOPED_TRACE("port prompt");
    TComSelectForm prompt({QStringLiteral("COM1")});
    prompt.show();
    prompt.activateWindow();
    expectFocusVisible(&prompt);
}

INSTANTIATE_TEST_SUITE_P(Locales, ScreenReaderNames, ::testing::Values("C", "fi_FI"));

}  // namespace
}  // namespace qev
