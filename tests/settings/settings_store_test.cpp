// The store's operations on a real file: path mapping, the reading rules for every value kind,
// list writing, the error texts, and a damaged file never overwritten.

#include "test_support.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cerrno>
#include <csignal>

#include <QDir>

namespace qev {
namespace {

using test::kListKey;
using test::kMainKey;
using test::readAll;
using test::regFile;
using test::writeAll;

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureApplication<QCoreApplication>();
        ASSERT_TRUE(dir_.isValid());
    }

    QString file() const { return dir_.filePath("settings.reg"); }
    TSettingsStore& store() {
        if (!store_) {
            auto backend = std::make_unique<RegFileBackend>(file());
            backend->setLockTimeout(200);
            store_ = std::make_unique<TSettingsStore>(std::move(backend));
        }
        return *store_;
    }
    QStringList notices() {
        QStringList texts;
        for (const std::exception_ptr& e : store().takeNotices()) {
            try {
                std::rethrow_exception(e);
            } catch (const EStoreNotice& notice) {
                texts.append(notice.message());
            }
        }
        return texts;
    }
    QStringList asideFiles() const {
        return QDir(dir_.path()).entryList({"*.bad"}, QDir::Files, QDir::Name);
    }

    QTemporaryDir dir_;
    std::unique_ptr<TSettingsStore> store_;
};

TEST(SettingsStorePaths, ConcatPathsAndSplitting) {
    EXPECT_EQ(TSettingsStore::ConcatPaths({"MainForm\\", "RadioGroup1_ItemIndex"}),
              "MainForm\\RadioGroup1_ItemIndex");
    EXPECT_EQ(TSettingsStore::ConcatPaths({"\\\\a\\\\b\\", "", "c\\\\"}), "a\\b\\c");
    EXPECT_EQ(TSettingsStore::ConcatPaths({"a", "b", "\\c", "d"}), "c\\d");
    EXPECT_EQ(TSettingsStore::ConcatPaths({}), "");

    TSettingsStore store(std::make_unique<RegFileBackend>("/nonexistent/settings.reg"));
    const auto kn = store.splitPath("MainForm\\RadioGroup1_ItemIndex");
    EXPECT_EQ(kn.key, "Software\\QEV\\MainForm");
    EXPECT_EQ(kn.name, "RadioGroup1_ItemIndex");
    EXPECT_EQ(store.splitPath("FormVersion").key, "Software\\QEV");
}

TEST_F(SettingsStoreTest, IntegersAreReadFromEveryKindThatHoldsOne) {
    writeAll(file(), regFile({
                         kMainKey,
                         "\"Dword\"=dword:fffffff9",
                         "\"Qword\"=hex(b):05,00,00,00,01,00,00,00",
                         "\"ShortBinary\"=hex:34,12",
                         "\"LongBinary\"=hex:01,00,00,00,00,00,00,00,00",
                         "\"Text\"=\"5\"",
                         "\"Spaced\"=\"  -7\"",
                         "\"Hex\"=\"$1F\"",
                         "\"Wide\"=\"4294967295\"",
                         "\"Overflow\"=\"99999999999999999999\"",
                         "\"Trailing\"=\"5 \"",
                         "\"Word\"=\"x\"",
                         "\"Expand\"=hex(2):31,00,32,00,00,00",
                         "\"Multi\"=hex(7):35,00,00,00,00,00",
                     }));
    const auto read = [&](const char* name) {
        return store().ReadInteger(QStringLiteral("MainForm\\") + name, 42);
    };
    EXPECT_EQ(read("Dword"), -7);
    EXPECT_EQ(read("Qword"), 5);  // the low 32 bits
    EXPECT_EQ(read("ShortBinary"), 0x1234);
    EXPECT_EQ(read("LongBinary"), 42);
    EXPECT_EQ(read("Text"), 5);
    EXPECT_EQ(read("Spaced"), -7);
    EXPECT_EQ(read("Hex"), 31);
    EXPECT_EQ(read("Wide"), -1);
    EXPECT_EQ(read("Overflow"), 42);
    EXPECT_EQ(read("Trailing"), 42);
    EXPECT_EQ(read("Word"), 42);
    EXPECT_EQ(read("Expand"), 12);
    EXPECT_EQ(read("Multi"), 42);
    EXPECT_EQ(read("Missing"), 42);
    EXPECT_TRUE(notices().isEmpty());
}

TEST_F(SettingsStoreTest, StringsAreReadFromTextAndBinaryKindsOnly) {
    writeAll(file(), regFile({
                         kMainKey,
                         "\"Text\"=\"zone\"",
                         "\"Expand\"=hex(2):25,00,50,00,25,00,00,00",
                         "\"Binary\"=hex:61,00,62,00",
                         "\"Dword\"=dword:00000005",
                         "\"Multi\"=hex(7):61,00,00,00,00,00",
                     }));
    const auto read = [&](const char* name) {
        return store().ReadString(QStringLiteral("MainForm\\") + name, "default");
    };
    EXPECT_EQ(read("Text"), "zone");
    EXPECT_EQ(read("Expand"), "%P%");  // not expanded
    EXPECT_EQ(read("Binary"), "a");    // the final character goes, as a terminator would
    EXPECT_EQ(read("Dword"), "default");
    EXPECT_EQ(read("Multi"), "default");
    EXPECT_EQ(read("Missing"), "default");
}

TEST_F(SettingsStoreTest, ExistenceChecksFollowKeysAndValues) {
    writeAll(file(),
             regFile({kMainKey, "\"ListBox1_Items\"=\"a\"", kListKey, "\"Count\"=hex(7):00,00"}));
    EXPECT_TRUE(store().ValueStored("MainForm\\listbox1_items"));
    EXPECT_TRUE(store().IsFolder("MainForm\\ListBox1_Items"));
    EXPECT_TRUE(store().IsFolder("MainForm"));
    EXPECT_TRUE(store().IsFolder(""));  // Software\QEV, the parent of what is stored
    EXPECT_FALSE(store().IsFolder("MainForm\\RadioGroup1_ItemIndex"));
    EXPECT_TRUE(store().ListStored("MainForm\\ListBox1_Items"));
    EXPECT_FALSE(store().ListStored("MainForm"));
    EXPECT_FALSE(store().ValueStored("MainForm\\Nothing"));
}

TEST_F(SettingsStoreTest, ListsGrowAndShrinkWithCountWrittenLast) {
    const QString path = "MainForm\\ListBox1_Items";
    QStringList twenty;
    for (int i = 0; i < 20; ++i) {
        twenty.append(QStringLiteral("line %1").arg(i));
    }
    store().WriteStringList(path, twenty);
    store().WriteStringList(path, twenty.mid(0, 16));

    const RegParseResult r = parseRegFile(readAll(file()));
    const auto values = r.document.values("HKEY_CURRENT_USER\\Software\\QEV\\" + path);
    QStringList names;
    for (const auto& [name, value] : values) {
        names.append(name);
    }
    QStringList expected;
    for (int i = 0; i < 16; ++i) {
        expected.append(QStringLiteral("Item%1").arg(i));
    }
    expected.append("Count");
    EXPECT_EQ(names, expected);

    QStringList back{"kept"};
    ASSERT_TRUE(store().ReadStringList(path, back, false));
    EXPECT_EQ(back, QStringList{"kept"} + twenty.mid(0, 16));
    ASSERT_TRUE(store().ReadStringList(path, back, true));
    EXPECT_EQ(back, twenty.mid(0, 16));
}

TEST_F(SettingsStoreTest, ACountBeyondAnyRealListIsNotReadAndTheUserToldOnce) {
    writeAll(file(), regFile({kListKey, "\"Count\"=dword:7fffffff", "\"Item0\"=\"a\""}));
    QStringList list{"default"};
    EXPECT_FALSE(store().ReadStringList("MainForm\\ListBox1_Items", list, true));
    EXPECT_FALSE(store().ReadStringList("MainForm\\ListBox1_Items", list, true));
    EXPECT_EQ(list, QStringList{"default"});
    const QStringList told = notices();
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told.first().contains("2147483647")) << told.first().toStdString();
    EXPECT_TRUE(told.first().contains(file())) << told.first().toStdString();

    // The largest real list is still read.
    writeAll(file(), regFile({kListKey, "\"Count\"=dword:00002710"}));
    EXPECT_TRUE(store().ReadStringList("MainForm\\ListBox1_Items", list, true));
    EXPECT_EQ(list.size(), TSettingsStore::kMaxListCount);
}

TEST_F(SettingsStoreTest, WriteFailuresCarryTheRegistryTextsWithTheFilePath) {
    // Root cannot be kept out of a folder by permissions, so make the lock file impossible.
    writeAll(file(), regFile({kMainKey, "\"A\"=dword:00000001"}));
    ASSERT_TRUE(QDir(dir_.path()).mkdir("settings.reg.lock"));

    const auto message = [&](auto&& operation) {
        try {
            operation();
        } catch (const EStoreError& e) {
            return e.message() + " | " + e.detail();
        }
        return QStringLiteral("no error");
    };
    // The registry's words, then in plain words the file and the reason.
    const QString lockReason = " | QEV could not save its settings in \"" + file() +
                               "\": the lock file beside it is not a regular file";
    EXPECT_EQ(
        message([&] { store().WriteInteger("MainForm\\A", 2); }),
        "Unable to open key \"" + file() + "\\Software\\QEV\\MainForm\" for write" + lockReason);
    EXPECT_EQ(message([&] { store().WriteString("Other\\B", "x"); }),
              "Unable to create key '" + file() + "\\Software\\QEV\\Other'" + lockReason);
    EXPECT_EQ(message([&] { store().DeleteValue("MainForm\\A"); }),
              "Unable to open key \"" + file() +
                  "\\Software\\QEV\\MainForm\" and access value \"A\"" + lockReason);
    QDir(dir_.path()).rmdir("settings.reg.lock");

    // The system's own reason when the file cannot be written: a size limit fails the write as
    // a full disk does, for root too. The file stays whole.
    const QByteArray before = readAll(file());
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit small{256, limit.rlim_max};  // room for the lock file only
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const QString full = message([&] { store().WriteString("MainForm\\B", QString(1000, 'x')); });
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(full,
              "Unable to open key \"" + file() +
                  "\\Software\\QEV\\MainForm\" for write | QEV could not save its settings in "
                  "\"" +
                  file() + "\": " + qt_error_string(EFBIG));
    EXPECT_EQ(readAll(file()), before);
    EXPECT_EQ(store().ReadInteger("MainForm\\A", 0), 1);  // nothing was changed
}

TEST_F(SettingsStoreTest, AFileThatCannotBeOpenedGivesTheReadText) {
    // A link to itself: root, too, can open nothing there.
    ASSERT_TRUE(QFile::link("settings.reg", file()));
    try {
        store().ReadInteger("MainForm\\FormVersion", 0);
        FAIL() << "no error";
    } catch (const EStoreError& e) {
        EXPECT_EQ(e.message(), "Unable to open key \"" + file() +
                                   "\\Software\\QEV\\MainForm\\FormVersion\" for read");
    }
}

TEST_F(SettingsStoreTest, AnUnreadableFileIsKeptAsideAndTheProgramStartsFromDefaults) {
    const QByteArray garbage("\x89PNG not settings at all\r\n\"FormVersion\"=dword:5\r\n");
    writeAll(file(), garbage);
    EXPECT_EQ(store().ReadInteger("MainForm\\FormVersion", 0), 0);
    EXPECT_EQ(store().ReadInteger("MainForm\\FormVersion", 0), 0);
    const QStringList aside = asideFiles();
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(readAll(dir_.filePath(aside.first())), garbage);
    const QStringList told = notices();
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told.first().contains(aside.first())) << told.first().toStdString();
    EXPECT_TRUE(notices().isEmpty());

    store().WriteInteger("MainForm\\FormVersion", 0);
    EXPECT_TRUE(parseRegFile(readAll(file())).issues.isEmpty());
    EXPECT_EQ(readAll(dir_.filePath(aside.first())), garbage);
}

TEST_F(SettingsStoreTest, MalformedLinesAreKeptInACopyBeforeTheFirstRewrite) {
    const QByteArray original = regFile({kMainKey, "\"A\"=\"unterminated", "\"B\"=dword:00000002",
                                         "\"Multi\"=hex(7):61,00,00,00,00,00"});
    writeAll(file(), original);
    EXPECT_EQ(store().ReadInteger("MainForm\\B", 0), 2);
    EXPECT_TRUE(asideFiles().isEmpty());  // reading alone changes nothing

    store().WriteInteger("MainForm\\C", 3);
    store().WriteInteger("MainForm\\C", 4);
    const QStringList aside = asideFiles();
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(readAll(dir_.filePath(aside.first())), original);
    const QStringList told = notices();
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told.first().contains("line 4")) << told.first().toStdString();
    EXPECT_TRUE(told.first().contains(aside.first())) << told.first().toStdString();

    const RegParseResult now = parseRegFile(readAll(file()));
    EXPECT_TRUE(now.issues.isEmpty());
    const QString key = "HKEY_CURRENT_USER\\Software\\QEV\\MainForm";
    EXPECT_EQ(now.document.value(key, "B")->toInteger(0), 2);
    EXPECT_EQ(now.document.value(key, "C")->toInteger(0), 4);
    EXPECT_EQ(now.document.value(key, "Multi")->type, RegMultiSz);  // other kinds pass through
}

TEST_F(SettingsStoreTest, ABatchReplacesTheFileOnceAndKeepsTheWritesBeforeAnError) {
    store().WriteInteger("MainForm\\Kept", 1);
    TSettingsStore other(std::make_unique<RegFileBackend>(file()));
    EXPECT_THROW(store().batch([&] {
        store().WriteInteger("MainForm\\A", 1);
        store().WriteStringList("MainForm\\L", {"x", "y"});
        EXPECT_EQ(store().ReadInteger("MainForm\\A", 0), 1);  // the batch reads its own writes
        EXPECT_TRUE(store().ListStored("MainForm\\L"));
        EXPECT_FALSE(other.ValueStored("MainForm\\A"));  // the file is not touched yet
        // Another copy writes meanwhile; the batch is applied over its value, not instead.
        other.WriteInteger("MainForm\\Other", 2);
        throw EStoreError("stop");
    }),
                 EStoreError);
    EXPECT_EQ(other.ReadInteger("MainForm\\A", 0), 1);
    EXPECT_EQ(other.ReadInteger("MainForm\\Other", 0), 2);
    EXPECT_EQ(other.ReadInteger("MainForm\\Kept", 0), 1);
    QStringList list;
    other.ReadStringList("MainForm\\L", list, true);
    EXPECT_EQ(list, (QStringList{"x", "y"}));
}

TEST_F(SettingsStoreTest, ReadsSeeWhatAnotherCopyWroteMeanwhile) {
    store().WriteInteger("MainForm\\A", 1);
    EXPECT_EQ(store().ReadInteger("MainForm\\A", 0), 1);
    TSettingsStore other(std::make_unique<RegFileBackend>(file()));
    other.WriteInteger("MainForm\\A", 2);
    EXPECT_EQ(store().ReadInteger("MainForm\\A", 0), 2);
}

}  // namespace
}  // namespace qev
