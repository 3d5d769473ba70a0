// The simulator as a user runs it: a separate process on COM1, the real window sending to it,
// and its report in plain words matching what went over the line.

#include "window_fixture.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace qev {
namespace {

class Simulator : public test::WindowTest<> {
protected:
    // Reads the simulator's output until it holds text (or timeoutMs passes).
    QString readUntil(const QString& text, int timeoutMs) {
        const QDeadlineTimer deadline(timeoutMs);
        while (!output_.contains(text) && !deadline.hasExpired()) {
            sim_.waitForReadyRead(50);
            output_ += QString::fromLocal8Bit(sim_.readAllStandardOutput());
        }
        return output_;
    }

    void TearDown() override {
        test::WindowTest<>::TearDown();
        sim_.terminate();
        sim_.waitForFinished(3000);
    }

    QProcess sim_;
    QString output_;
};

TEST_F(Simulator, ShowsWhatTheWindowSends) {
    sim_.start(QStringLiteral(QEV_CLOCK_SIM), {QStringLiteral("--com"), QStringLiteral("1"),
                                               QStringLiteral("--ports"), config_.portsFolder()});
    ASSERT_TRUE(sim_.waitForStarted(3000));
    ASSERT_TRUE(readUntil(QStringLiteral("listening as COM1"), 5000).contains("listening as COM1"))
        << output_.toStdString() << sim_.readAllStandardError().toStdString();

    makeWindow();
    showWindow();
    click(form_->Button3());
    const QString out = readUntil(QStringLiteral("bytes (82)"), 5000);
    EXPECT_TRUE(out.contains(QStringLiteral("Zone configuration:"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("  zone 15: UTC +00:00, rule 0 (No DST), 12-hour")));
    EXPECT_FALSE(out.contains(QStringLiteral("MALFORMED"))) << out.toStdString();
    EXPECT_FALSE(out.contains(QStringLiteral("  ! "))) << out.toStdString();
}

}  // namespace
}  // namespace qev
