// Other processes on the same file: one killed in the middle of saving, two saving at once.

#include "settings/reg_document.h"
#include "settings/reg_parser.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QRandomGenerator>
#include <QThread>

namespace qev {
namespace {

class SettingsProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureApplication<QCoreApplication>();
        ASSERT_TRUE(dir_.isValid());
    }
    QString file() const { return dir_.filePath("settings.reg"); }

    std::unique_ptr<QProcess> start(const QStringList& args) {
        auto p = std::make_unique<QProcess>();
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(QStringLiteral(QEV_SETTINGS_WRITER), QStringList{file()} + args);
        EXPECT_TRUE(p->waitForStarted());
        return p;
    }

    QTemporaryDir dir_;
};

TEST_F(SettingsProcessTest, ASaveKilledAtAnyMomentLeavesAWholeFile) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        auto writer = start({"list", "300"});
        // Let it get through a few rewrites, then kill it at some point inside one.
        for (int i = 0; i < 500 && !QFile::exists(file()); ++i) {
            QThread::msleep(5);
        }
        QThread::msleep(20 + QRandomGenerator::global()->bounded(150));
        writer->kill();
        ASSERT_TRUE(writer->waitForFinished());

        const RegParseResult r = parseRegFile(test::readAll(file()));
        ASSERT_TRUE(r.readable);
        EXPECT_TRUE(r.issues.isEmpty());
        const QString key = "HKEY_CURRENT_USER\\Software\\QEV\\MainForm\\ListBox1_Items";
        const auto values = r.document.values(key);
        ASSERT_FALSE(values.isEmpty());
        for (const auto& [name, value] : values) {
            if (name.startsWith("Item")) {
                EXPECT_TRUE(value.toText({}).endsWith(QString(60, u'x'))) << name.toStdString();
            }
        }
    }
    // The lock of a killed writer does not block the next one.
    TSettingsStore store(std::make_unique<RegFileBackend>(file()));
    store.WriteInteger("MainForm\\FormVersion", 0);
    EXPECT_EQ(store.ReadInteger("MainForm\\FormVersion", 7), 0);
}

TEST_F(SettingsProcessTest, TwoCopiesSavingAtOnceLoseNothing) {
    const int n = 40;
    auto a = start({"values", "A", QString::number(n)});
    auto b = start({"values", "B", QString::number(n)});
    ASSERT_TRUE(a->waitForFinished(60000));
    ASSERT_TRUE(b->waitForFinished(60000));
    EXPECT_EQ(a->exitCode(), 0);
    EXPECT_EQ(b->exitCode(), 0);

    const RegParseResult r = parseRegFile(test::readAll(file()));
    ASSERT_TRUE(r.issues.isEmpty());
    const QString key = "HKEY_CURRENT_USER\\Software\\QEV\\Race";
    EXPECT_EQ(r.document.values(key).size(), 2 * n);
    for (int i = 0; i < n; ++i) {
        for (const char* prefix : {"A", "B"}) {
            const RegValue* v = r.document.value(key, QStringLiteral("%1%2").arg(prefix).arg(i));
            ASSERT_NE(v, nullptr) << prefix << i;
            EXPECT_EQ(v->toInteger(-1), i);
        }
    }
}

}  // namespace
}  // namespace qev
