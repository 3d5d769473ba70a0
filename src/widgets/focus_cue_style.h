#pragma once
// The application's style with one addition: a default button that has the keyboard focus shows
// the focus frame. Styles such as Fusion draw a default button as they draw a focused one, so the
// focus could not be seen on a dialog's OK.

#include <QProxyStyle>

namespace qev {

class FocusCueStyle : public QProxyStyle {
    Q_OBJECT
public:
    // Wraps a new instance of the named style (the application's own, normally).
    explicit FocusCueStyle(const QString& baseStyle);

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
};

}  // namespace qev
