#include "cli/clock_sync.h"

#ifdef __linux__
#include <sys/timex.h>
#endif
#ifdef _WIN32
#include <windows.h>

#include <cstring>
#endif

namespace qev {

namespace {

#ifdef _WIN32
// A value of the Windows Time service's key, or an empty text when it cannot be read.
QString timeServiceValue(const wchar_t* subKey, const wchar_t* name) {
    HKEY key = nullptr;
    const QString path = QStringLiteral("SYSTEM\\CurrentControlSet\\Services\\W32Time") +
                         QString::fromWCharArray(subKey);
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, reinterpret_cast<LPCWSTR>(path.utf16()), 0,
                        KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return {};
    wchar_t text[64] = {};
    DWORD size = sizeof text - sizeof(wchar_t);  // room for a final zero
    DWORD type = 0;
    DWORD number = 0;
    QString value;
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) ==
        ERROR_SUCCESS) {
        if (type == REG_SZ)
            value = QString::fromWCharArray(text);
        else if (type == REG_DWORD && size == sizeof number) {
            std::memcpy(&number, text, sizeof number);
            value = QString::number(number);
        }
    }
    ::RegCloseKey(key);
    return value;
}
#endif

}  // namespace

ClockSync systemClockSync() {
#if defined(__linux__)
    timex tx{};  // no mode bits: only reads the kernel's state
    const int state = ::ntp_adjtime(&tx);
    if (state == -1)
        return ClockSync::Unknown;
    return (state == TIME_ERROR || (tx.status & STA_UNSYNC)) ? ClockSync::Unsynced
                                                             : ClockSync::Synced;
#elif defined(_WIN32)
    // The Windows Time service switched off, or told not to synchronise: nothing keeps the
    // clock in step.
    if (timeServiceValue(L"", L"Start") == QStringLiteral("4") ||
        timeServiceValue(L"\\Parameters", L"Type")
                .compare(QStringLiteral("NoSync"), Qt::CaseInsensitive) == 0)
        return ClockSync::Unsynced;
    // A time service that follows its source steers the clock's rate all the time; one that
    // only sets it now and then leaves no trace of when it last did.
    DWORD adjustment = 0;
    DWORD increment = 0;
    BOOL disabled = TRUE;
    if (::GetSystemTimeAdjustment(&adjustment, &increment, &disabled) && !disabled)
        return ClockSync::Synced;
    return ClockSync::Unknown;
#else
    return ClockSync::Unknown;
#endif
}

QString clockSyncUnknownReason() {
#if defined(__linux__)
    return QStringLiteral("the kernel does not say");
#elif defined(_WIN32)
    return QStringLiteral("no time service is steering it");
#else
    return QStringLiteral("this system does not say");
#endif
}

}  // namespace qev
