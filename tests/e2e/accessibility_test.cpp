// Every window as a screen reader and a keyboard user meet it: each control that can be reached or
// pressed has a name of its own in its window, and shows when it has the keyboard focus.

#include "serial/prompt/com_select_form.h"
#include "widgets/date_picker_edit.h"
#include "widgets/drop_calendar.h"
#include "widgets/list_box.h"
#include "window_fixture.h"

#include <QAccessible>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace qev {
namespace {

// As Orca says it: a label tied to the control unless the label encloses it (a group box's
// caption), else the control's name. (On Linux, Qt names a drop-down list after its current item
// and leaves what it is for to its label.)
QString spokenName(QAccessibleInterface* control) {
    for (const auto& [label, relation] : control->relations(QAccessible::Label)) {
        bool encloses = false;
        for (QAccessibleInterface* p = control->parent(); p && !encloses; p = p->parent())
            encloses = p->object() == label->object();
        if (!encloses && !label->text(QAccessible::Name).isEmpty())
            return label->text(QAccessible::Name);
    }
    return control->text(QAccessible::Name);
}

// The names of the shown controls under i: each must have one, not given to another control of
// its window (names holds those seen so far).
void collectNames(QAccessibleInterface* i, QStringList& names) {
    if (!i || i->state().invisible)
        return;
    const bool control = i->state().focusable || i->role() == QAccessible::Button ||
                         i->role() == QAccessible::ButtonMenu;
    if (qobject_cast<QWidget*>(i->object()) && control) {
        const QString name = spokenName(i);
        const std::string which = i->object()->objectName().toStdString();
        EXPECT_FALSE(name.trimmed().isEmpty()) << which << " has no name";
        EXPECT_FALSE(names.contains(name)) << which << " repeats \"" << name.toStdString() << '"';
        names << name;
    }
    for (int c = 0; c < i->childCount(); ++c)
        collectNames(i->child(c), names);
}

// Tabs once round the window: each control the focus reaches must look different with the focus
// than after the focus has moved on.
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
        EXPECT_NE(focused, window->grab(r).toImage()) << f->objectName().toStdString();
    }
    EXPECT_GE(reached.size(), 3);
}

using Accessibility = test::WindowTest<>;

TEST_F(Accessibility, EveryControlIsNamedAndShowsTheFocus) {
    openWindow();
    TMainForm& form = *form_;
    form.ListBox1()->setItemIndex(0);
    QStringList names;
    const auto check = [&names](QWidget* window, bool focus = true) {
        QStringList inWindow;
        collectNames(QAccessible::queryAccessibleInterface(window), inWindow);
        names << inWindow;
        if (focus)
            expectFocusVisible(window);
    };
    form.Date1()->setFocus();
    check(&form);
    form.Date1()->DropDown();
    check(form.Date1()->popup(), false);  // the focus is the chosen day
    form.Date1()->popup()->close();
    bool edited = false;
    test::onNextModal<TdlgSetZone>([&](TdlgSetZone* d) {
        edited = true;
        check(d);
        d->reject();
    });
    QTest::mouseClick(form.btnEdit(), Qt::LeftButton);
    EXPECT_TRUE(edited);
    TComSelectForm prompt({QStringLiteral("COM1"), QStringLiteral("COM3")});
    prompt.show();
    prompt.activateWindow();
    check(&prompt);
    for (const char* name :
         {"Date (UTC)", "Open calendar", "Time (UTC)", "Time zones", "Previous month", "Next month",
          "Days of the month", "Offset:", "DST rule", "Please choose another port."})
        EXPECT_TRUE(names.contains(QLatin1String(name))) << name;
}

}  // namespace
}  // namespace qev
