#pragma once
// Whether this computer's clock is kept in step with a time source, as the system tells it.

#include <QString>

namespace qev {

enum class ClockSync { Synced, Unsynced, Unknown };

// What the system says of this computer's clock (Unknown where it cannot tell).
ClockSync systemClockSync();

// Why the state is Unknown on this platform, for the message that refuses to send.
QString clockSyncUnknownReason();

}  // namespace qev
