#include "app/accessible_names.h"

#include "app/mainform_u.h"
#include "widgets/date_picker_edit.h"
#include "widgets/list_box.h"
#include "widgets/mask_edit.h"

#include <QPushButton>

namespace qev {

void nameMainFormControls(TMainForm& form) {
    form.Date1()->setAccessibleName(QStringLiteral("Date (UTC)"));
    form.Date1()->setAccessibleDescription(
        QStringLiteral("Month, day and year. Alt+Down opens the calendar, Alt+Delete empties the "
                       "field."));
    form.Time1()->setAccessibleName(QStringLiteral("Time (UTC)"));
    form.Time1()->setAccessibleDescription(QStringLiteral("Hours, minutes and seconds."));
    form.Button1()->setAccessibleDescription(
        QStringLiteral("Sends the date and time above to the clock."));
    form.Button2()->setAccessibleDescription(
        QStringLiteral("Sets the clock to this computer's time in UTC."));
    form.ListBox1()->setAccessibleName(QStringLiteral("Time zones"));
    form.ListBox1()->setAccessibleDescription(
        QStringLiteral("One line per display zone: its offset from UTC, its daylight-saving rule "
                       "and its 12- or 24-hour display."));
    form.btnEdit()->setAccessibleDescription(QStringLiteral("Changes the selected zone."));
    form.Button3()->setAccessibleDescription(
        QStringLiteral("Sends the sixteen zones to the clock."));
}

}  // namespace qev
