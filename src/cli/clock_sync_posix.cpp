// The kernel keeps the clock's synchronisation state (ntp_adjtime), which whatever time service
// runs (systemd-timesyncd, chrony, ntpd) sets.

#include "cli/clock_sync.h"

#ifdef __linux__
#include <sys/timex.h>
#endif

namespace qev {

ClockSync systemClockSync() {
#ifdef __linux__
    timex tx{};  // no mode bits: only reads the kernel's state
    const int state = ::ntp_adjtime(&tx);
    if (state == -1)
        return ClockSync::Unknown;
    return (state == TIME_ERROR || (tx.status & STA_UNSYNC)) ? ClockSync::Unsynced
                                                             : ClockSync::Synced;
#else
    return ClockSync::Unknown;
#endif
}

QString clockSyncUnknownReason() {
    return QStringLiteral("the kernel does not say");
}

}  // namespace qev
