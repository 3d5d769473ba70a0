#pragma once
// One application object for a whole test program, named "qev" as the program is (the error
// box takes its title from that name).

#include <QApplication>

namespace qev::test {

template <typename App = QApplication>
void ensureApplication() {
    static int argc = 1;
    static char name[] = "qev";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance())
        new App(argc, argv);  // lives until the test program ends
}

}  // namespace qev::test
