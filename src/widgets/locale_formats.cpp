#include "widgets/locale_formats.h"

namespace qev {

namespace {

// The first character of a format that is neither a field letter, a space nor a quote.
QChar firstSeparator(const QString& format, QChar fallback) {
    for (const QChar c : format) {
        if (!c.isLetter() && c != u' ' && c != u'\'') {
            return c;
        }
    }
    return fallback;
}

std::optional<LocaleFormats>& injected() {
    static std::optional<LocaleFormats> formats;
    return formats;
}

}  // namespace

LocaleFormats LocaleFormats::fromLocale(const QLocale& locale) {
    LocaleFormats f;
    f.shortDateFormat = locale.dateFormat(QLocale::ShortFormat);
    f.longDateFormat = locale.dateFormat(QLocale::LongFormat);
    f.dateSeparator = firstSeparator(f.shortDateFormat, u'/');
    f.timeSeparator = firstSeparator(locale.timeFormat(QLocale::ShortFormat), u':');
    return f;
}

const LocaleFormats& systemFormats() {
    if (injected()) {
        return *injected();
    }
    static const LocaleFormats system = LocaleFormats::fromLocale(QLocale::system());
    return system;
}

void setSystemFormats(std::optional<LocaleFormats> formats) {
    injected() = std::move(formats);
}

}  // namespace qev
