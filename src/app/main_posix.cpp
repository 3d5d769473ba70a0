// QEV: configures a clock device on a serial port. The commands run here, with Qt Core alone;
// the window is a module loaded only when it is asked for, since loading the libraries of a
// window costs a command (run every half hour by a timer) more than all its own work.

#include "cli/cli_commands.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <dlfcn.h>

namespace {

// The module beside this program, where the build and the install both put it.
std::string windowModulePath() {
    char self[PATH_MAX];
    std::string folder = ".";
    if (realpath("/proc/self/exe", self)) {
        folder = self;
        folder.erase(folder.rfind('/'));
    }
    return folder + "/" QEV_WINDOW_MODULE;
}

int runWindowModule(int argc, char** argv) {
    const std::string path = windowModulePath();
    // Kept loaded to the end: the window's objects are destroyed by code of the module.
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    using Entry = int (*)(int, char**);
    const auto entry = module ? reinterpret_cast<Entry>(dlsym(module, "qev_run_window")) : nullptr;
    if (!entry) {
        std::fprintf(stderr,
                     "qev: The window cannot be started: %s. Reinstall QEV; the commands (qev "
                     "--help) work without it.\n",
                     dlerror());
        return 1;
    }
    return entry(argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
    if (const std::optional<int> status = qev::runCommandIfAsked(argc, argv))
        return *status;
    return runWindowModule(argc, argv);
}
