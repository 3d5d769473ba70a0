#pragma once
// The few locale settings the entry fields depend on. They are read once from the system locale;
// tests and callers may put other values in their place.

#include <QChar>
#include <QLocale>
#include <QString>

#include <optional>

namespace qev {

struct LocaleFormats {
    QChar timeSeparator = u':';
    QChar dateSeparator = u'/';
    QString shortDateFormat = QStringLiteral("M/d/yy");  // d, M, y letters as in QDate formats
    QString longDateFormat = QStringLiteral("dddd, MMMM d, yyyy");

    static LocaleFormats fromLocale(const QLocale& locale);
};

// The process-wide formats: the system locale's, read on first use, unless replaced.
const LocaleFormats& systemFormats();

// Replaces the process-wide formats (for fields created afterwards); nullopt goes back to the
// system locale.
void setSystemFormats(std::optional<LocaleFormats> formats);

}  // namespace qev
