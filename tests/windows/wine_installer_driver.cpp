// The Linux side of the installer tests. It installs qev-<version>-setup.exe silently into a
// fresh Wine prefix, checks what the install left (the files, the Start-menu shortcut, the
// Apps & features entry, and with the option the scheduled task and its definition), uninstalls
// silently and checks that nothing but the user's settings remains.
//   wine_installer_driver WINE_RUN PREFIX SCENARIO SETUP STAGE VERSION PUBLISHER
// Scenarios: plain (/S into the default folder, no task), sync (/S /SYNC=1 into a folder whose
// name needs escaping in the task's XML, then installs over it that keep and drop the task).
// Wine registers a task from its XML but keeps neither its triggers nor its action, so the
// definition checked is the one the installer registered, which it keeps beside the program.

#include "wine_host.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace winehost;
namespace fs = std::filesystem;

const std::string kSettingsKey = "HKCU\\Software\\QEV\\MainForm";
const std::string kUninstallKey =
    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QEV";
const std::string kSeededSetting = "RadioGroup1_ItemIndex REG_DWORD 0x2";

struct Setup {
    Wine wine;
    std::string setup;  // as Windows sees it
    fs::path stage;
    std::string version;
    std::string publisher;
    std::string user;    // USERNAME
    std::string userId;  // USERDOMAIN\USERNAME
    std::string defaultDir;
    std::string shortcut;  // QEV.lnk in the user's Start menu
};

std::optional<std::string> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string windowsPath(const fs::path& path) {
    std::string p = "Z:" + path.string();
    std::replace(p.begin(), p.end(), '/', '\\');
    return p;
}

// C:\users\x is drive_c/users/x of the prefix.
fs::path unixPath(const Setup& s, const std::string& path) {
    std::string rest = path.substr(2);
    std::replace(rest.begin(), rest.end(), '\\', '/');
    const char drive = char(std::tolower(static_cast<unsigned char>(path[0])));
    return fs::path(s.wine.prefix) / (std::string("drive_") + drive) / rest.substr(1);
}

std::string environment(const Wine& wine, const std::string& name) {
    std::string out = run(wine.command({"cmd", "/c", "echo", "%" + name + "%"}), 120, true).out;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out == "%" + name + "%" ? std::string() : out;  // cmd leaves an unset one as it is
}

// UTF-16LE with a byte order mark, as Task Scheduler reads it; ASCII is all it may hold here.
std::optional<std::string> fromUtf16(const std::string& bytes) {
    if (bytes.size() % 2 || bytes.rfind("\xff\xfe", 0) != 0)
        return std::nullopt;
    std::string text;
    for (size_t i = 2; i < bytes.size(); i += 2) {
        if (bytes[i + 1] != 0 || static_cast<unsigned char>(bytes[i]) > 0x7f)
            return std::nullopt;
        text += bytes[i];
    }
    return text;
}

std::string xmlEscaped(std::string text) {
    for (size_t i = 0; (i = text.find('&', i)) != std::string::npos; i += 5)
        text.replace(i, 1, "&amp;");
    return text;
}

fs::path taskStore(const Setup& s) {
    return fs::path(s.wine.prefix) / "drive_c/windows/system32/tasks" /
           ("QEV Keep the clock on time (" + s.user + ")");
}

Result install(const Setup& s, std::vector<std::string> options) {
    options.insert(options.begin(), s.setup);
    const Result r = run(s.wine.command(options), 180, true);
    s.wine.waitForServer();
    return r;
}

// The definition kept beside the program: the triggers, the account and the action.
void checkTaskDefinition(const Setup& s, const std::string& dir) {
    const auto bytes = readFile(unixPath(s, dir + "\\qev-sync.xml"));
    const auto text = bytes ? fromUtf16(*bytes) : std::nullopt;
    check(text.has_value(), "the task definition is kept as UTF-16 with a byte order mark");
    if (!text)
        return;
    const std::string user = "<UserId>" + xmlEscaped(s.userId) + "</UserId>";
    const std::string expected[] = {
        "<?xml version=\"1.0\" encoding=\"UTF-16\"?>",
        "<Interval>PT30M</Interval>",
        "<StartBoundary>2026-01-01T00:00:00Z</StartBoundary>",
        "<StopAtDurationEnd>false</StopAtDurationEnd>",
        "<LogonTrigger>\r\n      <Enabled>true</Enabled>\r\n      " + user,
        "<Principal id=\"Author\">\r\n      " + user,
        "<LogonType>InteractiveToken</LogonType>",
        "<RunLevel>LeastPrivilege</RunLevel>",
        "<Command>\"" + xmlEscaped(dir) + "\\qev.exe\"</Command>",
        "<Arguments>send-zones --if-changed</Arguments>",
        "<Arguments>sync --require-synced</Arguments>",
    };
    for (const std::string& part : expected)
        check(text->find(part) != std::string::npos, "the task definition has " + part);
}

void checkInstalled(const Setup& s, const std::string& dir, bool task) {
    const fs::path installed = unixPath(s, dir);
    std::vector<std::string> wanted{"uninstall.exe"};
    if (task)
        wanted.push_back("qev-sync.xml");
    for (const auto& entry : fs::directory_iterator(s.stage)) {
        const std::string name = entry.path().filename().string();
        wanted.push_back(name);
        check(readFile(installed / name) == readFile(entry.path()), name + " installed as built");
    }
    std::vector<std::string> found;
    if (fs::is_directory(installed)) {
        for (const auto& entry : fs::directory_iterator(installed))
            found.push_back(entry.path().filename().string());
    }
    std::sort(wanted.begin(), wanted.end());
    std::sort(found.begin(), found.end());
    check(found == wanted, "nothing more nor less is installed in " + dir);

    const auto link = readFile(unixPath(s, s.shortcut));
    const std::string target = dir + "\\qev.exe";
    std::string wideTarget;
    for (char c : target)
        wideTarget += std::string{c, '\0'};
    check(link && (link->find(target) != std::string::npos ||
                   link->find(wideTarget) != std::string::npos),
          "the Start-menu shortcut starts " + target);

    const auto entry = s.wine.registryLines(kUninstallKey);
    const std::string expected[] = {
        "DisplayName REG_SZ QEV",
        "DisplayVersion REG_SZ " + s.version,
        "Publisher REG_SZ " + s.publisher,
        "DisplayIcon REG_SZ " + dir + "\\qev.exe,0",
        "InstallLocation REG_SZ " + dir,
        "UninstallString REG_SZ \"" + dir + "\\uninstall.exe\"",
        "QuietUninstallString REG_SZ \"" + dir + "\\uninstall.exe\" /S",
    };
    for (const std::string& line : expected)
        check(contains(entry, line), "Apps & features shows " + line);

    check(fs::exists(taskStore(s)) == task,
          task ? "the task is registered" : "no task is registered");
    check(fs::exists(installed / "qev-sync.xml") == task,
          task ? "the task definition is kept" : "no task definition is kept");
    if (task)
        checkTaskDefinition(s, dir);
}

void uninstallAndCheck(const Setup& s, const std::string& dir) {
    const Result r = run(s.wine.command({dir + "\\uninstall.exe", "/S"}), 180, true);
    s.wine.waitForServer();
    check(exitedWith(r, 0), "the silent uninstall succeeds");
    check(!fs::exists(unixPath(s, dir)), dir + " is gone");
    check(!fs::exists(unixPath(s, s.shortcut)), "the shortcut is gone");
    check(exitedWith(run(s.wine.command({"reg", "query", kUninstallKey}), 120, true), 1),
          "the Apps & features entry is gone");
    check(!fs::exists(taskStore(s)), "no task is left");
    check(contains(s.wine.registryLines(kSettingsKey), kSeededSetting), "the user's settings stay");
}

void plainScenario(const Setup& s) {
    const Result bad = install(s, {"/S", "/SYNC=yes"});
    check(exitedWith(bad, 2), "an unknown /SYNC= value is refused");
    check(!fs::exists(unixPath(s, s.defaultDir)), "and nothing is installed");

    check(exitedWith(install(s, {"/S"}), 0), "the silent install succeeds");
    checkInstalled(s, s.defaultDir, false);

    // A program that cannot be replaced (on Windows: while it runs) fails the install over it.
    const std::string program = unixPath(s, s.defaultDir + "\\qev.exe").string();
    if (exitedWith(run({"chattr", "+i", program}, 30, true), 0)) {
        check(exitedWith(install(s, {"/S"}), 2), "an install that cannot replace qev.exe fails");
        run({"chattr", "-i", program}, 30, true);
    } else {
        std::printf("skipped: this file system cannot make qev.exe unchangeable\n");
    }
    uninstallAndCheck(s, s.defaultDir);
}

void syncScenario(const Setup& s) {
    const std::string dir = "C:\\Tools\\Q&A";  // /D= takes no quotes, so no blank
    check(exitedWith(install(s, {"/S", "/SYNC=1", "/D=" + dir}), 0),
          "the install with the task succeeds");
    checkInstalled(s, dir, true);

    check(exitedWith(install(s, {"/S"}), 0), "an install over it succeeds");
    checkInstalled(s, dir, true);  // the same folder, and the task kept

    check(exitedWith(install(s, {"/S", "/SYNC=0"}), 0), "an install over it with /SYNC=0 succeeds");
    checkInstalled(s, dir, false);

    check(exitedWith(install(s, {"/S", "/SYNC=1"}), 0), "an install over it with /SYNC=1 succeeds");
    checkInstalled(s, dir, true);
    uninstallAndCheck(s, dir);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 8) {
        std::fprintf(stderr,
                     "usage: wine_installer_driver WINE_RUN PREFIX SCENARIO SETUP STAGE "
                     "VERSION PUBLISHER\n");
        return 2;
    }
    Setup s;
    s.wine = {argv[1], argv[2]};
    s.setup = windowsPath(fs::absolute(argv[4]));
    s.stage = argv[5];
    s.version = argv[6];
    s.publisher = argv[7];
    const std::string scenario = argv[3];
    if (!fs::exists(argv[4])) {
        std::fprintf(stderr, "%s is missing: scripts/setup-windows.sh makes it\n", argv[4]);
        return 1;
    }
    ::setenv("WINEPREFIX", s.wine.prefix.c_str(), 1);
    ::setenv("WINEDEBUG", "-all", 1);
    // A fresh prefix, as a new user's; the runner makes it on the first command.
    fs::remove_all(s.wine.prefix);
    const Result seeded =
        run(s.wine.command({"reg", "add", kSettingsKey, "/v", "RadioGroup1_ItemIndex", "/t",
                            "REG_DWORD", "/d", "2", "/f"}),
            300, true);
    if (!exitedWith(seeded, 0)) {
        std::fprintf(stderr, "could not make the prefix %s\n", s.wine.prefix.c_str());
        return 1;
    }
    s.user = environment(s.wine, "USERNAME");
    const std::string domain = environment(s.wine, "USERDOMAIN");
    s.userId = domain.empty() ? s.user : domain + "\\" + s.user;
    s.defaultDir = environment(s.wine, "LOCALAPPDATA") + "\\Programs\\QEV";
    s.shortcut =
        environment(s.wine, "APPDATA") + "\\Microsoft\\Windows\\Start Menu\\Programs\\QEV.lnk";

    if (scenario == "plain") {
        plainScenario(s);
    } else if (scenario == "sync") {
        syncScenario(s);
    } else {
        std::fprintf(stderr, "unknown scenario %s\n", scenario.c_str());
        return 2;
    }
    s.wine.stopServer();
    if (failures)
        return 1;
    fs::remove_all(s.wine.prefix);  // 700 MB; one that failed is kept to be looked into
    return 0;
}
