// Random key sequences, pastes and assignments against the mask engine. After every step the
// edit text has one character per position, literals stand where the mask put them, the
// selection lies inside the text, and a shaped text reads and assigns back to itself.

#include "widgets/date_format.h"
#include "widgets/mask_engine.h"

#include <cstdint>
#include <cstdlib>

using namespace qev;

namespace {

const char* const kMasks[] = {"!00:00:00;1;_", "!00:00;1;_", "00/00/0099!;1;_", "00:00;0;*",
                              "#9Aa/Cc:\\0",   ">LL<ll<>cc", "!99:99;0;_",      "0;1"};

struct Input {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    bool more() const { return at < size; }
    uint8_t byte() { return at < size ? data[at++] : 0; }
    QString text(size_t max) {
        QString s;
        const size_t n = byte() % (max + 1);
        for (size_t i = 0; i < n && more(); ++i) {
            const uint8_t b = byte();
            // Mostly the characters masks care about, now and then anything.
            static const char kUseful[] = "0123456789:/;_ +-aZ!\\<>";
            s += b < 0xE0 ? QChar(kUseful[b % (sizeof kUseful - 1)]) : QChar(char16_t(b * 37));
        }
        return s;
    }
};

void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

void checkInvariants(const MaskEngine& e) {
    const ParsedMask& m = e.mask();
    const QString& edit = e.editText();
    check(edit.size() == m.size());
    bool plain = !m.blank().isSpace();
    for (int i = 0; i < m.size(); ++i) {
        if (!m.at(i).isData()) {
            check(edit[i] == m.at(i).maskChar);
            // A literal space cannot be told from an unfilled position once read as text.
            plain = plain && m.at(i).maskChar != m.blank() && m.at(i).maskChar != u' ';
        }
    }
    check(0 <= e.selStart() && e.selStart() <= e.selEnd() && e.selEnd() <= m.size());
    const QString text = e.text();
    if (!m.keepsLiterals()) {
        return;
    }
    check(text.size() == m.size());
    // Data characters that could be taken for literals or blanks do not round-trip.
    for (int i = 0; i < m.size() && plain; ++i) {
        if (m.at(i).isData()) {
            for (int j = 0; j < m.size(); ++j) {
                plain = plain && (m.at(j).isData() || m.at(j).maskChar != edit[i]);
            }
            plain = plain && edit[i] != u' ';
        }
    }
    if (plain) {
        check(m.editFromText(text) == edit);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in{data, size};
    const uint8_t pick = in.byte();
    QString mask;
    if (pick & 0x80) {
        mask = in.text(20);
    } else {
        mask = QString::fromLatin1(kMasks[pick % (sizeof kMasks / sizeof *kMasks)]);
    }
    const QChar timeSep = (pick & 0x40) ? u'.' : u':';
    MaskEngine e;
    e.setMask(mask, timeSep, u'/', QString());
    checkInvariants(e);

    while (in.more()) {
        const uint8_t op = in.byte();
        switch (op % 12) {
            case 0:
                e.type(QChar(char16_t(in.byte())));
                break;
            case 1:
                e.type(QChar(u'0' + in.byte() % 10));
                break;
            case 2:
                e.deleteSelection();
                break;
            case 3:
                e.backspace();
                break;
            case 4:
                e.paste(in.text(12));
                break;
            case 5:
                e.setText(in.text(16));
                break;
            case 6:
                e.setCursor(in.byte() % 24 - 2);
                break;
            case 7:
                e.setSelection(in.byte() % 24 - 2, in.byte() % 24 - 2);
                break;
            case 8:
                (op & 0x10) ? e.moveLeft(op & 0x20) : e.moveRight(op & 0x20);
                break;
            case 9:
                (op & 0x10) ? e.home(op & 0x20) : e.end(op & 0x20);
                break;
            case 10:
                e.reset();
                break;
            case 11: {
                // Whatever the field shows must read as a date or not, without harm; a date
                // read writes and reads back to itself.
                const QString t = in.text(14);
                if (const auto d = readDate(t, u'/', QStringLiteral("MM/dd/yyyy"), 2026)) {
                    check(d->isValid());
                    const QString again = formatDate(*d, QStringLiteral("MM/dd/yyyy"), u'/');
                    check(readDate(again, u'/', QStringLiteral("MM/dd/yyyy"), 2026) == d);
                }
                e.setEditText(t);
                break;
            }
        }
        checkInvariants(e);
        if (e.firstUnfilled() >= 0) {
            check(e.mask().at(e.firstUnfilled()).kind == PositionKind::Required);
        }
    }
    return 0;
}
