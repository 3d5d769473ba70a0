#pragma once
// Event handlers must not let an exception unwind through Qt's event loop, yet every error has to
// reach the one place that shows it. Handlers therefore run their work through runGuarded.

#include <exception>
#include <functional>

namespace qev {

// Runs body; an exception that escapes is handed to the installed reporter (the app's error
// display) instead of unwinding through Qt. Without a reporter it is rethrown (tests may install
// their own).
void runGuarded(const std::function<void()>& body);

using ErrorReporter = std::function<void(std::exception_ptr)>;

// Installs the reporter; an empty function removes it.
void setErrorReporter(ErrorReporter);

// How many errors runGuarded has handed to the reporter so far. A mouse press that sees it change
// was interrupted by an error (the box's own loop took the button's release).
unsigned reportedErrorCount();

}  // namespace qev
