#include "widgets/date_picker_edit.h"

#include "base/error_sink.h"
#include "base/exception.h"
#include "protocol/date_time_value.h"
#include "widgets/drop_calendar.h"
#include "widgets/local_clock.h"

#include <QApplication>
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QScreen>
#include <QStyle>
#include <QToolButton>

#include <cmath>

namespace qev {

namespace {

constexpr int kButtonWidth = 16;

bool isModifierKey(int key) {
    switch (key) {
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
        case Qt::Key_Meta:
        case Qt::Key_CapsLock:
        case Qt::Key_NumLock:
            return true;
        default:
            return false;
    }
}

}  // namespace

TDatePickerEdit::TDatePickerEdit(QWidget* parent)
    : TCustomMaskEdit(parent), date_(valueOfDate(localToday())), button_(new QToolButton(this)) {
    button_->setObjectName(QStringLiteral("DropButton"));
    button_->setArrowType(Qt::DownArrow);
    button_->setFocusPolicy(Qt::NoFocus);
    button_->setCursor(Qt::ArrowCursor);
    button_->setAutoRaise(true);
    button_->setAccessibleName(QStringLiteral("Open calendar"));
    setTextMargins(0, 0, kButtonWidth, 0);
    connect(button_, &QToolButton::clicked, this, [this] {
        if (!hasFocus()) {
            setFocus(Qt::MouseFocusReason);
        }
        // Another field of the window that refused to be left keeps the focus.
        const QWidget* f = QApplication::focusWidget();
        if (f && f != this && f->window() == window()) {
            return;
        }
        DropDown();
    });
    setDisplayFormat(QString());
}

TDropCalendar* TDatePickerEdit::popup() const {
    return popup_;
}

TDatePickerEdit::~TDatePickerEdit() {
    destroying_ = true;
}

void TDatePickerEdit::BeginInternalChange() {
    if (internalChange_) {
        throw Exception(QStringLiteral("The date field's internal change is already in progress"));
    }
    internalChange_ = true;
}

void TDatePickerEdit::EndInternalChange() {
    if (!internalChange_) {
        throw Exception(QStringLiteral("The date field ended an internal change it never began"));
    }
    internalChange_ = false;
}

namespace {

// Runs the body between BeginInternalChange and EndInternalChange, also when it throws.
template <typename Body>
void asInternalChange(TDatePickerEdit& field, Body&& body) {
    field.BeginInternalChange();
    try {
        body();
    } catch (...) {
        field.EndInternalChange();
        throw;
    }
    field.EndInternalChange();
}

}  // namespace

void TDatePickerEdit::setDisplayFormat(const QString& format) {
    dateFormat_ = format.isEmpty() ? localeFormats().shortDateFormat : format;
    dateSeparator_ = separatorOfFormat(dateFormat_, localeFormats().dateSeparator);
    rebuildMask();
}

void TDatePickerEdit::setDateSeparator(QChar separator) {
    dateSeparator_ = separator;
    rebuildMask();
}

void TDatePickerEdit::rebuildMask() {
    internalFormat_ = internalDateFormat(dateFormat_, localeFormats());
    mask_ = maskOfDateFormat(internalFormat_);
    asInternalChange(*this, [this] {
        setEditMask(QString());
        setMaskedText(QString());
        setEditMask(mask_);
        emptyMaskText_ = maskedText();
        figures_ = figuresOf(engine().mask(), internalFormat_, dateSeparator_);
    });
    refreshDisplay();
}

void TDatePickerEdit::refreshDisplay() {
    if (internalChange_) {
        return;
    }
    asInternalChange(*this, [this] {
        if (date_ != NoDateValue()) {
            if (EditMask() != mask_) {
                setEditMask(mask_);
            }
            setMaskedText(formatDate(dateOfValue(date_), internalFormat_, dateSeparator_));
        } else {
            if (isMasked()) {
                setEditMask(QString());
            }
            setMaskedText(NoDateText());
        }
    });
}

void TDatePickerEdit::restoreEmptyMask() {
    asInternalChange(*this, [this] {
        setEditMask(mask_);
        placeCursor(0);
    });
}

bool TDatePickerEdit::acceptable(double value) {
    const QDate d = dateOfValue(value);
    if (!d.isValid() || d > QDate(9999, 12, 31) || d < QDate(1752, 9, 14)) {
        return false;
    }
    return !(d > QDate(1752, 9, 19) && d < QDate(1752, 10, 1));
}

void TDatePickerEdit::setDate(double value) {
    if (value == NoDateValue() && !allowNoDate_) {
        throw Exception(QStringLiteral("%1 must have a date!").arg(objectName()));
    }
    if (value != date_ && (value == NoDateValue() || acceptable(value))) {
        date_ = value;
        emit changed();
    }
    refreshDisplay();
}

void TDatePickerEdit::setChecked(bool checked) {
    if (!checked) {
        setDate(NoDateValue());
    } else if (date_ == NoDateValue()) {
        setDate(valueOfDate(localToday()));
    }
}

bool TDatePickerEdit::ConvertTextToDate(const QString& text, double& date, bool force,
                                        bool raise) const {
    if (!force && !Validate(text)) {
        return false;
    }
    if (allowNoDate_ && (maskedText() == NoDateText() || text == emptyMaskText_)) {
        date = NoDateValue();
        return true;
    }
    QString figures = GetValidDateString(text);
    figures.remove(u' ');
    const std::optional<QDate> read =
        readDate(figures, dateSeparator_, internalFormat_, localToday().year());
    if (read) {
        date = valueOfDate(*read);
        return true;
    }
    if (raise) {
        throw EConvertError(QStringLiteral("''%1'' is not a valid date").arg(figures));
    }
    if (figures.isEmpty()) {
        date = valueOfDateTime(localNow());
    }
    return false;
}

const TDateFigureInfo* TDatePickerEdit::figureAtCaret(int caret) const {
    const TDateFigureInfo* found = nullptr;
    for (const TDateFigureInfo& f : figures_) {
        if (f.Length > 0 && f.Start <= caret) {
            found = &f;
        }
    }
    return found;
}

void TDatePickerEdit::correctFigure(const TDateFigureInfo& figure) {
    bool isNumber = false;
    const int value = maskedText().mid(figure.Start - 1, figure.Length).trimmed().toInt(&isNumber);
    const int typed = isNumber ? value : 0;
    int corrected = typed;
    if (figure.Figure == TDateFigure::dfMonth) {
        corrected = std::clamp(typed, 1, 12);
    } else if (figure.Figure == TDateFigure::dfDay) {
        corrected = std::clamp(typed, 1, 31);
    }
    if (corrected == typed && isNumber) {
        return;
    }
    if (figure.Figure != TDateFigure::dfMonth && figure.Figure != TDateFigure::dfDay) {
        return;
    }
    asInternalChange(*this, [&] {
        overwriteEditText(figure.Start - 1,
                          QString::number(corrected).rightJustified(figure.Length, u'0', true));
    });
}

void TDatePickerEdit::Change() {
    if (internalChange_) {
        return;
    }
    dateError_ = false;
    const QString text = maskedText();
    if (!destroying_ && text != NoDateText() && !text.isEmpty()) {
        double d = date_;
        if (ConvertTextToDate(text, d, false, false)) {
            // The text stays as typed: the refresh is skipped during the internal change.
            asInternalChange(*this, [&] { setDate(d); });
        } else if (!deleting_ && EnableValidation()) {
            const int caret = changeCaret();
            const TDateFigureInfo* figure = figureAtCaret(caret);
            if (figure && caret == figure->Start - 1 + figure->Length) {
                correctFigure(*figure);
            }
            double edited = NoDateValue();
            const bool inYear = figure && figure->Index == 2;
            ConvertTextToDate(maskedText(), edited, inYear, false);
            if (AlwaysReturnEditDate()) {
                date_ = edited;
            }
        }
    }
    TCustomMaskEdit::Change();
}

double TDatePickerEdit::convertOnLeave() {
    double d = date_;
    if (!EnableValidation() || maskedText() == NoDateText()) {
        return d;
    }
    try {
        ConvertTextToDate(maskedText(), d, true, true);
    } catch (const EConvertError&) {
        dateError_ = true;
        takeFocusBack();
        throw;
    }
    setDate(d);
    return d;
}

void TDatePickerEdit::DoExit() {
    const double d = convertOnLeave();
    if (allowNoDate_ && d == NoDateValue()) {
        emit exited();
        return;
    }
    TCustomMaskEdit::DoExit();
}

void TDatePickerEdit::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (isModifierKey(key)) {
        TCustomMaskEdit::keyPressEvent(event);
        return;
    }
    const QKeySequence pressed(QKeyCombination(mods, Qt::Key(key)));
    if (pressed == NoDateShortcut()) {
        event->accept();
        if (!isReadOnly() && allowNoDate_) {
            runGuarded([this] { setDate(NoDateValue()); });
        }
        return;
    }
    if (pressed == ClickKey()) {
        event->accept();
        DropDown();
        return;
    }
    // Any key in the empty, unmasked field first brings back the empty mask.
    if (!isMasked() && !mask_.isEmpty()) {
        restoreEmptyMask();
        if (key == Qt::Key_Backspace) {
            event->accept();
            return;
        }
    }
    const bool plain = !(mods & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier));
    if (plain && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
        bool refused = false;
        runGuarded([&] {
            try {
                convertOnLeave();
            } catch (...) {
                refused = true;
                throw;
            }
        });
        if (refused) {
            event->accept();
            return;
        }
    }
    const QString text = event->text();
    if (isMasked() && text.size() == 1 && text[0] == dateSeparator_) {
        const int caret = engine().selStart();
        if (caret > 0 && EditText().at(caret - 1) == dateSeparator_) {
            event->accept();
            return;
        }
    }
    if (isReadOnly() && (key == Qt::Key_Backspace || (!text.isEmpty() && text[0].isPrint()))) {
        event->accept();
        return;
    }
    const bool deletion =
        plain && (key == Qt::Key_Backspace || key == Qt::Key_Delete || key == Qt::Key_Clear);
    QScopedValueRollback keepDeleting(deleting_, deleting_ || deletion);
    TCustomMaskEdit::keyPressEvent(event);
}

void TDatePickerEdit::resizeEvent(QResizeEvent* event) {
    TCustomMaskEdit::resizeEvent(event);
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    button_->setGeometry(width() - frame - kButtonWidth, frame, kButtonWidth, height() - 2 * frame);
}

void TDatePickerEdit::changeEvent(QEvent* event) {
    TCustomMaskEdit::changeEvent(event);
    if (event->type() == QEvent::EnabledChange && !isEnabled() && isPopupVisible()) {
        popup_->close();
    }
}

bool TDatePickerEdit::isPopupVisible() const {
    return popup_ && popup_->isVisible();
}

void TDatePickerEdit::DropDown() {
    if (isPopupVisible() || !isEnabled()) {
        return;
    }
    if (!popup_) {
        popup_ = new TDropCalendar(this);
        popup_->setButtonTest([this](const QPoint& global) {
            return button_->isVisible() &&
                   QRect(button_->mapToGlobal(QPoint(0, 0)), button_->size()).contains(global);
        });
        connect(popup_, &TDropCalendar::dayChosen, this, &TDatePickerEdit::chooseDay);
        connect(popup_, &TDropCalendar::buttonPressed, this, [this] { closeUp(true); });
        connect(popup_, &TDropCalendar::cancelled, this, [this] {
            endPopup();
            if (popup_) {
                popup_->deleteLater();
            }
        });
    }
    const QDate today = localToday();
    QDate selected = today;
    const QString text = maskedText();
    double d = NoDateValue();
    if (!text.trimmed().isEmpty() && text != NoDateText() &&
        ConvertTextToDate(text, d, false, false) && d != NoDateValue()) {
        selected = dateOfValue(d);
    }
    popupDate_ = selected;
    popup_->setDates(selected, today);
    wasReadOnly_ = isReadOnly();
    setReadOnly(true);
    popup_->adjustSize();
    const QRect field(mapToGlobal(QPoint(0, 0)), size());
    const QScreen* s = screen();
    const QRect work = s ? s->availableGeometry() : field;
    popup_->popUp(dropDownPosition(field, popup_->size(), work));
}

void TDatePickerEdit::endPopup() {
    setReadOnly(wasReadOnly_);
}

void TDatePickerEdit::chooseDay(const QDate& day) {
    endPopup();
    popup_->hide();
    setFocus(Qt::PopupFocusReason);
    const double value = valueOfDate(day);
    if (!isReadOnly() && value != date_) {
        runGuarded([&] { setDate(value); });
    }
}

void TDatePickerEdit::closeUp(bool byButton) {
    const QDate day = popup_->selectedDate();
    endPopup();
    popup_->hide();
    setFocus(Qt::PopupFocusReason);
    if (byButton && day != popupDate_ && !isReadOnly()) {
        runGuarded([&] { setDate(valueOfDate(day)); });
    } else if (Modified()) {
        Reset();
    }
}

}  // namespace qev
