#include "settings/main_form_settings.h"

#include "base/exception.h"
#include "protocol/zone_line.h"
#include "settings/form_storage.h"
#include "settings/settings_errors.h"
#include "settings/settings_store.h"

#include <algorithm>

namespace qev {

namespace {

QString valuePath(QLatin1StringView control, QLatin1StringView property) {
    return TSettingsStore::ConcatPaths({kMainFormName, control + u'_' + property});
}

// The window restores nothing from a store of a version it does not know.
bool restorable(TSettingsStore& store) {
    const QString path = TSettingsStore::ConcatPaths({kMainFormName, TFormStorage::kVersionName});
    return TFormStorage::restoresVersion(store.ReadInteger(path, 0));
}

QString followPath(int k) {
    return TSettingsStore::ConcatPaths(
        {kMainFormName, kZoneFollowName, QStringLiteral("Item%1").arg(k)});
}

}  // namespace

QStringList mainFormStoredProps() {
    return {kPortChoiceName + QStringLiteral(".ItemIndex"),
            kZoneListName + QStringLiteral(".Items")};
}

std::optional<int> storedPortIndex(TSettingsStore& store) {
    if (!restorable(store))
        return std::nullopt;
    const QString path = valuePath(kPortChoiceName, QLatin1StringView("ItemIndex"));
    if (!store.ValueStored(path))
        return std::nullopt;
    return std::clamp(int(store.ReadInteger(path, 0)), -1, kPortChoices - 1);
}

QStringList storedZoneLines(TSettingsStore& store) {
    QStringList lines = defaultZoneLines();
    if (!restorable(store))
        return lines;
    const QString path = valuePath(kZoneListName, QLatin1StringView("Items"));
    if (!store.ValueStored(path) && !store.IsFolder(path))
        return lines;
    const bool read = store.ReadStringList(path, lines, true);
    for (const std::exception_ptr& notice : store.takeNotices()) {
        try {
            std::rethrow_exception(notice);
        } catch (const Exception& e) {
            throw EStoreError(e.message());
        }
    }
    if (!read)
        throw EStoreError(QStringLiteral("The stored zone list cannot be read"));
    return lines;
}

QMap<int, QString> storedZoneFollows(TSettingsStore& store) {
    QMap<int, QString> follows;
    if (!restorable(store))
        return follows;
    for (int k = 0; k < kZoneCount; ++k) {
        const QString path = followPath(k);
        if (!store.ValueStored(path))
            continue;
        const QString id = store.ReadString(path, QString()).trimmed();
        if (!id.isEmpty())
            follows.insert(k, id);
    }
    return follows;
}

void storeZoneFollow(TSettingsStore& store, int k, const QString& id) {
    if (id.isEmpty())
        store.DeleteValue(followPath(k));
    else
        store.WriteString(followPath(k), id);
}

}  // namespace qev
