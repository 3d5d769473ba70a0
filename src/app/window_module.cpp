// The window as a module of its own (Linux): main() loads it when no command is asked for.

#include "app/window_main.h"

extern "C" __attribute__((visibility("default"))) int qev_run_window(int argc, char** argv) {
    return qev::runWindow(argc, argv);
}
