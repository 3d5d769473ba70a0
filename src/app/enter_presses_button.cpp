#include "app/enter_presses_button.h"

#include <QKeyEvent>
#include <QPushButton>

namespace qev {

bool EnterPressesButton::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (!enter || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    auto* button = qobject_cast<QPushButton*>(watched);
    if (!button || button->autoDefault() || !button->isEnabled())
        return false;
    // Held down, Enter presses once: a repeated send is never what was meant.
    if (!key->isAutoRepeat())
        button->click();
    return true;
}

}  // namespace qev
