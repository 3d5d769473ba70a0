#pragma once
// What the main window keeps in the settings store, in one place: its name there, the controls
// and properties it keeps, and how they read back without the window (the commands read them).

#include <QLatin1StringView>
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

}  // namespace qev
