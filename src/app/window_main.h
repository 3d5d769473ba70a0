#pragma once
// The window's program, from the display's check to the end of its event loop: what main() runs
// when the arguments ask for no command. On Linux it lives in a module of its own, loaded only
// then, so that a command never pays for loading the window's libraries.

namespace qev {

int runWindow(int argc, char** argv);

}  // namespace qev
