// Settings files that are not what they should be (a pipe, a socket, a link to a pipe or to
// nothing, a lock file that is a pipe, a file over the limit): none is opened, the user is told
// once, the defaults are used, and nothing on disk changes. Every case runs under a watchdog, so a
// regression that waits on the file fails instead of hanging.

#include "hostile_files.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <QDir>

#include <sys/socket.h>
#include <sys/un.h>

#include <functional>

namespace qev {
namespace {

using test::folderRecord;
using test::readAll;
using test::regFile;
using test::Watchdog;
using test::WatchedFifo;
using test::writeAll;

QString notRegularText(const QString& path, const QString& kind) {
    return "The settings file \"" + path + "\" is not a regular file (it is " + kind +
           "). QEV starts from its default settings and will not save over it; remove it, or "
           "put a regular file in its place, to keep your settings";
}

QStringList noticeTexts(TSettingsStore& store) {
    QStringList texts;
    for (const std::exception_ptr& e : store.takeNotices()) {
        try {
            std::rethrow_exception(e);
        } catch (const EStoreNotice& notice) {
            texts.append(notice.message());
        }
    }
    return texts;
}

std::unique_ptr<TSettingsStore> storeFor(const QString& path) {
    auto backend = std::make_unique<RegFileBackend>(path);
    backend->setLockTimeout(200);
    return std::make_unique<TSettingsStore>(std::move(backend));
}

// The reads of a start, a save at close as one batch, and single writes and a delete.
void useAsTheProgramDoes(TSettingsStore& store) {
    EXPECT_EQ(store.ReadInteger("MainForm\\FormVersion", 7), 7);
    EXPECT_FALSE(store.ValueStored("MainForm\\RadioGroup1_ItemIndex"));
    EXPECT_FALSE(store.IsFolder("MainForm\\ListBox1_Items"));
    EXPECT_NO_THROW(store.batch([&] {
        store.WriteInteger("MainForm\\FormVersion", 0);
        store.WriteStringList("MainForm\\ListBox1_Items", {"a", "b"});
    }));
    EXPECT_NO_THROW(store.WriteInteger("MainForm\\RadioGroup1_ItemIndex", 3));
    EXPECT_NO_THROW(store.DeleteValue("MainForm\\RadioGroup1_ItemIndex"));
    EXPECT_EQ(store.ReadInteger("MainForm\\RadioGroup1_ItemIndex", -5), -5);
}

bool makeSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    if (fd < 0 || native.size() >= qsizetype(sizeof address.sun_path))
        return false;
    std::copy(native.begin(), native.end(), address.sun_path);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);  // the socket file stays
    return bound;
}

class RefusedSettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureApplication<QCoreApplication>();
        ASSERT_TRUE(dir_.isValid());
    }

    // Runs the program's use of the store on path in its own folder: returns what it was told,
    // and checks that the folder is exactly as before.
    QStringList toldAbout(const QString& name, const std::function<void(const QString&)>& make) {
        const QString folder = dir_.filePath(name);
        QDir().mkpath(folder);
        const QString path = folder + "/settings.reg";
        make(path);
        const QStringList before = folderRecord(folder);
        const Watchdog watchdog(5000, "the settings on " + name.toStdString());
        const auto store = storeFor(path);
        useAsTheProgramDoes(*store);
        EXPECT_EQ(folderRecord(folder), before) << name.toStdString();
        const QStringList told = noticeTexts(*store);
        EXPECT_TRUE(noticeTexts(*store).isEmpty());
        return told;
    }

    QTemporaryDir dir_;
};

TEST_F(RefusedSettingsFile, EachKindIsNeverOpenedAndToldOnceByPathAndKind) {
    std::unique_ptr<WatchedFifo> pipe;
    EXPECT_EQ(toldAbout("pipe",
                        [&](const QString& path) {
                            pipe = std::make_unique<WatchedFifo>(path);
                            ASSERT_TRUE(pipe->created());
                        }),
              QStringList{notRegularText(dir_.filePath("pipe/settings.reg"), "a named pipe")});
    EXPECT_FALSE(pipe->opened());

    QDir().mkpath(dir_.filePath("elsewhere"));
    const QString other = QFileInfo(dir_.filePath("elsewhere")).canonicalFilePath();
    WatchedFifo linkedPipe(other + "/pipe");
    EXPECT_EQ(
        toldAbout("link-pipe", [&](const QString& path) { QFile::link(other + "/pipe", path); }),
        QStringList{notRegularText(dir_.filePath("link-pipe/settings.reg"),
                                   "a link to the named pipe \"" + other + "/pipe\"")});
    EXPECT_FALSE(linkedPipe.opened());

    EXPECT_EQ(
        toldAbout("socket", [](const QString& path) { ASSERT_TRUE(makeSocket(path)) << errno; }),
        QStringList{notRegularText(dir_.filePath("socket/settings.reg"), "a socket")});
    // A link to nothing: a save would create a file wherever it points.
    EXPECT_EQ(
        toldAbout("dangling", [&](const QString& path) { QFile::link(other + "/gone.reg", path); }),
        QStringList{notRegularText(dir_.filePath("dangling/settings.reg"),
                                   "a link to \"" + other + "/gone.reg\", which does not exist")});
    EXPECT_FALSE(QFile::exists(other + "/gone.reg"));
}

// A link to a device, a folder and a file too large are run with the real window.
TEST_F(RefusedSettingsFile, AFileAtTheSizeLimitIsReadAndOneByteMoreIsNot) {
    const QString path = dir_.filePath("limit.reg");
    QByteArray bytes = regFile({test::kMainKey, "\"FormVersion\"=dword:00000003"});
    bytes.append(QByteArray(kMaxSettingsFileBytes - bytes.size(), ' '));
    writeAll(path, bytes);
    const auto store = storeFor(path);
    EXPECT_EQ(store->ReadInteger("MainForm\\FormVersion", 0), 3);
    writeAll(path, bytes + ' ');
    EXPECT_EQ(store->ReadInteger("MainForm\\FormVersion", 0), 0);
    store->WriteInteger("MainForm\\FormVersion", 0);
    EXPECT_EQ(readAll(path).size(), kMaxSettingsFileBytes + 1);
    const QStringList told = noticeTexts(*store);
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told.first().contains("(8.1 MiB, more than 8 MiB)")) << told.first().toStdString();
}

TEST_F(RefusedSettingsFile, APipePutInPlaceWhileRunningIsNotSavedOver) {
    writeAll(dir_.filePath("settings.reg"), regFile({test::kMainKey, "\"A\"=dword:00000001"}));
    const auto store = storeFor(dir_.filePath("settings.reg"));
    EXPECT_EQ(store->ReadInteger("MainForm\\A", 0), 1);
    ASSERT_TRUE(QFile::remove(dir_.filePath("settings.reg")));
    WatchedFifo pipe(dir_.filePath("settings.reg"));
    ASSERT_TRUE(pipe.created());
    const QStringList before = folderRecord(dir_.path());
    {
        const Watchdog watchdog(5000, "a save over a pipe");
        EXPECT_NO_THROW(store->WriteInteger("MainForm\\A", 2));
        EXPECT_EQ(store->ReadInteger("MainForm\\A", 0), 0);
    }
    EXPECT_EQ(folderRecord(dir_.path()), before);
    EXPECT_TRUE(pipe.intact());
    EXPECT_FALSE(pipe.opened());
    EXPECT_EQ(noticeTexts(*store),
              QStringList{notRegularText(dir_.filePath("settings.reg"), "a named pipe")});
}

TEST_F(RefusedSettingsFile, ALockFileThatIsAPipeFailsTheSaveWithoutWaiting) {
    const QByteArray original = regFile({test::kMainKey, "\"A\"=dword:00000001"});
    writeAll(dir_.filePath("settings.reg"), original);
    WatchedFifo lock(dir_.filePath("settings.reg.lock"));
    ASSERT_TRUE(lock.created());
    const auto store = storeFor(dir_.filePath("settings.reg"));
    {
        const Watchdog watchdog(5000, "a save beside a pipe as lock file");
        try {
            store->WriteInteger("MainForm\\A", 2);
            ADD_FAILURE() << "no error";
        } catch (const EStoreError& e) {
            EXPECT_EQ(e.message(), "Unable to open key \"" + dir_.filePath("settings.reg") +
                                       "\\Software\\QEV\\MainForm\" for write");
            EXPECT_EQ(e.detail(), "QEV could not save its settings in \"" +
                                      dir_.filePath("settings.reg") +
                                      "\": the lock file beside it is not a regular file");
        }
    }
    EXPECT_EQ(noticeTexts(*store),
              QStringList{"QEV cannot save its settings: the lock file \"" +
                          dir_.filePath("settings.reg.lock") +
                          "\" beside the settings file is not a regular file (it is a named "
                          "pipe). Remove it, and QEV saves again"});
    EXPECT_FALSE(lock.opened());
    EXPECT_TRUE(lock.intact());
    EXPECT_EQ(readAll(dir_.filePath("settings.reg")), original);
}

TEST_F(RefusedSettingsFile, ALinkToARegularFileIsFollowedAndSavedThrough) {
    // Kept elsewhere (a synchronised folder) and linked into place: both the read and the save
    // go to that file, and the link stays.
    const QString real = dir_.filePath("synced/qev.reg");
    QDir().mkpath(dir_.filePath("synced"));
    QDir().mkpath(dir_.filePath("config"));
    writeAll(real, regFile({test::kMainKey, "\"A\"=dword:00000001"}));
    const QString link = dir_.filePath("config/settings.reg");
    ASSERT_TRUE(QFile::link(real, link));
    const auto store = storeFor(link);
    EXPECT_EQ(store->ReadInteger("MainForm\\A", 0), 1);
    store->WriteInteger("MainForm\\A", 2);
    EXPECT_EQ(QFile::symLinkTarget(link), real);
    EXPECT_EQ(QDir(dir_.filePath("config"))
                  .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
              QStringList{"settings.reg"});
    EXPECT_EQ(storeFor(real)->ReadInteger("MainForm\\A", 0), 2);
    EXPECT_TRUE(noticeTexts(*store).isEmpty());
}

}  // namespace
}  // namespace qev
