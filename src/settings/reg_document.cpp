#include "settings/reg_document.h"

namespace qev {

namespace {

QString fold(const QString& name) {
    return name.toCaseFolded();
}

}  // namespace

const RegDocument::Key* RegDocument::findKey(const QString& key) const {
    const auto it = keys_.find(fold(key));
    return it == keys_.end() ? nullptr : &it->second;
}

RegDocument::Key& RegDocument::ensureKey(const QString& key) {
    auto [it, inserted] = keys_.try_emplace(fold(key));
    if (inserted) {
        it->second.path = key;
    }
    return it->second;
}

bool RegDocument::keyExists(const QString& key) const {
    const QString folded = fold(key);
    if (keys_.count(folded) != 0) {
        return true;
    }
    const QString prefix = folded + u'\\';
    const auto it = keys_.lower_bound(prefix);
    return it != keys_.end() && it->first.startsWith(prefix);
}

void RegDocument::addKey(const QString& key) {
    ensureKey(key);
}

void RegDocument::removeKeyTree(const QString& key) {
    const QString folded = fold(key);
    keys_.erase(folded);
    const QString prefix = folded + u'\\';
    auto it = keys_.lower_bound(prefix);
    while (it != keys_.end() && it->first.startsWith(prefix)) {
        it = keys_.erase(it);
    }
}

const RegValue* RegDocument::value(const QString& key, const QString& name) const {
    const Key* k = findKey(key);
    if (k == nullptr) {
        return nullptr;
    }
    const auto it = k->index.constFind(fold(name));
    return it == k->index.constEnd() ? nullptr : &k->entries[*it].value;
}

void RegDocument::setValue(const QString& key, const QString& name, RegValue value) {
    Key& k = ensureKey(key);
    const QString folded = fold(name);
    const auto it = k.index.constFind(folded);
    if (it != k.index.constEnd()) {
        k.entries[*it].value = std::move(value);
        return;
    }
    k.index.insert(folded, k.entries.size());
    k.entries.push_back({name, std::move(value)});
}

bool RegDocument::removeValue(const QString& key, const QString& name) {
    const auto kit = keys_.find(fold(key));
    if (kit == keys_.end()) {
        return false;
    }
    Key& k = kit->second;
    const auto it = k.index.find(fold(name));
    if (it == k.index.end()) {
        return false;
    }
    Entry& e = k.entries[*it];
    e.removed = true;
    e.value = {};
    k.index.erase(it);
    return true;
}

QStringList RegDocument::keys() const {
    QStringList out;
    for (const auto& [folded, k] : keys_) {
        out.append(k.path);
    }
    return out;
}

QList<std::pair<QString, RegValue>> RegDocument::values(const QString& key) const {
    QList<std::pair<QString, RegValue>> out;
    if (const Key* k = findKey(key)) {
        for (const Entry& e : k->entries) {
            if (!e.removed) {
                out.append({e.name, e.value});
            }
        }
    }
    return out;
}

namespace {

QString quoted(const QString& text) {
    QString out;
    out.reserve(text.size() + 2);
    out.append(u'"');
    for (const QChar c : text) {
        if (c == u'\\' || c == u'"') {
            out.append(u'\\');
        }
        out.append(c);
    }
    out.append(u'"');
    return out;
}

// A string is written as quoted text only when reading it back gives the same bytes: one
// terminating zero, no other zero, no line break, and well-formed UTF-16.
bool writableAsText(const RegValue& v, QString& text) {
    if (v.type != RegSz || v.data.size() < 2 || v.data.size() % 2 != 0) {
        return false;
    }
    text = v.toText(QString());
    if (v.data.at(v.data.size() - 1) != 0 || v.data.at(v.data.size() - 2) != 0) {
        return false;
    }
    for (const QChar c : text) {
        if (c == u'\0' || c == u'\r' || c == u'\n') {
            return false;
        }
    }
    return QStringView(text).isValidUtf16();
}

void appendHex(QString& line, QString& out, const RegValue& v) {
    line += v.type == RegBinary ? QStringLiteral("hex:")
                                : QStringLiteral("hex(%1):").arg(v.type, 0, 16);
    // The registry editor wraps hex data before column 80, ending each line with ",\".
    for (qsizetype i = 0; i < v.data.size(); ++i) {
        QString byte =
            QStringLiteral("%1").arg(static_cast<quint8>(v.data.at(i)), 2, 16, QChar(u'0'));
        const bool last = i + 1 == v.data.size();
        if (!last) {
            byte += u',';
        }
        if (line.size() + byte.size() > 77 && !last) {
            out += line + QStringLiteral("\\\r\n");
            line = QStringLiteral("  ");
        }
        line += byte;
    }
}

}  // namespace

QByteArray RegDocument::serialize() const {
    QString out = kRegFileHeader + QStringLiteral("\r\n\r\n");
    for (const auto& [folded, k] : keys_) {
        out += u'[' + k.path + QStringLiteral("]\r\n");
        for (const Entry& e : k.entries) {
            if (e.removed) {
                continue;
            }
            QString line = e.name.isEmpty() ? QStringLiteral("@=") : quoted(e.name) + u'=';
            QString text;
            if (e.value.type == RegDword && e.value.data.size() == 4) {
                line += QStringLiteral("dword:%1")
                            .arg(static_cast<quint32>(e.value.toInteger(0)), 8, 16, QChar(u'0'));
            } else if (writableAsText(e.value, text)) {
                line += quoted(text);
            } else {
                appendHex(line, out, e.value);
            }
            out += line + QStringLiteral("\r\n");
        }
        out += QStringLiteral("\r\n");
    }
    return out.toUtf8();
}

}  // namespace qev
