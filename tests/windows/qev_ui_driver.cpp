// Uses the real program as a person would: starts qev.exe, waits for its window, clicks
// "Send Configuration" with the mouse, and closes the window, so that the program sends and
// saves its settings on the way out.
//   qev_ui_driver PROGRAM
// Exit code: the program's, or 90 and up when the window never came or the program hung.

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// "Send Configuration": its group box at (8, 192), the button at (141, 271), 144 x 25.
constexpr POINT kSendConfiguration{8 + 141 + 72, 192 + 271 + 12};

struct Search {
    DWORD process;
    HWND found;
};

BOOL CALLBACK match(HWND hwnd, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(hwnd, &owner);
    wchar_t title[64] = {};
    ::GetWindowTextW(hwnd, title, 64);
    if (owner == search->process && ::IsWindowVisible(hwnd) && std::wstring(title) == L"QEV 1.0") {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND waitForWindow(DWORD process, HANDLE handle, DWORD timeoutMs) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
        Search search{process, nullptr};
        ::EnumWindows(match, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr)
            return search.found;
        if (::WaitForSingleObject(handle, 100) == WAIT_OBJECT_0)
            return nullptr;
    }
    return nullptr;
}

void click(HWND hwnd, POINT client) {
    ::ClientToScreen(hwnd, &client);
    const int width = ::GetSystemMetrics(SM_CXSCREEN);
    const int height = ::GetSystemMetrics(SM_CYSCREEN);
    INPUT input[3] = {};
    for (INPUT& in : input) {
        in.type = INPUT_MOUSE;
        in.mi.dx = (client.x * 65536 + width / 2) / width;
        in.mi.dy = (client.y * 65536 + height / 2) / height;
        in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    }
    input[1].mi.dwFlags |= MOUSEEVENTF_LEFTDOWN;
    input[2].mi.dwFlags |= MOUSEEVENTF_LEFTUP;
    ::SendInput(1, &input[0], sizeof(INPUT));
    ::Sleep(200);
    ::SendInput(2, &input[1], sizeof(INPUT));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: qev_ui_driver PROGRAM\n");
        return 2;
    }
    std::wstring command = L"\"" + std::wstring(argv[1]) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(argv[1], command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
        std::fprintf(stderr, "cannot start the program (error %lu)\n", ::GetLastError());
        return 90;
    }
    int result = 91;
    const HWND window = waitForWindow(process.dwProcessId, process.hProcess, 150000);
    if (window == nullptr) {
        std::fprintf(stderr, "the window \"QEV 1.0\" did not appear\n");
    } else {
        // The first showing restores the stored settings; let it finish before acting.
        ::Sleep(1500);
        ::SetForegroundWindow(window);
        ::Sleep(300);
        click(window, kSendConfiguration);
        std::printf("clicked\n");
        std::fflush(stdout);
        // Opening the port, the bytes, the half second the send cycle waits, the close.
        ::Sleep(4000);
        ::PostMessageW(window, WM_CLOSE, 0, 0);
        if (::WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
            DWORD code = 0;
            ::GetExitCodeProcess(process.hProcess, &code);
            result = int(code);
        } else {
            std::fprintf(stderr, "the program did not end after its window was closed\n");
            result = 92;
        }
    }
    if (result >= 90)
        ::TerminateProcess(process.hProcess, 1);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return result;
}
