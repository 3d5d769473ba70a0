// Whole runs of a window with its form storage against a real settings file: restored at the
// first showing, saved at close (and at destruction when that failed).

#include "test_support.h"

#include <gtest/gtest.h>

#include <QDir>

#include <functional>

namespace qev {
namespace {

using test::defaultZones;
using test::hexOfText;
using test::kListKey;
using test::kMainKey;
using test::readAll;
using test::regFile;
using test::WindowDouble;
using test::writeAll;

const QString kMain = QStringLiteral("HKEY_CURRENT_USER\\Software\\QEV\\MainForm");
const QString kList = kMain + QStringLiteral("\\ListBox1_Items");

class FormStorageTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureApplication<QCoreApplication>();
        ASSERT_TRUE(dir_.isValid());
    }
    QString file() const { return dir_.filePath("QEV/settings.reg"); }

    void prepare(const QStringList& lines) {
        QDir().mkpath(dir_.filePath("QEV"));
        writeAll(file(), regFile(lines));
    }

    // One run of the program: create, show, work, close, destroy. Returns what was reported.
    QStringList run(const std::function<void(WindowDouble&)>& work = {}) {
        auto window = std::make_unique<WindowDouble>(file());
        const auto reported = window->reported;
        window->show();
        if (work) {
            work(*window);
        }
        EXPECT_TRUE(window->close());
        window.reset();
        return *reported;
    }

    // What a run sees after the restore.
    struct Seen {
        int index = 0;
        QStringList lines;
    };
    Seen restoredFrom(const QStringList& lines) {
        prepare(lines);
        Seen seen;
        run([&](WindowDouble& w) { seen = {w.radio->itemIndex(), w.list->items()}; });
        return seen;
    }

    RegParseResult stored() const { return parseRegFile(readAll(file())); }
    QStringList storedList() const {
        QStringList lines;
        const RegDocument& d = stored().document;
        const int count = d.value(kList, "Count")->toInteger(-1);
        for (int i = 0; i < count; ++i) {
            const RegValue* v = d.value(kList, QStringLiteral("Item%1").arg(i));
            lines.append(v == nullptr ? "<missing>" : v->toText({}));
        }
        return lines;
    }

    QTemporaryDir dir_;
};

TEST_F(FormStorageTest, FirstRunCreatesExactlyTheListedKeysAndValues) {
    auto window = std::make_unique<WindowDouble>(file());
    window->show();
    EXPECT_TRUE(window->close());
    const QByteArray written = readAll(file());
    // Nothing beside the file: no temporary copy, no lock left behind.
    EXPECT_EQ(QDir(dir_.filePath("QEV")).entryList(QDir::Files), QStringList{"settings.reg"});
    // The close saved, so destruction does not save again.
    QFile::remove(file());
    const auto reported = window->reported;
    window.reset();
    EXPECT_FALSE(QFile::exists(file()));
    EXPECT_TRUE(reported->isEmpty());

    QStringList expected{kMainKey, "\"FormVersion\"=dword:00000000",
                         "\"RadioGroup1_ItemIndex\"=dword:00000000", "", kListKey};
    const QStringList zones = defaultZones();
    for (int i = 0; i < zones.size(); ++i) {
        expected.append(QStringLiteral("\"Item%1\"=\"%2\"").arg(i).arg(zones.at(i)));
    }
    expected.append("\"Count\"=dword:00000010");
    expected.append("");
    EXPECT_EQ(QString::fromUtf8(written), QString::fromUtf8(regFile(expected)));
}

TEST_F(FormStorageTest, ChangedValuesSurviveARestartUnchanged) {
    run();
    run([](WindowDouble& w) {
        w.radio->setItemIndex(5);
        QStringList lines = w.list->items();
        lines[4] = "Edited \\ \"zone\" \u00e9  -05:30  1:US Standard (as of 2007),12 hr";
        w.list->setItems(lines);
    });
    WindowDouble w(file());
    w.show();
    EXPECT_EQ(w.radio->itemIndex(), 5);
    EXPECT_EQ(w.list->items().at(4),
              "Edited \\ \"zone\" \u00e9  -05:30  1:US Standard (as of 2007),12 hr");
    EXPECT_EQ(w.list->assignments, 1);  // the list is set once, so it repaints once
    EXPECT_TRUE(w.reported->isEmpty());
}

TEST_F(FormStorageTest, StoredListLengthsReplaceTheDefaults) {
    const Seen three = restoredFrom({kListKey, "\"Count\"=dword:00000003", "\"Item0\"=\"a\"",
                                     "\"Item1\"=\"b\"", "\"Item2\"=\"c\""});
    EXPECT_EQ(three.lines, (QStringList{"a", "b", "c"}));

    QStringList sixteen{kListKey, "\"Count\"=dword:00000014"};
    for (int i = 0; i < 16; ++i) {
        sixteen.append(QStringLiteral("\"Item%1\"=\"z%1\"").arg(i));
    }
    const Seen twenty = restoredFrom(sixteen);
    ASSERT_EQ(twenty.lines.size(), 20);
    EXPECT_EQ(twenty.lines.at(15), "z15");
    EXPECT_EQ(twenty.lines.mid(16), (QStringList{"", "", "", ""}));
    const QStringList saved = storedList();
    ASSERT_EQ(saved.size(), 20);
    EXPECT_EQ(saved.mid(16), (QStringList{"", "", "", ""}));

    // The list shrinks back to sixteen: the items left behind are deleted.
    run([](WindowDouble& w) { w.list->setItems(w.list->items().mid(0, 16)); });
    EXPECT_EQ(storedList().size(), 16);
    EXPECT_EQ(stored().document.values(kList).size(), 17);  // Item0..Item15 and Count
}

TEST_F(FormStorageTest, TheLongestListAllowedIsRestoredAndSavedWhole) {
    const Seen seen = restoredFrom({kListKey, "\"Count\"=dword:00002710", "\"Item9999\"=\"last\""});
    ASSERT_EQ(seen.lines.size(), 10000);
    EXPECT_EQ(seen.lines.last(), "last");
    const QStringList saved = storedList();
    ASSERT_EQ(saved.size(), 10000);
    EXPECT_EQ(saved.first(), "");
    EXPECT_EQ(saved.last(), "last");
}

TEST_F(FormStorageTest, AListKeyWithoutCountEmptiesTheList) {
    EXPECT_TRUE(restoredFrom({kListKey, "\"Item0\"=\"a\""}).lines.isEmpty());
}

TEST_F(FormStorageTest, ASingleStringValueIsSplitIntoLines) {
    const QString text = "one\r\ntwo\rthree\n";
    const Seen seen = restoredFrom({kMainKey, "\"ListBox1_Items\"=hex(1):" + hexOfText(text)});
    EXPECT_EQ(seen.lines, (QStringList{"one", "two", "three"}));
    EXPECT_EQ(storedList(), (QStringList{"one", "two", "three"}));
}

TEST_F(FormStorageTest, WrongValueKindsYieldDefaultsWithoutAMessage) {
    const Seen seen =
        restoredFrom({kMainKey, "\"FormVersion\"=hex(7):00,00",
                      "\"RadioGroup1_ItemIndex\"=hex(7):33,00,00,00,00,00", kListKey,
                      "\"Count\"=dword:00000002", "\"Item0\"=dword:00000005", "\"Item1\"=\"b\""});
    EXPECT_EQ(seen.index, 0);
    EXPECT_EQ(seen.lines, (QStringList{"", "b"}));
}

TEST_F(FormStorageTest, StoredPortIndexIsClampedByTheRadioGroup) {
    const QList<std::pair<QString, int>> cases{
        {"dword:00000003", 3},  {"dword:0000000c", 7}, {"dword:fffffff9", -1},
        {"dword:ffffffff", -1}, {"\"5\"", 5},          {"\"x\"", 0},
    };
    for (const auto& [data, index] : cases) {
        EXPECT_EQ(restoredFrom({kMainKey, "\"RadioGroup1_ItemIndex\"=" + data}).index, index)
            << data.toStdString();
    }
    EXPECT_EQ(stored().document.value(kMain, "RadioGroup1_ItemIndex")->toInteger(9), 0);
}

TEST_F(FormStorageTest, ANegativeFormVersionRestoresNothingAndTheCloseOverwritesAll) {
    const Seen seen = restoredFrom({kMainKey, "\"FormVersion\"=dword:ffffffff",
                                    "\"RadioGroup1_ItemIndex\"=dword:00000004", kListKey,
                                    "\"Count\"=dword:00000001", "\"Item0\"=\"old\""});
    EXPECT_EQ(seen.index, 0);
    EXPECT_EQ(seen.lines, defaultZones());
    EXPECT_EQ(stored().document.value(kMain, "FormVersion")->toInteger(9), 0);
    EXPECT_EQ(stored().document.value(kMain, "RadioGroup1_ItemIndex")->toInteger(9), 0);
    EXPECT_EQ(storedList(), defaultZones());
}

TEST_F(FormStorageTest, AFailedWriteIsShownAtCloseAndAgainAtDestructionAndTheWindowCloses) {
    // A regular file where the folder should be: no one, root included, can write below it.
    writeAll(dir_.filePath("QEV"), "not a folder");
    const QStringList reported = run();
    const QString text = "Unable to create key '" + file() + "\\Software\\QEV\\MainForm'";
    EXPECT_EQ(reported, (QStringList{text, text}));
}

TEST_F(FormStorageTest, ARestoreThatFailsIsReportedAndLeavesTheRestoredFlagUnset) {
    QDir().mkpath(dir_.filePath("QEV"));
    QFile::link("settings.reg", file());  // a link to itself: it cannot be read
    auto w = std::make_unique<WindowDouble>(file());
    w->show();
    ASSERT_EQ(w->reported->size(), 1);
    EXPECT_EQ(w->reported->first(), "Unable to open key \"" + file() +
                                        "\\Software\\QEV\\MainForm\\FormVersion\" for read");
    EXPECT_FALSE(w->FormStorage1->restored());
}

TEST_F(FormStorageTest, OnlyTheFirstShowRestoresEvenAfterAFailedRestore) {
    prepare({kMainKey, "\"RadioGroup1_ItemIndex\"=dword:00000002"});
    WindowDouble w(file());
    w.show();
    EXPECT_EQ(w.radio->itemIndex(), 2);
    w.radio->setItemIndex(6);
    w.show();
    EXPECT_EQ(w.radio->itemIndex(), 6);

    // The first restore fails; when the window is shown again the file reads, but the user's
    // choice made meanwhile stays.
    const QString other = dir_.filePath("other.reg");
    QFile::link("other.reg", other);
    WindowDouble v(other);
    v.show();
    EXPECT_EQ(v.reported->size(), 1);
    v.radio->setItemIndex(4);
    QFile::remove(other);
    QFile::copy(file(), other);
    v.show();
    EXPECT_EQ(v.radio->itemIndex(), 4);
}

TEST_F(FormStorageTest, EntriesAreLinkedByNameAndPropertiesMatchedWithoutLetterCase) {
    WindowDouble w(file());
    w.FormStorage1->setStoredProps(
        {" RadioGroup1 . itemindex ", "NoDot", ".Items", "Ghost.Items", "ListBox1.NoSuchProperty"});
    EXPECT_EQ(w.FormStorage1->StoredProps(),
              (QStringList{"RadioGroup1.itemindex", "ListBox1.NoSuchProperty"}));
    w.radio->setObjectName("RadioGroup9");
    EXPECT_EQ(w.FormStorage1->StoredProps().first(), "RadioGroup9.itemindex");
    w.radio->setObjectName("RadioGroup1");
    w.show();
    w.radio->setItemIndex(3);
    EXPECT_TRUE(w.close());
    EXPECT_EQ(w.FormStorage1->formPath(), "MainForm\\");
    EXPECT_EQ(stored().document.values(kMain).size(), 2);  // FormVersion, RadioGroup1_ItemIndex
    EXPECT_EQ(stored().document.value(kMain, "RadioGroup1_ItemIndex")->toInteger(0), 3);
    EXPECT_FALSE(stored().document.keyExists(kList));
}

TEST_F(FormStorageTest, DamagedFilesAreToldOnceAndTheirValuesNeverCrashTheRun) {
    // A list too long to be read is kept whole beside the file before the save replaces it.
    prepare({kListKey, "\"Count\"=dword:40000000", "\"Item0\"=\"a\""});
    const QByteArray unread = readAll(file());
    QStringList reported = run();
    ASSERT_EQ(reported.size(), 2);
    EXPECT_TRUE(reported.first().contains("1073741824"));
    const QStringList copies = QDir(dir_.filePath("QEV")).entryList({"settings.reg.*.bad"});
    ASSERT_EQ(copies.size(), 1);
    EXPECT_EQ(readAll(dir_.filePath("QEV/" + copies.first())), unread);
    EXPECT_TRUE(reported.last().contains(copies.first())) << reported.last().toStdString();
    EXPECT_EQ(storedList(), defaultZones());
    QFile::remove(dir_.filePath("QEV/" + copies.first()));

    QDir().mkpath(dir_.filePath("QEV"));
    writeAll(file(), QByteArray("\0\0\xff garbage", 11));
    reported = run();
    ASSERT_EQ(reported.size(), 1);
    EXPECT_TRUE(reported.first().contains(".bad")) << reported.first().toStdString();
    EXPECT_EQ(storedList(), defaultZones());
}

}  // namespace
}  // namespace qev
