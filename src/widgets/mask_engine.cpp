#include "widgets/mask_engine.h"

#include <algorithm>

namespace qev {

void MaskEngine::setMask(const QString& mask, QChar timeSeparator, QChar dateSeparator,
                         const QString& currentText) {
    mask_ = ParsedMask(mask, timeSeparator, dateSeparator);
    edit_ = mask_.editFromText(currentText);
    oldValue_ = edit_;
    setCursor(std::min(selStart_, size()));
}

bool MaskEngine::setEditText(const QString& text) {
    QString shaped = mask_.emptyEditText();
    for (int i = 0; i < size() && i < text.size(); ++i) {
        if (mask_.at(i).isData()) {
            shaped[i] = text[i];
        }
    }
    if (shaped == edit_) {
        return false;
    }
    edit_ = shaped;
    oldValue_ = edit_;
    return true;
}

void MaskEngine::setText(const QString& text) {
    edit_ = mask_.editFromText(text);
    modified_ = false;
    oldValue_ = edit_;
}

void MaskEngine::overwrite(int pos, const QString& chars) {
    for (int i = 0; i < chars.size(); ++i) {
        if (mask_.isData(pos + i)) {
            edit_[pos + i] = chars[i];
        }
    }
}

void MaskEngine::setCursor(int pos) {
    const int p = mask_.nextData(std::clamp(pos, 0, size()));
    selStart_ = p;
    selEnd_ = p < size() ? p + 1 : p;
    anchor_ = selStart_;
    active_ = selEnd_;
    extending_ = false;
}

void MaskEngine::setSelection(int anchor, int active) {
    anchor = std::clamp(anchor, 0, size());
    active = std::clamp(active, 0, size());
    if (anchor == active) {
        setCursor(anchor);
        return;
    }
    anchor_ = anchor;
    extendTo(active);
}

void MaskEngine::selectAll() {
    setSelection(0, size());
}

void MaskEngine::extendTo(int active) {
    active_ = std::clamp(active, 0, size());
    selStart_ = std::min(anchor_, active_);
    selEnd_ = std::max(anchor_, active_);
    extending_ = true;
}

QString MaskEngine::selectedText() const {
    return edit_.mid(selStart_, selEnd_ - selStart_);
}

bool MaskEngine::blankRange(int from, int to) {
    bool changed = false;
    for (int i = from; i < to && i < size(); ++i) {
        if (mask_.at(i).isData() && edit_[i] != mask_.blank()) {
            edit_[i] = mask_.blank();
            changed = true;
        }
    }
    modified_ = modified_ || changed;
    return changed;
}

MaskEngine::Typed MaskEngine::type(QChar c, int* writtenAt) {
    if (selEnd_ - selStart_ > 1) {
        blankRange(selStart_, selEnd_);
        setCursor(selStart_);
    }
    const int p = mask_.nextData(selStart_);
    if (p >= size()) {
        return Typed::Refused;
    }
    if (mask_.accepts(p, c)) {
        // Typing over a character with the same one is still the user's edit.
        edit_[p] = mask_.converted(p, c);
        modified_ = true;
        setCursor(p + 1);
        if (writtenAt) {
            *writtenAt = p;
        }
        return Typed::Accepted;
    }
    // The next literal typed where it does not fit: go on past it, leaving blanks as they are.
    const int literal = mask_.nextLiteral(p);
    if (literal >= 0 && c == mask_.at(literal).maskChar) {
        setCursor(literal + 1);
        return Typed::Jumped;
    }
    return Typed::Refused;
}

bool MaskEngine::deleteSelection() {
    if (selStart_ >= size()) {
        return false;
    }
    const bool changed = blankRange(selStart_, std::max(selEnd_, selStart_ + 1));
    setCursor(selStart_);
    return changed;
}

bool MaskEngine::backspace() {
    if (selEnd_ - selStart_ > 1) {
        return deleteSelection();
    }
    const int p = mask_.prevData(selStart_);
    if (p < 0) {
        return false;
    }
    const bool changed = blankRange(p, p + 1);
    setCursor(p);
    return changed;
}

bool MaskEngine::paste(const QString& text) {
    const QString before = edit_;
    if (selEnd_ - selStart_ > 1) {
        blankRange(selStart_, selEnd_);
    }
    int p = selStart_;
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control) {
            continue;
        }
        if (p < size() && !mask_.at(p).isData()) {
            if (c == mask_.at(p).maskChar) {
                ++p;
                continue;
            }
            p = mask_.nextData(p);
        }
        if (p >= size()) {
            break;
        }
        if (mask_.accepts(p, c)) {
            edit_[p] = mask_.converted(p, c);
            ++p;
            continue;
        }
        const int literal = mask_.nextLiteral(p);
        if (literal >= 0 && c == mask_.at(literal).maskChar) {
            p = literal + 1;
        } else {
            edit_[p] = mask_.blank();
            ++p;
        }
    }
    setCursor(p);
    const bool changed = edit_ != before;
    modified_ = modified_ || changed;
    return changed;
}

void MaskEngine::moveLeft(bool extend) {
    if (extend) {
        if (!extending_) {
            anchor_ = selEnd_;
            active_ = selStart_;
        }
        extendTo(active_ - 1);
        return;
    }
    const int p = mask_.prevData(selStart_);
    setCursor(p < 0 ? selStart_ : p);
}

void MaskEngine::moveRight(bool extend) {
    if (extend) {
        if (!extending_) {
            anchor_ = selStart_;
            active_ = selEnd_;
        }
        extendTo(active_ + 1);
        return;
    }
    setCursor(selEnd_ - selStart_ > 1 ? selEnd_ : selStart_ + 1);
}

void MaskEngine::home(bool extend) {
    if (extend) {
        if (!extending_) {
            anchor_ = selEnd_;
        }
        extendTo(0);
        return;
    }
    setCursor(0);
}

void MaskEngine::end(bool extend) {
    if (extend) {
        if (!extending_) {
            anchor_ = selStart_;
        }
        extendTo(size());
        return;
    }
    setCursor(size());
}

bool MaskEngine::reset() {
    if (!modified_) {
        return false;
    }
    edit_ = oldValue_;
    modified_ = false;
    setCursor(selStart_);
    return true;
}

}  // namespace qev
