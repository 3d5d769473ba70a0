// The real window started on a settings file or a port link that is not what it should be: a
// pipe with no writer, a link to a device, a folder, a file far too large; COM1 linked to a
// pipe, a regular file, a folder. Each time the window appears with its defaults, the user is
// told once what is wrong and where, nothing on disk changes, and the window closes normally.
// Each run is bounded by a watchdog, so a regression that waits fails instead of hanging.

#include "hostile_files.h"
#include "modal_helpers.h"
#include "printers.h"
#include "protocol/zone_line.h"
#include "serial/prompt/com_select_form.h"
#include "widgets/list_box.h"
#include "widgets/radio_group.h"
#include "window_fixture.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace qev {
namespace {

using test::folderRecord;
using test::MessageBoxCatcher;
using test::Watchdog;
using test::WatchedFifo;

class RefusedFiles : public test::WindowTest<> {
protected:
    void SetUp() override {
        folder_ = config_.filePath(QStringLiteral("QEV"));
        ASSERT_TRUE(QDir().mkpath(folder_ + QStringLiteral("/ports")));
        settings_ = folder_ + QStringLiteral("/settings.reg");
        elsewhere_ = QFileInfo(config_.filePath(QStringLiteral("elsewhere"))).absoluteFilePath();
        ASSERT_TRUE(QDir().mkpath(elsewhere_));
        elsewhere_ = QFileInfo(elsewhere_).canonicalFilePath();
    }

    // One run of the program: the window shown, work done on it, the window closed and
    // destroyed. Returns every message shown; checks that the folder is as it was.
    QStringList run(const std::function<void(TMainForm&)>& work, const QString& untouched) {
        const QStringList before = folderRecord(untouched);
        MessageBoxCatcher boxes;
        {
            const Watchdog watchdog(20000, "a run of the window");
            makeWindow();
            showWindow();
            EXPECT_TRUE(form_->isVisible());
            if (work)
                work(*form_);
            EXPECT_TRUE(closeWindow());
        }
        EXPECT_EQ(folderRecord(untouched), before);
        return boxes.texts();
    }

    QString notRegular(const QString& kind) const {
        return "The settings file \"" + settings_ + "\" is not a regular file (it is " + kind +
               "). QEV starts from its default settings and will not save over it; remove it, "
               "or put a regular file in its place, to keep your settings.";
    }

    QString notSerial(const QString& kind) const {
        return "\"" + folder_ + "/ports/COM1\" is not a serial device (it is " + kind +
               "). Make it a link to the port's device, for example /dev/ttyUSB0.";
    }

    static void expectDefaults(TMainForm& form) {
        EXPECT_EQ(form.RadioGroup1()->ItemIndex(), 0);
        EXPECT_EQ(form.ListBox1()->Items(), defaultZoneLines());
    }

    // The settings folder stays as it was and the window keeps its defaults.
    QStringList runOnSettings() { return run(expectDefaults, folder_); }

    // Send Configuration clicked twice, as a user tries again: each ends at once (its message
    // closed by the catcher), and nothing the port's link leads to changes.
    QStringList runSending() {
        return run(
            [](TMainForm& form) {
                for (int i = 0; i < 2; ++i) {
                    QElapsedTimer clock;
                    clock.start();
                    QTest::mouseClick(form.Button3(), Qt::LeftButton);
                    EXPECT_LT(clock.elapsed(), 2000);
                }
            },
            elsewhere_);
    }

    QString folder_;
    QString settings_;
    QString elsewhere_;
};

TEST_F(RefusedFiles, SettingsFileAsAPipeWithNoWriter) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(settings_).constData(), 0600), 0);
    EXPECT_EQ(runOnSettings(), QStringList{notRegular(QStringLiteral("a named pipe"))});
}

TEST_F(RefusedFiles, SettingsFileAsALinkToDevZero) {
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), settings_));
    EXPECT_EQ(
        runOnSettings(),
        QStringList{notRegular(QStringLiteral("a link to the character device \"/dev/zero\""))});
}

TEST_F(RefusedFiles, SettingsFileAsAFolder) {
    ASSERT_TRUE(QDir().mkpath(settings_ + QStringLiteral("/inside")));
    EXPECT_EQ(runOnSettings(), QStringList{notRegular(QStringLiteral("a folder"))});
}

TEST_F(RefusedFiles, SettingsFileOf17MiB) {
    {
        QFile f(settings_);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("Windows Registry Editor Version 5.00\r\n\r\n");
        ASSERT_TRUE(f.resize(17 * 1024 * 1024));
    }
    EXPECT_EQ(runOnSettings(),
              QStringList{"The settings file \"" + settings_ +
                          "\" is too large to be read (17.0 MiB, more than 8 MiB). It is left "
                          "untouched: QEV starts from its default settings and will not save "
                          "over it; move it out of the way to keep your settings."});
}

TEST_F(RefusedFiles, PortLinkedToAPipe) {
    WatchedFifo pipe(elsewhere_ + QStringLiteral("/pipe"));
    ASSERT_TRUE(pipe.created());
    ASSERT_TRUE(QFile::link(elsewhere_ + QStringLiteral("/pipe"), folder_ + "/ports/COM1"));
    const QString told = notSerial("a link to the named pipe \"" + elsewhere_ + "/pipe\"");
    EXPECT_EQ(runSending(), QStringList({told, told}));
    EXPECT_FALSE(pipe.opened());
    EXPECT_TRUE(pipe.intact());
}

TEST_F(RefusedFiles, PortLinkedToARegularFile) {
    const QString file = elsewhere_ + QStringLiteral("/notes.txt");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a port\n");
    }
    ASSERT_TRUE(QFile::link(file, folder_ + "/ports/COM1"));
    const QString told = notSerial("a link to the regular file \"" + file + "\"");
    EXPECT_EQ(runSending(), QStringList({told, told}));
}

TEST_F(RefusedFiles, PortLinkedToAFolder) {
    ASSERT_TRUE(QFile::link(elsewhere_, folder_ + "/ports/COM1"));
    const QString told = notSerial("a link to the folder \"" + elsewhere_ + "\"");
    EXPECT_EQ(runSending(), QStringList({told, told}));
}

TEST_F(RefusedFiles, ThePortPromptListsNoPipeAndOpensNothing) {
    // Stored with no port chosen, so a send asks for one.
    {
        QFile f(settings_);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\QEV\\MainForm]\r\n"
            "\"FormVersion\"=dword:00000000\r\n"
            "\"RadioGroup1_ItemIndex\"=dword:ffffffff\r\n");
    }
    WatchedFifo pipe(elsewhere_ + QStringLiteral("/pipe"));
    ASSERT_TRUE(QFile::link(elsewhere_ + QStringLiteral("/pipe"), folder_ + "/ports/COM1"));
    ASSERT_TRUE(QFile::link(elsewhere_, folder_ + "/ports/COM2"));
    const Watchdog watchdog(20000, "a run with the port prompt");
    makeWindow();
    showWindow();
    ASSERT_EQ(form_->RadioGroup1()->ItemIndex(), -1);
    QStringList offered{QStringLiteral("<no prompt>")};
    test::onNextModal<TComSelectForm>([&](TComSelectForm* f) {
        offered.clear();
        for (int i = 0; i < f->PortsComboBox()->count(); ++i)
            offered << f->PortsComboBox()->itemText(i);
        QTest::mouseClick(f->AbortBtn(), Qt::LeftButton);
    });
    MessageBoxCatcher boxes;
    click(form_->Button3());
    EXPECT_FALSE(offered.contains(QStringLiteral("COM1"))) << offered.join(',').toStdString();
    EXPECT_FALSE(offered.contains(QStringLiteral("COM2"))) << offered.join(',').toStdString();
    // Without any other port there is no prompt, and the box says where a port comes from.
    if (offered == QStringList{QStringLiteral("<no prompt>")})
        EXPECT_TRUE(boxes.texts().join('|').startsWith(QStringLiteral("No serial port was found")))
            << boxes.texts().join('|').toStdString();
    else
        EXPECT_TRUE(boxes.texts().isEmpty());
    EXPECT_TRUE(closeWindow());
    EXPECT_FALSE(pipe.opened());
}

}  // namespace
}  // namespace qev
