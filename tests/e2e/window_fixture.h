#pragma once
// The real main window for end-to-end tests: a private configuration folder, COM1 a pty whose
// every byte is recorded, the zone editor, and the date and time formats of a named locale.

#include "app/application.h"
#include "app/mainform_u.h"
#include "app/setzone.h"
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

    // Shows the window, in the formats of locale ("C", "en_US", "fi_FI", ...) when one is named.
    void openWindow(const char* locale = nullptr) {
        if (locale)
            setSystemFormats(LocaleFormats::fromLocale(QLocale(QString::fromLatin1(locale))));
        line(1);
        form_ = std::make_unique<TMainForm>();
        editor_ = std::make_unique<TdlgSetZone>();
        form_->setZoneEditor(editor_.get());
        form_->show();
        form_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
    }

    void TearDown() override {
        if (form_)
            form_->close();
        editor_.reset();
        form_.reset();
        lines_.clear();
        setSystemFormats(std::nullopt);
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
    QWidget* focused() const {
        QWidget* w = QApplication::focusWidget();
        return w ? w : form_.get();
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
    std::unique_ptr<TMainForm> form_;
    std::unique_ptr<TdlgSetZone> editor_;
};

}  // namespace qev::test
