#pragma once
// The masked entry field: a QLineEdit whose keys, clicks, focus changes and clipboard traffic go
// to a MaskEngine, and which shows the engine's text with the cursor as a one-character
// selection. With an empty mask it is an ordinary line edit.

#include "widgets/locale_formats.h"
#include "widgets/mask_engine.h"

#include <QLineEdit>

namespace qev {

class TCustomMaskEdit : public QLineEdit {
    Q_OBJECT

public:
    enum TMaskedState { msMasked = 1, msReEnter = 2, msDBSetText = 4 };

    explicit TCustomMaskEdit(QWidget* parent = nullptr);

    // Keeps the current data characters, re-shaped to the new mask; sets the maximum length.
    void setEditMask(const QString& mask);
    QString EditMask() const { return engine_.mask().source(); }
    bool isMasked() const { return engine_.mask().isSet(); }

    // The field's Text: blanks read as spaces, literals kept unless the save flag is 0.
    QString maskedText() const;
    // Assigns Text: placed into the positions, unchecked; clears Modified, takes the old value.
    void setMaskedText(const QString& text);
    // Exactly what the field shows.
    QString EditText() const;
    void setEditText(const QString& text);

    // Set by the user's typing or deleting, cleared by setMaskedText and by Escape's restore.
    bool Modified() const;

    // The leaving check: with a mask and Modified, a required position left empty takes the
    // focus back, puts the cursor there, beeps and throws EDBEditError.
    void ValidateEdit();
    // Whether every required position of the edit text is filled; else the first one that is not.
    bool Validate(const QString& editText, int* failedPos = nullptr) const;
    void Reset();  // Escape's restore

    // Separators shown for "/" and ":" (tests inject others); re-applies the mask.
    void setLocaleFormats(const LocaleFormats& formats);
    const LocaleFormats& localeFormats() const { return formats_; }
    const MaskEngine& engine() const { return engine_; }
    QString oldValue() const { return engine_.oldValue(); }

signals:
    // After every change of the text, by the user or the program.
    void changed();
    // After the field was left and its checks passed.
    void exited();

protected:
    // Called after every change of the text; the base sends changed().
    virtual void Change();
    // The checks run when the focus goes to another control of the window.
    virtual void DoExit();
    // The separator "/" stands for; the date field shows its own.
    virtual QChar maskDateSeparator() const { return formats_.dateSeparator; }

    // Offers Enter or Escape to the window as a dialog key (default / cancel button).
    bool offerDialogKey(const QKeyEvent* event);
    // Takes the focus back after a failed check (marking the re-entry).
    void takeFocusBack();
    // The caret right after the character that caused the current Change().
    int changeCaret() const { return changeCaret_; }
    // Rewrites characters from pos on, without Change() or Modified.
    void overwriteEditText(int pos, const QString& chars);
    void placeCursor(int pos);
    void reapplyMask();

    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void display();  // puts the engine's text and selection on screen
    // Runs an engine operation; shows the result and, if the text changed, calls Change().
    template <typename Op>
    void edit(Op&& op);
    void typeText(const QString& text);
    void pasteClipboard(bool selection);
    void copySelection(bool cut);
    bool leavesWithinWindow(const QFocusEvent* event) const;

    MaskEngine engine_;
    LocaleFormats formats_;
    int maskState_ = 0;
    int changeCaret_ = 0;
    bool showing_ = false;
    bool entered_ = false;  // entered and not yet left to another control or hidden
};

// The masked field as placed on windows.
class TMaskEdit : public TCustomMaskEdit {
    Q_OBJECT

public:
    using TCustomMaskEdit::TCustomMaskEdit;
};

}  // namespace qev
