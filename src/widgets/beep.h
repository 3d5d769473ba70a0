#pragma once
// The system's default beep, replaceable so tests can count it.

#include <functional>

namespace qev {

void beep();
// An empty function restores QApplication::beep.
void setBeepHook(std::function<void()> hook);

}  // namespace qev
