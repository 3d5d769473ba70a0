// "Select Port": the answers each way of closing it gives to the port layer.

#include "serial/prompt/com_select_form.h"
#include "test_application.h"

#include "modal_helpers.h"

#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace qev {
namespace {

using test::onNextModal;

class ComSelect : public ::testing::Test {
protected:
    static void SetUpTestSuite() { qev::test::ensureApplication<QApplication>(); }
    int ask(const QStringList& items, QString& text, std::function<void(TComSelectForm*)> act) {
        onNextModal<TComSelectForm>(act);
        DialogPortPrompt prompt;
        return prompt.exec(items, text);
    }
};

TEST_F(ComSelect, DesignMatchesTheLayout) {
    TComSelectForm form({QStringLiteral("COM1"), QStringLiteral("COM4")});
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Select Port"));
    EXPECT_EQ(form.height(), 131);
    EXPECT_GE(form.width(), 220);
    EXPECT_EQ(form.OkBtn()->geometry(), QRect(8, 95, 85, 27));
    EXPECT_EQ(form.PortsComboBox()->geometry().topLeft(), QPoint(8, 64));
    EXPECT_TRUE(form.OkBtn()->isDefault());
    EXPECT_FALSE(form.PortsComboBox()->isEditable());
    EXPECT_EQ(form.PortsComboBox()->currentText(), QStringLiteral("COM1"));
    EXPECT_EQ(form.OkBtn()->nextInFocusChain(), form.AbortBtn());
    EXPECT_EQ(form.AbortBtn()->nextInFocusChain(), form.PortsComboBox());
}

TEST_F(ComSelect, OkGivesTheSelectedPort) {
    QString text;
    const int r =
        ask({QStringLiteral("COM2"), QStringLiteral("COM7")}, text, [](TComSelectForm* f) {
            f->PortsComboBox()->setCurrentIndex(1);
            QTest::keyClick(f, Qt::Key_Return);  // the default button
        });
    EXPECT_EQ(r, PortPrompt::Ok);
    EXPECT_EQ(text, QStringLiteral("COM7"));
}

TEST_F(ComSelect, EmptyListOkGivesAnEmptyChoice) {
    QString text = QStringLiteral("stale");
    EXPECT_EQ(ask({}, text, [](TComSelectForm* f) { f->OkBtn()->click(); }), PortPrompt::Ok);
    EXPECT_TRUE(text.isEmpty());
}

TEST_F(ComSelect, CancelButtonAndEscapeAbortCloseCancels) {
    QString text;
    EXPECT_EQ(
        ask({QStringLiteral("COM1")}, text, [](TComSelectForm* f) { f->AbortBtn()->click(); }),
        PortPrompt::Abort);
    EXPECT_EQ(ask({QStringLiteral("COM1")}, text, [](TComSelectForm* f) { f->close(); }),
              PortPrompt::Cancel);
    // From the list too, where the keyboard's focus is.
    EXPECT_EQ(ask({QStringLiteral("COM1")}, text,
                  [&](TComSelectForm* f) { QTest::keyClick(f->PortsComboBox(), Qt::Key_Escape); }),
              PortPrompt::Abort);
}

}  // namespace
}  // namespace qev
