// The port choice and the zone list survive a run: the real window started on a prepared
// settings file, a zone and the port changed, the window closed, and the file read back.

#include "protocol/zone_line.h"
#include "widgets/list_box.h"
#include "widgets/mask_edit.h"
#include "widgets/radio_group.h"
#include "window_fixture.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

namespace qev {
namespace {

const QString kMainKey = QStringLiteral("[HKEY_CURRENT_USER\\Software\\QEV\\MainForm]");
const QString kListKey =
    QStringLiteral("[HKEY_CURRENT_USER\\Software\\QEV\\MainForm\\ListBox1_Items]");

QStringList storedLines() {
    QStringList lines = defaultZoneLines();
    lines[0] = QStringLiteral("Zone 00  +01:00  0:No DST,12 hr");
    lines[9] = QStringLiteral("Zone 09  -08:00  1:US Standard (as of 2007),12 hr");
    return lines;
}

// The values of one key in the file, "name=data" in file order.
QStringList valuesOf(const QString& file, const QString& keyLine) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {QStringLiteral("<no file>")};
    QStringList values;
    bool inKey = false;
    for (QString line : QString::fromUtf8(f.readAll()).split(u'\n')) {
        line = line.trimmed();
        if (line.startsWith(u'['))
            inKey = line == keyLine;
        else if (inKey && !line.isEmpty())
            values << line;
    }
    return values;
}

class StoredSettings : public test::WindowTest<> {
protected:
    void SetUp() override {
        file_ = config_.settingsFile();
        QDir().mkpath(QFileInfo(file_).path());
        QStringList text = {QStringLiteral("Windows Registry Editor Version 5.00"),
                            QString(),
                            kMainKey,
                            QStringLiteral("\"FormVersion\"=dword:00000000"),
                            QStringLiteral("\"RadioGroup1_ItemIndex\"=dword:00000002"),
                            QString(),
                            kListKey,
                            QStringLiteral("\"Count\"=dword:00000010")};
        const QStringList lines = storedLines();
        for (int i = 0; i < lines.size(); ++i)
            text << QStringLiteral("\"Item%1\"=\"%2\"").arg(i).arg(lines[i]);
        QFile f(file_);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write((text.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
    }

    QString file_;
};

TEST_F(StoredSettings, ChangesOfARunAreInTheFileAfterClosing) {
    {
        makeWindow();
        TMainForm& form = *form_;
        // Nothing is restored before the first showing.
        EXPECT_EQ(form.RadioGroup1()->ItemIndex(), 0);
        showWindow();
        EXPECT_EQ(form.RadioGroup1()->ItemIndex(), 2);
        EXPECT_EQ(form.ListBox1()->Items(), storedLines());

        form.ListBox1()->setItemIndex(5);
        test::onNextModal<TdlgSetZone>([](TdlgSetZone* d) {
            d->MaskEdit1()->setMaskedText(QStringLiteral("02:00"));
            QTest::mouseClick(d->CheckBox1(), Qt::LeftButton);
            QTest::mouseClick(d->OKBtn(), Qt::LeftButton);
        });
        QTest::mouseClick(form.btnEdit(), Qt::LeftButton);
        QTest::mouseClick(form.RadioGroup1()->button(4), Qt::LeftButton);
        ASSERT_EQ(form.RadioGroup1()->ItemIndex(), 4);
        EXPECT_TRUE(closeWindow());
    }

    EXPECT_EQ(valuesOf(file_, kMainKey),
              (QStringList{QStringLiteral("\"FormVersion\"=dword:00000000"),
                           QStringLiteral("\"RadioGroup1_ItemIndex\"=dword:00000004")}));
    QStringList expected = storedLines();
    expected[5] = QStringLiteral("Zone 05  -02:00  0:No DST,12 hr");
    QStringList items = valuesOf(file_, kListKey);
    items.sort();
    QStringList want = {QStringLiteral("\"Count\"=dword:00000010")};
    for (int i = 0; i < expected.size(); ++i)
        want << QStringLiteral("\"Item%1\"=\"%2\"").arg(i).arg(expected[i]);
    want.sort();
    EXPECT_EQ(items, want);
}

}  // namespace
}  // namespace qev
