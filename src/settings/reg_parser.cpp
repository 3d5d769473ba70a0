#include "settings/reg_parser.h"

#include <QStringDecoder>

namespace qev {

namespace {

bool replaceLoneSurrogates(QString& text) {
    bool replaced = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            ++i;
        } else if (c.isSurrogate()) {
            text[i] = QChar::ReplacementCharacter;
            replaced = true;
        }
    }
    return replaced;
}

QString decode(const QByteArray& bytes, RegParseResult& result) {
    QStringConverter::Encoding encoding = QStringConverter::Utf8;
    qsizetype skip = 0;
    if (bytes.startsWith("\xFF\xFE")) {
        encoding = QStringConverter::Utf16LE;
        skip = 2;
    } else if (bytes.startsWith("\xFE\xFF")) {
        encoding = QStringConverter::Utf16BE;
        skip = 2;
    } else if (bytes.startsWith("\xEF\xBB\xBF")) {
        skip = 3;
    }
    QStringDecoder decoder(encoding);
    QString text = decoder.decode(QByteArrayView(bytes).sliced(skip));
    // The UTF-16 decoder passes lone surrogates through. Written out as UTF-8 they would all
    // become U+FFFD, so two names differing only there would merge on the next read.
    const bool loneSurrogates = replaceLoneSurrogates(text);
    if (decoder.hasError() || loneSurrogates) {
        result.issues.append({0, QStringLiteral("the file holds bytes that are not valid text")});
    }
    return text;
}

QList<QStringView> splitLines(QStringView text) {
    QList<QStringView> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r' || c == u'\n') {
            lines.append(text.sliced(start, i - start));
            if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') {
                ++i;
            }
            start = i + 1;
        }
    }
    if (start < text.size()) {
        lines.append(text.sliced(start));
    }
    return lines;
}

// Reads a quoted text starting at the opening quote; pos ends after the closing quote. Only a
// doubled backslash and a backslash-quote are escapes; any other backslash is kept as it stands, as
// a hand-typed path would be.
bool readQuoted(QStringView s, qsizetype& pos, QString& out) {
    ++pos;
    while (pos < s.size()) {
        const QChar c = s.at(pos);
        if (c == u'"') {
            ++pos;
            return true;
        }
        if (c == u'\\' && pos + 1 < s.size() && (s.at(pos + 1) == u'\\' || s.at(pos + 1) == u'"')) {
            out.append(s.at(pos + 1));
            pos += 2;
            continue;
        }
        out.append(c);
        ++pos;
    }
    return false;
}

void skipBlanks(QStringView s, qsizetype& pos) {
    while (pos < s.size() && (s.at(pos) == u' ' || s.at(pos) == u'\t')) {
        ++pos;
    }
}

bool onlyBlanks(QStringView s, qsizetype pos) {
    skipBlanks(s, pos);
    return pos == s.size();
}

bool readHexNumber(QStringView s, quint32& out) {
    if (s.isEmpty() || s.size() > 8) {
        return false;
    }
    bool ok = false;
    out = s.toUInt(&ok, 16);
    // toUInt accepts a sign and a 0x prefix; the file form is bare digits.
    for (const QChar c : s) {
        if (!c.isDigit() && !(c >= u'a' && c <= u'f') && !(c >= u'A' && c <= u'F')) {
            return false;
        }
    }
    return ok;
}

bool readHexBytes(QStringView s, QByteArray& out) {
    if (s.trimmed().isEmpty()) {
        return true;
    }
    const auto parts = s.split(u',');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QStringView part = parts.at(i).trimmed();
        if (part.isEmpty() && i + 1 == parts.size()) {
            break;  // a trailing comma, as before a line continuation
        }
        quint32 byte = 0;
        if (part.size() > 2 || !readHexNumber(part, byte)) {
            return false;
        }
        out.append(static_cast<char>(byte));
    }
    return true;
}

// The data after "=": a quoted string, dword:, hex:, hex(n): or "-" (delete the value).
enum class DataKind { Value, Delete, Bad };

DataKind readData(QStringView s, RegValue& value) {
    qsizetype pos = 0;
    if (s.startsWith(u'"')) {
        QString text;
        if (!readQuoted(s, pos, text) || !onlyBlanks(s, pos)) {
            return DataKind::Bad;
        }
        value = RegValue::fromString(text);
        return DataKind::Value;
    }
    const QStringView trimmed = s.trimmed();
    if (trimmed == u"-") {
        return DataKind::Delete;
    }
    if (trimmed.startsWith(u"dword:", Qt::CaseInsensitive)) {
        quint32 number = 0;
        if (!readHexNumber(trimmed.sliced(6), number)) {
            return DataKind::Bad;
        }
        value = RegValue::fromInteger(static_cast<qint32>(number));
        return DataKind::Value;
    }
    if (trimmed.startsWith(u"hex", Qt::CaseInsensitive)) {
        quint32 type = RegBinary;
        qsizetype colon = 3;
        if (trimmed.size() > 3 && trimmed.at(3) == u'(') {
            const qsizetype close = trimmed.indexOf(u')', 4);
            if (close < 0 || !readHexNumber(trimmed.sliced(4, close - 4), type)) {
                return DataKind::Bad;
            }
            colon = close + 1;
        }
        if (colon >= trimmed.size() || trimmed.at(colon) != u':') {
            return DataKind::Bad;
        }
        QByteArray bytes;
        if (!readHexBytes(trimmed.sliced(colon + 1), bytes)) {
            return DataKind::Bad;
        }
        value = {type, bytes};
        return DataKind::Value;
    }
    return DataKind::Bad;
}

class Parser {
public:
    explicit Parser(RegParseResult& result) : result_(result) {}

    void run(const QList<QStringView>& lines) {
        qsizetype i = 0;
        while (i < lines.size() && lines.at(i).trimmed().isEmpty()) {
            ++i;
        }
        if (i == lines.size()) {
            return;  // an empty file holds no settings, which is no fault
        }
        const QStringView header = lines.at(i).trimmed();
        if (header != kRegFileHeader && header != kRegFileOldHeader) {
            result_.readable = false;
            result_.problem = QStringLiteral("it does not begin with \"%1\"").arg(kRegFileHeader);
            return;
        }
        for (++i; i < lines.size(); ++i) {
            const int lineNumber = static_cast<int>(i) + 1;
            QStringView line = lines.at(i).trimmed();
            if (line.isEmpty() || line.startsWith(u';')) {
                continue;
            }
            if (line.contains(QChar(u'\0'))) {
                issue(lineNumber, QStringLiteral("it holds a NUL character"));
                continue;
            }
            if (line.startsWith(u'[')) {
                keyLine(lineNumber, line);
                continue;
            }
            // Hex data may go on over several lines, each but the last ending in a backslash.
            QString joined;
            if (isHexValue(line)) {
                joined = line.toString();
                while (joined.endsWith(u'\\') && i + 1 < lines.size()) {
                    joined.chop(1);
                    joined += lines.at(++i).trimmed();
                }
                if (joined.endsWith(u'\\')) {
                    joined.chop(1);
                }
                line = joined;
            }
            valueLine(lineNumber, line);
        }
    }

private:
    void issue(int line, QString reason) { result_.issues.append({line, std::move(reason)}); }

    static bool nameEnd(QStringView line, qsizetype& pos, QString& name) {
        pos = 0;
        if (line.startsWith(u'@')) {
            pos = 1;
        } else if (!line.startsWith(u'"') || !readQuoted(line, pos, name)) {
            return false;
        }
        skipBlanks(line, pos);
        if (pos >= line.size() || line.at(pos) != u'=') {
            return false;
        }
        ++pos;
        skipBlanks(line, pos);
        return true;
    }

    static bool isHexValue(QStringView line) {
        qsizetype pos = 0;
        QString name;
        return nameEnd(line, pos, name) && line.sliced(pos).startsWith(u"hex", Qt::CaseInsensitive);
    }

    void keyLine(int lineNumber, QStringView line) {
        if (!line.endsWith(u']')) {
            issue(lineNumber, QStringLiteral("the key name has no closing \"]\""));
            haveKey_ = false;
            return;
        }
        QStringView path = line.sliced(1, line.size() - 2);
        const bool remove = path.startsWith(u'-');
        if (remove) {
            path = path.sliced(1);
        }
        while (path.endsWith(u'\\')) {
            path.chop(1);
        }
        if (path.trimmed().isEmpty()) {
            issue(lineNumber, QStringLiteral("the key name is empty"));
            haveKey_ = false;
            return;
        }
        if (remove) {
            result_.document.removeKeyTree(path.toString());
            haveKey_ = false;
            return;
        }
        key_ = path.toString();
        haveKey_ = true;
        result_.document.addKey(key_);
    }

    void valueLine(int lineNumber, QStringView line) {
        qsizetype pos = 0;
        QString name;
        if (!nameEnd(line, pos, name)) {
            issue(lineNumber, QStringLiteral("it is neither a key nor a value"));
            return;
        }
        if (!haveKey_) {
            issue(lineNumber, QStringLiteral("the value stands under no key"));
            return;
        }
        RegValue value;
        switch (readData(line.sliced(pos), value)) {
            case DataKind::Value:
                result_.document.setValue(key_, name, std::move(value));
                break;
            case DataKind::Delete:
                result_.document.removeValue(key_, name);
                break;
            case DataKind::Bad:
                issue(lineNumber, QStringLiteral("the value's data cannot be read"));
                break;
        }
    }

    RegParseResult& result_;
    QString key_;
    bool haveKey_ = false;
};

}  // namespace

RegParseResult parseRegFile(const QByteArray& bytes) {
    RegParseResult result;
    if (bytes.size() > kMaxSettingsFileBytes) {
        result.readable = false;
        result.problem = QStringLiteral("it is larger than %1 bytes").arg(kMaxSettingsFileBytes);
        return result;
    }
    const QString text = decode(bytes, result);
    Parser(result).run(splitLines(text));
    if (!result.readable) {
        result.document = {};
        result.issues.clear();
    }
    return result;
}

}  // namespace qev
