// Checks what Windows shows as a program's properties: the strings of its version resource.
//   file_properties_probe FILE NAME=VALUE...
// Prints every NAME with the value found; exit code 0 when all are as given, 1 otherwise.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fwprintf(stderr, L"usage: file_properties_probe FILE NAME=VALUE...\n");
        return 2;
    }
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(argv[1], &ignored);
    std::vector<BYTE> info(size);
    if (size == 0 || !::GetFileVersionInfoW(argv[1], 0, size, info.data())) {
        std::fwprintf(stderr, L"%ls: no version information\n", argv[1]);
        return 1;
    }
    struct Translation {
        WORD language;
        WORD codePage;
    }* translation = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                          reinterpret_cast<void**>(&translation), &length) ||
        length < sizeof *translation) {
        std::fwprintf(stderr, L"%ls: no translation table\n", argv[1]);
        return 1;
    }
    wchar_t table[64];
    std::swprintf(table, 64, L"\\StringFileInfo\\%04x%04x\\", translation->language,
                  translation->codePage);
    int failures = 0;
    for (int i = 2; i < argc; ++i) {
        const std::wstring pair = argv[i];
        const size_t equals = pair.find(L'=');
        const std::wstring name = pair.substr(0, equals);
        const std::wstring wanted = equals == std::wstring::npos ? L"" : pair.substr(equals + 1);
        wchar_t* value = nullptr;
        UINT chars = 0;
        const bool found = ::VerQueryValueW(info.data(), (table + name).c_str(),
                                            reinterpret_cast<void**>(&value), &chars);
        const std::wstring got = found && value ? std::wstring(value) : L"<none>";
        const bool ok = got == wanted;
        std::wprintf(L"%ls: %ls: %ls\n", ok ? L"ok" : L"FAILED", name.c_str(), got.c_str());
        failures += ok ? 0 : 1;
    }
    return failures == 0 ? 0 : 1;
}
