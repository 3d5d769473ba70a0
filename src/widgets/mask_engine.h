#pragma once
// The state of a masked field without any widget: edit text, the one-character cursor or a
// selection, the modified flag and the text Escape returns to. The widget feeds it keys and
// shows what it holds.

#include "widgets/parsed_mask.h"

#include <QString>

namespace qev {

class MaskEngine {
public:
    enum class Typed { Accepted, Jumped, Refused };

    // Sets the mask and re-shapes the given field text (the old mask's Text) into it.
    void setMask(const QString& mask, QChar timeSeparator, QChar dateSeparator,
                 const QString& currentText);
    const ParsedMask& mask() const { return mask_; }
    int size() const { return mask_.size(); }

    const QString& editText() const { return edit_; }
    // Exact shown text; literals keep their places. Gives whether anything changed.
    bool setEditText(const QString& text);
    QString text() const { return mask_.textFromEdit(edit_); }
    // The program's assignment: no check, Modified cleared, the result taken as the old value.
    void setText(const QString& text);
    // Overwrites characters from pos on without touching Modified (the program's correction).
    void overwrite(int pos, const QString& chars);

    // Selection [selStart, selEnd); the cursor is a selection of one data character.
    int selStart() const { return selStart_; }
    int selEnd() const { return selEnd_; }
    void setCursor(int pos);  // moves on to the next data position, or to the end
    void setSelection(int anchor, int active);
    void selectAll();
    QString selectedText() const;

    // Typing at the cursor; writtenAt gets the position written when accepted.
    Typed type(QChar c, int* writtenAt = nullptr);
    bool deleteSelection();  // Delete
    bool backspace();
    bool paste(const QString& text);
    void moveLeft(bool extend);
    void moveRight(bool extend);
    void home(bool extend);
    void end(bool extend);

    bool modified() const { return modified_; }
    void setModified(bool modified) { modified_ = modified; }
    const QString& oldValue() const { return oldValue_; }
    void takeOldValue() { oldValue_ = edit_; }
    bool reset();  // Escape: back to the old value when modified

    int firstUnfilled() const { return mask_.firstUnfilled(edit_); }

private:
    bool blankRange(int from, int to);
    void extendTo(int active);

    ParsedMask mask_;
    QString edit_;
    QString oldValue_;
    int selStart_ = 0;
    int selEnd_ = 0;
    int anchor_ = 0;  // the fixed end of a Shift selection
    int active_ = 0;
    bool extending_ = false;
    bool modified_ = false;
};

}  // namespace qev
