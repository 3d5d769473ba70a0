#pragma once
// What a screen reader says for the main window's controls whose visible text does not name them:
// the date and time fields sit in one group box, whose caption would name both, and the zone
// list and the calendar button show no text at all. Nothing here changes what is shown.

namespace qev {

class TMainForm;

void nameMainFormControls(TMainForm& form);

}  // namespace qev
