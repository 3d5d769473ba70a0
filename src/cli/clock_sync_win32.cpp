// The Windows Time service's own settings, and whether the system is steering the clock's rate.

#include "cli/clock_sync.h"

#include <windows.h>

#include <cstring>

namespace qev {

namespace {

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

}  // namespace

ClockSync systemClockSync() {
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
}

QString clockSyncUnknownReason() {
    return QStringLiteral("no time service is steering it");
}

}  // namespace qev
