#pragma once
// Reading a settings file: the text form the registry editor exports and imports, in UTF-8 or
// UTF-16, into a RegDocument, with every line that cannot be read told apart.

#include "settings/reg_document.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace qev {

struct RegParseIssue {
    int line = 0;  // 1-based physical line, 0 for the whole file
    QString reason;
};

struct RegParseResult {
    RegDocument document;
    // False when the file is not a settings file at all (no header, too large); the document is
    // empty then. Otherwise every line that could be read is in the document.
    bool readable = true;
    QString problem;
    // Lines that were skipped; the values of all other lines are kept.
    QList<RegParseIssue> issues;
};

// Larger files are not ours: a whole registry export, or garbage.
inline constexpr qint64 kMaxSettingsFileBytes = 8 * 1024 * 1024;

// Reads UTF-8 (with or without a byte-order mark) and UTF-16 with a byte-order mark.
RegParseResult parseRegFile(const QByteArray& bytes);

}  // namespace qev
