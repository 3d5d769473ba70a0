#pragma once
// The settings file in memory: keys holding named values, with the registry's rules that names
// compare without regard to letter case and that a key exists when it or any key below it does.
// Writing follows the text form the registry editor exports and imports (reg_parser.h reads it).

#include "settings/reg_value.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <map>
#include <utility>
#include <vector>

namespace qev {

// The first line of a settings file, and the older one the registry editor also reads.
inline constexpr QLatin1StringView kRegFileHeader("Windows Registry Editor Version 5.00");
inline constexpr QLatin1StringView kRegFileOldHeader("REGEDIT4");

class RegDocument {
public:
    // True when the key is present itself or as the parent of a present key.
    bool keyExists(const QString& key) const;
    void addKey(const QString& key);
    // Removes the key and everything below it.
    void removeKeyTree(const QString& key);

    const RegValue* value(const QString& key, const QString& name) const;
    // Adds the key when missing; a value of the same name is replaced in place.
    void setValue(const QString& key, const QString& name, RegValue value);
    bool removeValue(const QString& key, const QString& name);

    // Keys in file order (sorted, parents before children), with their own spelling.
    QStringList keys() const;
    QList<std::pair<QString, RegValue>> values(const QString& key) const;

    // UTF-8 text with the version header, CR LF line ends and wrapped hex lines.
    QByteArray serialize() const;

private:
    struct Entry {
        QString name;
        RegValue value;
        bool removed = false;
    };
    struct Key {
        QString path;
        // Insertion order is the order a person reads; removal leaves a tombstone so that
        // deleting stays cheap on a file full of deletions.
        std::vector<Entry> entries;
        QHash<QString, std::size_t> index;
    };

    const Key* findKey(const QString& key) const;
    Key& ensureKey(const QString& key);

    std::map<QString, Key> keys_;  // by case-folded path
};

}  // namespace qev
