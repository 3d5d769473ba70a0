#pragma once
// The real main window for end-to-end tests: a private configuration folder, COM1 a pty whose
// every byte is recorded, the zone editor, and the date and time formats of a named locale.

#include "app/application.h"
#include "app/mainform_u.h"
#include "app/setzone.h"
#include "line_recorder.h"
#include "modal_helpers.h"
#include "serial/sync_timing.h"
#include "test_application.h"
#include "widgets/locale_formats.h"

#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace qev::test {

template <typename Base = ::testing::Test>
class WindowTest : public Base {
protected:
    static void SetUpTestSuite() { ensureApplication<Application>(); }

    // Shows the window, in the formats of locale ("C", "en_US", "fi_FI", ...) when one is named.
    void openWindow(const char* locale = nullptr) {
        ASSERT_TRUE(config_.isValid());
        qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
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
    QString portsFolder() const { return config_.filePath(QStringLiteral("QEV/ports")); }
    QString settingsFile() const { return config_.filePath(QStringLiteral("QEV/settings.reg")); }

    void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }

    QTemporaryDir config_;
    std::map<int, std::unique_ptr<LineRecorder>> lines_;
    std::unique_ptr<TMainForm> form_;
    std::unique_ptr<TdlgSetZone> editor_;
};

}  // namespace qev::test
