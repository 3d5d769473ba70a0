// The lock is a file beside the settings that the holder keeps open for writing, shared for
// reading only, and that holds its process number. Windows itself asks a window to close at the
// end of a session (Qt's session manager and close event receive it); a second start finds the
// first one's window by its process and brings it to the front, as the program the user has just
// started may.

#include "app/window_instance.h"

#include <QDir>
#include <QFileInfo>

#include <windows.h>

namespace qev {

WindowLock::WindowLock() {
    const QString file = path();
    QDir().mkpath(QFileInfo(file).absolutePath());
    const std::wstring name = QDir::toNativeSeparators(file).toStdWString();
    HANDLE h = ::CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        if (::GetLastError() != ERROR_SHARING_VIOLATION) {
            held_ = true;  // no lock can be had here: a window is better than none
            return;
        }
        HANDLE r = ::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (r != INVALID_HANDLE_VALUE) {
            char text[32] = {};
            DWORD n = 0;
            if (::ReadFile(r, text, sizeof text - 1, &n, nullptr))
                holder_ = QByteArray(text, int(n)).trimmed().toLongLong();
            ::CloseHandle(r);
        }
        return;
    }
    const QByteArray pid = QByteArray::number(qint64(::GetCurrentProcessId())) + "\r\n";
    DWORD written = 0;
    ::SetEndOfFile(h);
    ::WriteFile(h, pid.constData(), DWORD(pid.size()), &written, nullptr);
    ::FlushFileBuffers(h);
    handle_ = reinterpret_cast<qintptr>(h);
    held_ = true;
}

WindowLock::~WindowLock() {
    if (handle_ != -1)
        ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

namespace {

struct Search {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK findWindow(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != search->pid || !::IsWindowVisible(hwnd) || ::GetWindow(hwnd, GW_OWNER))
        return TRUE;
    search->found = hwnd;
    return FALSE;
}

}  // namespace

bool askWindowToFront(qint64 pid) {
    Search search{DWORD(pid), nullptr};
    ::EnumWindows(&findWindow, reinterpret_cast<LPARAM>(&search));
    if (!search.found)
        return false;
    if (::IsIconic(search.found))
        ::ShowWindow(search.found, SW_RESTORE);
    ::SetForegroundWindow(search.found);
    return true;
}

void installWindowSignals() {}

struct WindowSignalWatcher::Private {};

WindowSignalWatcher::WindowSignalWatcher(QObject* parent)
    : QObject(parent), d_(std::make_unique<Private>()) {}

WindowSignalWatcher::~WindowSignalWatcher() = default;

}  // namespace qev
