#pragma once
// What the main window keeps in the settings store, in one place: its name there, the controls
// and properties it keeps, and how they read back without the window (the commands read them).

#include <QLatin1StringView>
#include <QMap>
#include <QStringList>

#include <optional>

namespace qev {

class TSettingsStore;

// The window's object name, which is also its folder in the store ("MainForm\").
inline constexpr QLatin1StringView kMainFormName{"MainForm"};
// The controls whose names make the stored value names ("RadioGroup1_ItemIndex").
inline constexpr QLatin1StringView kPortChoiceName{"RadioGroup1"};
inline constexpr QLatin1StringView kZoneListName{"ListBox1"};
// "Com 1" to "Com 8": the port choices of the window.
inline constexpr int kPortChoices = 8;

// The window's stored-property entries, in the order they are saved.
QStringList mainFormStoredProps();

// The stored port choice, -1..7 as the window restores it; nothing when none is stored or the
// window would restore nothing. Raises the store's errors.
std::optional<int> storedPortIndex(TSettingsStore& store);
// The stored zone lines, or the default lines when none are stored. Raises the store's errors,
// and an EStoreError when the stored list cannot be used: sending the defaults in its place
// would undo the user's configuration on the device.
QStringList storedZoneLines(TSettingsStore& store);

// The time zones that zones follow, kept beside the zone list and never inside its lines, so a
// list stored before zones could follow anything reads as it did: "MainForm\ListBox1_TimeZones"
// holds "Item3" = "Europe/London" for zone 03. Each choice is a value of its own, written alone,
// so the window and a command that change different zones never undo each other.
inline constexpr QLatin1StringView kZoneFollowName{"ListBox1_TimeZones"};
// Zone number to IANA id; empty when the window would restore nothing. Raises the store's errors.
QMap<int, QString> storedZoneFollows(TSettingsStore& store);
// Zone k follows id from now on; an empty id ends the following.
void storeZoneFollow(TSettingsStore& store, int k, const QString& id);

}  // namespace qev
