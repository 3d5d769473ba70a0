#pragma once
// The date field: a masked field whose mask comes from its date format, holding a date value
// beside its text, with a drop-down calendar.

#include "protocol/date_time_value.h"
#include "widgets/date_format.h"
#include "widgets/mask_edit.h"

#include <QKeySequence>
#include <QPointer>

class QToolButton;

namespace qev {

class TDropCalendar;

class TDatePickerEdit : public TCustomMaskEdit {
    Q_OBJECT

public:
    explicit TDatePickerEdit(QWidget* parent = nullptr);
    ~TDatePickerEdit() override;

    // Days since 30 December 1899, the fraction the time of day; NoDateValue (0.0) = no date.
    double Date() const { return date_; }
    // Refuses (silently) dates before 14 September 1752 and the days skipped that month;
    // the display is refreshed in every case.
    void setDate(double value);

    // Empty means the system's short date format. Also sets the separator.
    void setDisplayFormat(const QString& format);
    void setDateSeparator(QChar separator);

    void setAllowNoDate(bool allow) { allowNoDate_ = allow; }
    // The settings in force: no date is the value 0.0 (30 December 1899), shown as an empty
    // field; the text sets Date as it is typed and is checked when the field is left; Alt+Delete
    // empties the field and Alt+Down opens the calendar.
    static constexpr double NoDateValue() { return kNoDateValue; }
    static QString NoDateText() { return QString(); }
    static constexpr bool AlwaysReturnEditDate() { return true; }
    static constexpr bool EnableValidation() { return true; }
    static QKeySequence NoDateShortcut() { return QKeySequence(Qt::ALT | Qt::Key_Delete); }
    static QKeySequence ClickKey() { return QKeySequence(Qt::ALT | Qt::Key_Down); }

    bool Checked() const { return date_ != NoDateValue(); }
    void setChecked(bool checked);
    bool DateError() const { return dateError_; }

    QString internalFormat() const { return internalFormat_; }
    QString builtMask() const { return mask_; }
    QString emptyMaskText() const { return emptyMaskText_; }

    // Text to date; see the reading rules. With raise, an unreadable text throws EConvertError.
    bool ConvertTextToDate(const QString& text, double& date, bool force, bool raise) const;
    virtual QString GetValidDateString(const QString& text) const { return text; }

    // Pairs around the field's changes of its own text; nesting is a programming error.
    void BeginInternalChange();
    void EndInternalChange();

    void DropDown();
    bool isPopupVisible() const;
    TDropCalendar* popup() const;
    QToolButton* dropButton() const { return button_; }

protected:
    void Change() override;
    void DoExit() override;
    QChar maskDateSeparator() const override { return dateSeparator_; }

    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void rebuildMask();
    void refreshDisplay();
    void restoreEmptyMask();
    // The conversion run on leaving and on Enter; gives the date it settled on.
    double convertOnLeave();
    const TDateFigureInfo* figureAtCaret(int caret) const;
    void correctFigure(const TDateFigureInfo& figure);
    static bool acceptable(double value);
    void closeUp(bool byButton);
    void chooseDay(const QDate& day);
    void endPopup();

    double date_ = 0.0;
    QString dateFormat_;
    QChar dateSeparator_ = u'/';
    bool allowNoDate_ = true;

    QString internalFormat_;
    QString mask_;
    QString emptyMaskText_;
    DateFigures figures_{};
    bool deleting_ = false;
    bool dateError_ = false;
    bool internalChange_ = false;
    bool destroying_ = false;
    bool wasReadOnly_ = false;
    QDate popupDate_;
    QPointer<TDropCalendar> popup_;
    QToolButton* button_;
};

}  // namespace qev
