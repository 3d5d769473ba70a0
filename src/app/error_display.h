#pragma once
// The application error display: the one place where an error that escaped an event handler
// is shown to the user.

#include "base/error_text.h"
#include "serial/serial_errors.h"

#include <QString>

#include <exception>

namespace qev {

// Shows text in a modal message box with OK and the error icon, owned by the active window,
// titled title (by default the application's title).
void showErrorBox(const QString& text, const QString& title = {});

// The reporter that runGuarded hands escaped exceptions to.
void showApplicationError(std::exception_ptr error);

// A worker thread's failure, called on that thread: shown on the user-interface thread, in a
// box titled "Application Error" that names the exception and carries its message and detail.
void showThreadError(const ThreadFailure& failure);

}  // namespace qev
