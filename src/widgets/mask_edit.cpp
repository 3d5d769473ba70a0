#include "widgets/mask_edit.h"

#include "base/error_sink.h"
#include "widgets/beep.h"
#include "widgets/db_edit_error.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QHideEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QScopedValueRollback>

namespace qev {

TCustomMaskEdit::TCustomMaskEdit(QWidget* parent) : QLineEdit(parent), formats_(systemFormats()) {
    setDragEnabled(false);
    // Without a mask the line edit types for itself; its changes still count as changes.
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (!showing_ && !isMasked()) {
            changeCaret_ = cursorPosition();
            Change();
        }
    });
}

void TCustomMaskEdit::setEditMask(const QString& mask) {
    const QString current = maskedText();
    engine_.setMask(mask, formats_.timeSeparator, maskDateSeparator(), current);
    maskState_ = isMasked() ? (maskState_ | msMasked) : (maskState_ & ~msMasked);
    setAttribute(Qt::WA_InputMethodEnabled, !isMasked());
    setAcceptDrops(!isMasked());
    const QString before = QLineEdit::text();
    if (isMasked()) {
        setMaxLength(engine_.size());
        display();
    } else {
        QScopedValueRollback guard(showing_, true);
        setMaxLength(32767);
        QLineEdit::setText(current);
    }
    if (QLineEdit::text() != before) {
        changeCaret_ = engine_.selStart();
        Change();
    }
}

void TCustomMaskEdit::reapplyMask() {
    if (isMasked()) {
        setEditMask(EditMask());
    }
}

void TCustomMaskEdit::setLocaleFormats(const LocaleFormats& formats) {
    formats_ = formats;
    reapplyMask();
}

QString TCustomMaskEdit::maskedText() const {
    return isMasked() ? engine_.text() : QLineEdit::text();
}

void TCustomMaskEdit::setMaskedText(const QString& text) {
    if (!isMasked()) {
        const bool differs = QLineEdit::text() != text;
        {
            QScopedValueRollback guard(showing_, true);
            QLineEdit::setText(text);
            setModified(false);
        }
        if (differs) {
            changeCaret_ = cursorPosition();
            Change();
        }
        return;
    }
    edit([&] { engine_.setText(text); });
}

QString TCustomMaskEdit::EditText() const {
    return isMasked() ? engine_.editText() : QLineEdit::text();
}

void TCustomMaskEdit::setEditText(const QString& text) {
    if (!isMasked()) {
        setMaskedText(text);
        return;
    }
    edit([&] { engine_.setEditText(text); });
}

bool TCustomMaskEdit::Modified() const {
    return isMasked() ? engine_.modified() : isModified();
}

bool TCustomMaskEdit::Validate(const QString& editText, int* failedPos) const {
    const int pos = isMasked() ? engine_.mask().firstUnfilled(editText) : -1;
    if (failedPos) {
        *failedPos = pos;
    }
    return pos < 0;
}

void TCustomMaskEdit::ValidateEdit() {
    if (!isMasked() || !engine_.modified()) {
        return;
    }
    const int pos = engine_.firstUnfilled();
    if (pos < 0) {
        return;
    }
    takeFocusBack();
    engine_.setCursor(pos);
    display();
    beep();
    throw EDBEditError();
}

void TCustomMaskEdit::takeFocusBack() {
    // A field whose window has just closed (Enter pressed its default button) has no focus to
    // take back; marking it would spoil the next entry when the window opens again.
    if (!hasFocus() && isVisible()) {
        maskState_ |= msReEnter;
        setFocus(Qt::OtherFocusReason);
    }
}

void TCustomMaskEdit::Reset() {
    if (isMasked()) {
        edit([&] { engine_.reset(); });
    }
}

void TCustomMaskEdit::Change() {
    emit changed();
}

void TCustomMaskEdit::DoExit() {
    ValidateEdit();
    emit exited();
}

void TCustomMaskEdit::overwriteEditText(int pos, const QString& chars) {
    engine_.overwrite(pos, chars);
    display();
}

void TCustomMaskEdit::placeCursor(int pos) {
    engine_.setCursor(pos);
    display();
}

void TCustomMaskEdit::display() {
    QScopedValueRollback guard(showing_, true);
    const QString& t = engine_.editText();
    if (maxLength() < t.size()) {
        setMaxLength(int(t.size()));
    }
    if (QLineEdit::text() != t) {
        QLineEdit::setText(t);
    }
    setModified(engine_.modified());
    const int s = engine_.selStart();
    const int e = engine_.selEnd();
    // The caret stands at the left of the selected character; like the system's edit fields,
    // an unfocused field shows no selection.
    if (e > s && hasFocus()) {
        setSelection(e, s - e);
    } else {
        setCursorPosition(s);
    }
}

template <typename Op>
void TCustomMaskEdit::edit(Op&& op) {
    const QString before = engine_.editText();
    op();
    display();
    if (engine_.editText() != before) {
        changeCaret_ = engine_.selStart();
        Change();
    }
}

void TCustomMaskEdit::typeText(const QString& text) {
    for (const QChar c : text) {
        const QString before = engine_.editText();
        int written = -1;
        const MaskEngine::Typed result = engine_.type(c, &written);
        display();
        if (result == MaskEngine::Typed::Refused) {
            beep();
        }
        // An accepted character is a change even when it repeats the one it replaced, so the
        // date field's correction sees every keystroke.
        if (result == MaskEngine::Typed::Accepted || engine_.editText() != before) {
            // The change is seen with the caret right after the typed character.
            changeCaret_ = written >= 0 ? written + 1 : engine_.selStart();
            Change();
        }
    }
}

void TCustomMaskEdit::pasteClipboard(bool selection) {
    if (isReadOnly()) {
        return;
    }
    const QString text = QGuiApplication::clipboard()->text(selection ? QClipboard::Selection
                                                                      : QClipboard::Clipboard);
    edit([&] { engine_.paste(text); });
}

void TCustomMaskEdit::copySelection(bool cut) {
    const QString text = engine_.selectedText();
    if (text.isEmpty()) {
        return;
    }
    QGuiApplication::clipboard()->setText(text);
    if (cut && !isReadOnly()) {
        edit([&] { engine_.deleteSelection(); });
    }
}

bool TCustomMaskEdit::offerDialogKey(const QKeyEvent* event) {
    QWidget* w = window();
    if (w == this) {
        return false;
    }
    QKeyEvent copy(QEvent::KeyPress, event->key(), event->modifiers(), event->text(),
                   event->isAutoRepeat(), ushort(event->count()));
    copy.setAccepted(false);
    QCoreApplication::sendEvent(w, &copy);
    return copy.isAccepted();
}

void TCustomMaskEdit::keyPressEvent(QKeyEvent* event) {
    if (!isMasked()) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    event->accept();
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const bool shift = mods & Qt::ShiftModifier;

    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        // The field's check first, as a click on the default button makes it when the focus
        // leaves: an incomplete entry keeps its dialog open rather than closing it with a line
        // that cannot be read.
        bool passed = false;
        runGuarded([&] {
            ValidateEdit();
            passed = true;
        });
        if (passed) {
            offerDialogKey(event);
        }
        return;
    }
    if (key == Qt::Key_Escape) {
        QPointer<TCustomMaskEdit> self(this);
        offerDialogKey(event);
        if (self) {
            Reset();
        }
        return;
    }
    if (mods & Qt::AltModifier) {
        event->ignore();
        return;
    }
    if (event->matches(QKeySequence::Copy)) {
        copySelection(false);
        return;
    }
    if (event->matches(QKeySequence::Cut)) {
        copySelection(true);
        return;
    }
    if (event->matches(QKeySequence::Paste)) {
        pasteClipboard(false);
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        engine_.selectAll();
        display();
        return;
    }
    switch (key) {
        case Qt::Key_Left:
            engine_.moveLeft(shift);
            display();
            return;
        case Qt::Key_Right:
            engine_.moveRight(shift);
            display();
            return;
        case Qt::Key_Home:
            engine_.home(shift);
            display();
            return;
        case Qt::Key_End:
            engine_.end(shift);
            display();
            return;
        case Qt::Key_Up:
        case Qt::Key_Down:
            return;
        case Qt::Key_Delete:
            if (!shift && !isReadOnly()) {
                edit([&] { engine_.deleteSelection(); });
            }
            return;
        case Qt::Key_Backspace:
            if (!isReadOnly()) {
                edit([&] { engine_.backspace(); });
            }
            return;
        default:
            break;
    }
    const QString text = event->text();
    if ((mods & (Qt::ControlModifier | Qt::MetaModifier)) || text.isEmpty() ||
        text[0].category() == QChar::Other_Control) {
        event->ignore();
        return;
    }
    if (!isReadOnly()) {
        typeText(text);
    }
}

void TCustomMaskEdit::inputMethodEvent(QInputMethodEvent* event) {
    if (!isMasked()) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    if (!isReadOnly()) {
        typeText(event->commitString());
    }
    event->accept();
}

void TCustomMaskEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    // Coming back from another window or a popup is no entry; a window opening with the focus
    // on the field is one.
    const Qt::FocusReason reason = event->reason();
    const bool entry =
        !entered_ || (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason);
    entered_ = true;
    if (!isMasked()) {
        return;
    }
    if (entry) {
        if (maskState_ & msReEnter) {
            maskState_ &= ~msReEnter;
        } else {
            engine_.takeOldValue();
            if (reason != Qt::MouseFocusReason) {
                engine_.selectAll();
            }
        }
    }
    display();
}

void TCustomMaskEdit::hideEvent(QHideEvent* event) {
    QLineEdit::hideEvent(event);
    // A window put away by the program is entered anew when shown again; a minimised one is not.
    if (!event->spontaneous()) {
        entered_ = false;
    }
}

bool TCustomMaskEdit::leavesWithinWindow(const QFocusEvent* event) const {
    const Qt::FocusReason reason = event->reason();
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) {
        return false;
    }
    const QWidget* next = QApplication::focusWidget();
    return next && next != this && next->window() == window();
}

void TCustomMaskEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    if (isMasked()) {
        display();
    }
    if (leavesWithinWindow(event)) {
        entered_ = false;
        runGuarded([this] { DoExit(); });
    }
}

void TCustomMaskEdit::mousePressEvent(QMouseEvent* event) {
    if (!isMasked()) {
        QLineEdit::mousePressEvent(event);
        return;
    }
    if (event->button() == Qt::MiddleButton) {
        if (QGuiApplication::clipboard()->supportsSelection()) {
            pasteClipboard(true);
        }
        event->accept();
        return;
    }
    QLineEdit::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) {
        engine_.setCursor(cursorPosition());
        display();
    }
}

void TCustomMaskEdit::mouseReleaseEvent(QMouseEvent* event) {
    QLineEdit::mouseReleaseEvent(event);
    if (!isMasked() || event->button() != Qt::LeftButton) {
        return;
    }
    // A drag selects from where it began; the cursor end is where the button came up.
    if (selectionLength() > 1) {
        const int start = selectionStart();
        const int end = start + selectionLength();
        const int caret = cursorPosition();
        engine_.setSelection(caret == start ? end : start, caret);
    } else {
        engine_.setCursor(hasSelectedText() ? selectionStart() : cursorPosition());
    }
    display();
}

void TCustomMaskEdit::contextMenuEvent(QContextMenuEvent* event) {
    if (!isMasked()) {
        QLineEdit::contextMenuEvent(event);
        return;
    }
    QMenu menu(this);
    const bool editable = !isReadOnly();
    const bool selected = !engine_.selectedText().isEmpty();
    menu.addAction(tr("&Undo"), this, [this] { Reset(); })->setEnabled(editable && Modified());
    menu.addSeparator();
    menu.addAction(tr("Cu&t"), this, [this] { copySelection(true); })
        ->setEnabled(editable && selected);
    menu.addAction(tr("&Copy"), this, [this] { copySelection(false); })->setEnabled(selected);
    menu.addAction(tr("&Paste"), this, [this] { pasteClipboard(false); })->setEnabled(editable);
    menu.addAction(tr("Delete"), this, [this] { edit([&] { engine_.deleteSelection(); }); })
        ->setEnabled(editable && selected);
    menu.addSeparator();
    menu.addAction(tr("Select All"), this, [this] {
        engine_.selectAll();
        display();
    });
    menu.exec(event->globalPos());
}

}  // namespace qev
