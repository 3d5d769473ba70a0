#pragma once
// What the widget tests share: a shown, active window with a field and a second control to take
// the focus, a recorder of reported errors and a beep counter.

#include "base/error_sink.h"
#include "base/exception.h"
#include "test_application.h"
#include "widgets/beep.h"
#include "widgets/db_edit_error.h"

#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace qev::test {

struct ReportedError {
    QString message;
    bool isEditError = false;
    bool isConvertError = false;
};

template <typename Field, typename Window = QWidget>
class FieldWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ensureApplication(); }

    void SetUp() override {
        setErrorReporter([this](std::exception_ptr e) { record(e); });
        setBeepHook([this] { ++beeps; });
        window = std::make_unique<Window>();
        auto* layout = new QVBoxLayout(window.get());
        field = new Field(window.get());
        other = new QLineEdit(window.get());
        layout->addWidget(field);
        layout->addWidget(other);
    }
    void TearDown() override {
        window.reset();
        setErrorReporter({});
        setBeepHook({});
    }

    void showWindow() {
        window->move(100, 100);
        window->resize(420, 140);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        // The field starts without the focus, so that each test enters it as a user would.
        other->setFocus(Qt::OtherFocusReason);
        ASSERT_TRUE(other->hasFocus());
    }
    // Entering with Tab and leaving to the other control.
    void tabInto() {
        field->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(field->hasFocus());
    }
    void leave() { other->setFocus(Qt::TabFocusReason); }
    void type(const QString& keys) { QTest::keyClicks(field, keys); }
    void key(Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(field, k, mods);
    }

    void record(std::exception_ptr e) {
        ReportedError r;
        try {
            std::rethrow_exception(e);
        } catch (const Exception& ex) {
            r.message = ex.message();
            r.isEditError = dynamic_cast<const EDBEditError*>(&ex) != nullptr;
            r.isConvertError = dynamic_cast<const EConvertError*>(&ex) != nullptr;
        } catch (...) {
            r.message = QStringLiteral("<foreign exception>");
        }
        errors.push_back(r);
    }

    std::unique_ptr<Window> window;
    Field* field = nullptr;
    QLineEdit* other = nullptr;
    std::vector<ReportedError> errors;
    int beeps = 0;
};

}  // namespace qev::test
