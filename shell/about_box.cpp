#include "shell/about_box.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "shell/build_stamp.h"
#include "shell/resource.h"

namespace korvel::shell {

namespace {

// Shows the FileVersion of the program's version resource; nothing without one.
void showVersion(HWND dialog) {
    char fileName[256] = {};
    if (GetModuleFileNameA(nullptr, fileName, sizeof fileName) == 0) return;
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(fileName, &handle);
    if (size == 0) return;
    std::vector<char> info(size);
    if (!GetFileVersionInfoA(fileName, 0, size, info.data())) return;

    void* translation = nullptr;
    UINT length = 0;
    char query[64];
    // A language and a code page: two 16-bit words.
    if (!VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", &translation, &length) ||
        length < 2 * sizeof(WORD)) {
        return;
    }
    const WORD* words = static_cast<const WORD*>(translation);
    std::snprintf(query, sizeof query, "\\StringFileInfo\\%04X%04X\\FileVersion", words[0],
                  words[1]);

    void* value = nullptr;
    if (!VerQueryValueA(info.data(), query, &value, &length) || length == 0) return;
    char version[128] = {};
    const std::size_t count = length < sizeof version - 1 ? length : sizeof version - 1;
    std::memcpy(version, value, count);
    version[count] = '\0';

    char text[160];
    std::snprintf(text, sizeof text, "Version %s", version);
    SetDlgItemTextA(dialog, IDC_ABOUT_VERSION, text);
}

void showBuildStamp(HWND dialog) {
    char text[64];
    std::snprintf(text, sizeof text, "%s - %s", buildDate(), buildTime());
    SetDlgItemTextA(dialog, IDC_ABOUT_BUILD, text);
}

}  // namespace

const char* controllerText(bool simulation) {
    return simulation ? "Korvel Controller (Simulation)" : "Korvel Controller";
}

INT_PTR CALLBACK aboutBoxProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            SetDlgItemTextA(dialog, IDC_ABOUT_CONTROLLER, controllerText(lParam != 0));
            showVersion(dialog);
            showBuildStamp(dialog);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

INT_PTR showAboutBox(HINSTANCE instance, HWND owner, bool simulation) {
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ABOUT), owner, aboutBoxProcedure,
                           simulation ? 1 : 0);
}

}  // namespace korvel::shell
