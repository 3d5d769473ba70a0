#include "widgets/focus_cue_style.h"

#include <QStyleFactory>
#include <QStyleOptionButton>

namespace qev {

FocusCueStyle::FocusCueStyle(const QString& baseStyle)
    : QProxyStyle(QStyleFactory::create(baseStyle)) {}

void FocusCueStyle::drawControl(ControlElement element, const QStyleOption* option,
                                QPainter* painter, const QWidget* widget) const {
    QProxyStyle::drawControl(element, option, painter, widget);
    const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
    const State keyboardFocus = State_HasFocus | State_KeyboardFocusChange;
    if (element != CE_PushButton || !button ||
        !(button->features & QStyleOptionButton::DefaultButton) ||
        (option->state & keyboardFocus) != keyboardFocus)
        return;
    QStyleOptionFocusRect frame;
    frame.QStyleOption::operator=(*option);
    frame.rect = subElementRect(SE_PushButtonFocusRect, option, widget);
    drawPrimitive(PE_FrameFocusRect, &frame, painter, widget);
}

}  // namespace qev
