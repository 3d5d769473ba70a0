// "Sync w/PC and Send" in the real window: the message ends on the line as the second it
// carries begins, the fields show that second, and the window stays live while it waits.
// Run in two locales, one with "." between the hours, minutes and seconds.

#include "app/application.h"
#include "app/mainform_u.h"
#include "app/setzone.h"
#include "protocol/date_time_value.h"
#include "serial/sync_timing.h"
#include "second_checks.h"
#include "test_application.h"
#include "widgets/date_picker_edit.h"
#include "widgets/locale_formats.h"
#include "widgets/mask_edit.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace qev {
namespace {

class WindowSync : public ::testing::TestWithParam<const char*> {
protected:
    static void SetUpTestSuite() { qev::test::ensureApplication<Application>(); }

    void SetUp() override {
        ASSERT_TRUE(config_.isValid());
        qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
        formats_ = LocaleFormats::fromLocale(QLocale(QString::fromLatin1(GetParam())));
        setSystemFormats(formats_);
        line_ = std::make_unique<test::LineRecorder>(config_.filePath("QEV/ports"), 1);
        form_ = std::make_unique<TMainForm>();
        editor_ = std::make_unique<TdlgSetZone>();
        form_->setZoneEditor(editor_.get());
        form_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    }

    void TearDown() override {
        form_->close();
        editor_.reset();
        form_.reset();
        line_.reset();
        setSystemFormats(std::nullopt);
    }

    // The time field's text for a second, in this locale.
    QString timeText(qint64 second) const {
        const QString sep(formats_.timeSeparator);
        return QDateTime::fromSecsSinceEpoch(second, Qt::UTC)
            .toString(QStringLiteral("hh'%1'mm'%1'ss").arg(sep));
    }

    // Checks a time-set message that arrived at firstNs: it ended at its second's start.
    qint64 checkTimed(const QByteArray& m, qint64 firstNs) {
        const qint64 second = test::sentSecond(m);
        EXPECT_GT(second, 0) << m.toHex(' ').toStdString();
        const qint64 late = firstNs + wireTimeNs(14, 4800) - second * kNanosPerSecond;
        EXPECT_LT(std::abs(late), 250'000'000)
            << "the message ended " << late / 1e6 << " ms after its second began";
        return second;
    }

    QTemporaryDir config_;
    LocaleFormats formats_;
    std::unique_ptr<test::LineRecorder> line_;
    std::unique_ptr<TMainForm> form_;
    std::unique_ptr<TdlgSetZone> editor_;
};

TEST_P(WindowSync, KeyboardSyncShowsAndSendsTheSecondItMeets) {
    // Well inside a second, so that the wait for the next one is long.
    test::waitForFractionOfSecond(400, 600);
    bool live = false;
    QTimer::singleShot(150, form_.get(), [&] { live = true; });
    // Tab from the time field to the button, and press it.
    QTest::mouseClick(form_->Time1(), Qt::LeftButton);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), form_->Button2());
    QTest::keyClick(form_->Button2(), Qt::Key_Space);
    EXPECT_TRUE(live) << "the window handled no events while the sync waited";

    qint64 firstNs = 0;
    const QByteArray m = line_->take(14, 2000, &firstNs);
    ASSERT_EQ(m.size(), 14) << m.toHex(' ').toStdString();
    const qint64 second = checkTimed(m, firstNs);
    const QDateTime at = QDateTime::fromSecsSinceEpoch(second, Qt::UTC);
    EXPECT_EQ(form_->Time1()->maskedText(), timeText(second));
    EXPECT_EQ(dateOfValue(form_->Date1()->Date()), at.date());
}

TEST_P(WindowSync, SendsDuringTheWaitLeaveTheSyncOnTime) {
    test::waitForFractionOfSecond(100, 300);
    // During the wait: "Sync" again, which changes nothing, and "Send Configuration", which
    // goes out at once and closes the port behind it.
    QByteArray zones;
    QTimer::singleShot(100, form_.get(), [&] {
        QTest::mouseClick(form_->Button2(), Qt::LeftButton);
        QTest::mouseClick(form_->Button3(), Qt::LeftButton);
        zones = line_->take(82, 1000);
    });
    QTest::mouseClick(form_->Button2(), Qt::LeftButton);

    ASSERT_EQ(zones.size(), 82) << zones.toHex(' ').toStdString();
    EXPECT_EQ(quint8(zones.front()), 0xEE);
    qint64 firstNs = 0;
    const QByteArray m = line_->take(14, 2000, &firstNs);
    ASSERT_EQ(m.size(), 14) << m.toHex(' ').toStdString();
    const qint64 second = checkTimed(m, firstNs);
    EXPECT_EQ(form_->Time1()->maskedText(), timeText(second));
    EXPECT_TRUE(line_->take(1, 300).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Locales, WindowSync, ::testing::Values("en_US", "fi_FI"));

}  // namespace
}  // namespace qev
