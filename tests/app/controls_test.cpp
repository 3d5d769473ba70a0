// The radio group and list box as the form storage sees them: through their properties.

#include "test_application.h"
#include "widgets/list_box.h"
#include "widgets/radio_group.h"

#include <QApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace qev {
namespace {

class Controls : public ::testing::Test {
protected:
    static void SetUpTestSuite() { qev::test::ensureApplication<QApplication>(); }
    static QStringList comItems() {
        QStringList items;
        for (int i = 1; i <= 8; ++i)
            items << QStringLiteral("Com %1").arg(i);
        return items;
    }
};

TEST_F(Controls, RadioGroupIndexClampsAndCanBeEmpty) {
    RadioGroup group(QStringLiteral("Com Port"), comItems(), 4);
    EXPECT_EQ(group.ItemIndex(), -1);
    ASSERT_TRUE(group.setProperty("ItemIndex", 3));
    EXPECT_TRUE(group.button(3)->isChecked());
    EXPECT_EQ(group.property("ItemIndex").toInt(), 3);
    group.setProperty("ItemIndex", 12);
    EXPECT_EQ(group.ItemIndex(), 7);
    group.setProperty("ItemIndex", -7);
    EXPECT_EQ(group.ItemIndex(), -1);
    for (int i = 0; i < group.count(); ++i)
        EXPECT_FALSE(group.button(i)->isChecked()) << i;
    // After "none", a click still checks exactly one button.
    group.button(5)->click();
    EXPECT_EQ(group.ItemIndex(), 5);
    group.button(2)->click();
    EXPECT_EQ(group.ItemIndex(), 2);
    EXPECT_FALSE(group.button(5)->isChecked());
}

TEST_F(Controls, RadioGroupRunsItemsDownEachColumn) {
    RadioGroup group(QStringLiteral("Com Port"), comItems(), 4);
    group.setGeometry(8, 8, 389, 73);
    group.show();
    // Two rows of four columns: "Com 2" under "Com 1", "Com 3" beside "Com 1".
    EXPECT_EQ(group.button(0)->x(), group.button(1)->x());
    EXPECT_LT(group.button(0)->y(), group.button(1)->y());
    EXPECT_EQ(group.button(0)->y(), group.button(2)->y());
    EXPECT_LT(group.button(0)->x(), group.button(2)->x());
    EXPECT_LT(group.button(6)->x(), group.button(7)->x() + 1);
    for (int i = 0; i < group.count(); ++i)
        EXPECT_TRUE(group.rect().contains(group.button(i)->geometry())) << i;
}

TEST_F(Controls, ListBoxItemsReplaceTheWholeList) {
    ListBox list;
    const QStringList lines = {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
    ASSERT_TRUE(list.setProperty("Items", lines));
    EXPECT_EQ(list.property("Items").toStringList(), lines);
    list.setItemIndex(1);
    list.setLine(1, QStringLiteral("B"));
    EXPECT_EQ(list.ItemIndex(), 1);
    EXPECT_EQ(list.Items(), (QStringList{"a", "B", "c"}));
    list.setProperty("Items", QStringList{QStringLiteral("x")});
    EXPECT_EQ(list.Items(), QStringList{QStringLiteral("x")});
    EXPECT_EQ(list.ItemIndex(), -1);
    EXPECT_EQ(list.sizeHintForRow(0), 14);
}

TEST_F(Controls, ListBoxItemIndexIsTheSelectionNotTheFocusFrame) {
    QWidget window;
    auto* before = new QLineEdit(&window);
    auto* list = new ListBox(&window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(before);
    layout->addWidget(list);
    list->setItems({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    before->setFocus();
    QTest::keyClick(before, Qt::Key_Tab);
    ASSERT_TRUE(list->hasFocus());
    // Entered with Tab, the first row has the focus frame but is not selected; the property is
    // what the form storage would keep.
    EXPECT_EQ(list->currentRow(), 0);
    EXPECT_EQ(list->ItemIndex(), -1);
    EXPECT_EQ(list->property("ItemIndex").toInt(), -1);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(list->ItemIndex(), 1);
    ASSERT_TRUE(list->setProperty("ItemIndex", 2));
    EXPECT_EQ(list->selectedItems().value(0), list->item(2));
    EXPECT_EQ(list->currentRow(), 2);
    list->setProperty("ItemIndex", 7);
    EXPECT_TRUE(list->selectedItems().isEmpty());
    EXPECT_EQ(list->ItemIndex(), -1);
}

}  // namespace
}  // namespace qev
