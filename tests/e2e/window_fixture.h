#pragma once
// The real main window for end-to-end tests: a private configuration folder, COM1 a pty whose
// every byte is recorded, the zone editor, and the date and time formats of a named locale.

#include "app/application.h"
#include "app_window.h"
#include "line_recorder.h"
#include "modal_helpers.h"
#include "scoped_config.h"
#include "serial/sync_timing.h"
#include "test_application.h"
#include "widgets/list_box.h"
#include "widgets/locale_formats.h"
#include "widgets/radio_group.h"

#include <QRadioButton>

#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>

namespace qev::test {

// The zone configuration of the sixteen default lines.
inline QByteArray defaultConfiguration() {
    QByteArray m(1, char(0xEE));
    for (int k = 0; k < 16; ++k)
        m += QByteArray::fromHex("2B00000000");
    return m + char(0xFA);
}

template <typename Base = ::testing::Test>
class WindowTest : public Base {
protected:
    static void SetUpTestSuite() { ensureApplication<Application>(); }

    // Makes the window, in the formats of locale ("C", "en_US", "fi_FI", ...) when one is
    // named, and shows it as the program's start does.
    void makeWindow(const char* locale = nullptr) {
        window_.make(locale);
        form_ = window_.form();
        editor_ = window_.editor();
    }
    void showWindow() { ASSERT_TRUE(window_.show()); }
    // Both, with COM1 a recorded line, and waits until the window is active.
    void openWindow(const char* locale = nullptr) {
        line(1);
        makeWindow(locale);
        showWindow();
        form_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form_));
    }
    // Closes and destroys the window; what the close answered.
    bool closeWindow() {
        form_ = nullptr;
        editor_ = nullptr;
        return window_.close();
    }

    void TearDown() override {
        closeWindow();
        lines_.clear();
        setRealtimeOffsetNs(0);
    }

    // The line of port n, a pty linked as COMn; made on first use.
    LineRecorder& line(int n) {
        auto& recorder = lines_[n];
        if (!recorder)
            recorder = std::make_unique<LineRecorder>(portsFolder(), n);
        return *recorder;
    }
    QString portsFolder() const { return config_.portsFolder(); }
    QString settingsFile() const { return config_.settingsFile(); }

    void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }
    // Whether the action opens a dialog within 400 ms; one that opens is closed.
    bool opensADialog(const std::function<void()>& action) {
        bool opened = false;
        onNextModal<QWidget>(
            [&](QWidget* w) {
                opened = true;
                w->close();
            },
            400);
        action();
        spin(450);
        return opened;
    }
    QWidget* focused() const {
        QWidget* w = QApplication::focusWidget();
        return w ? w : form_;
    }
    QRadioButton* comButton(int n) const {
        return form_->RadioGroup1()->findChildren<QRadioButton*>().at(n - 1);
    }
    QPoint rowCentre(int row) const {
        ListBox* list = form_->ListBox1();
        return list->visualItemRect(list->item(row)).center();
    }
    void clickRow(int row) {
        QTest::mouseClick(form_->ListBox1()->viewport(), Qt::LeftButton, {}, rowCentre(row));
    }

    ScopedConfig config_;
    std::map<int, std::unique_ptr<LineRecorder>> lines_;
    AppWindow window_;
    TMainForm* form_ = nullptr;
    TdlgSetZone* editor_ = nullptr;
};

}  // namespace qev::test
