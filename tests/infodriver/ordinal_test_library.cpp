// A stand-in interface library for the loader's tests: ordinal 1 answers a sum, ordinal 2
// keeps one slot text per process. Exported by ordinal only (see the .def files).
#include <windows.h>

#include <algorithm>
#include <cstring>

namespace {
char gSlot[512] = "";
}

extern "C" LRESULT WINAPI ordinalTestLibraryData(HWND, WPARAM wParam, LPARAM lParam) {
    return static_cast<LRESULT>(wParam) * 2 + lParam;
}

extern "C" LRESULT WINAPI ordinalTestSlotTraffic(HWND, UINT message, WPARAM, LPARAM text, int,
                                                 int length) {
    auto* chars = reinterpret_cast<char*>(text);
    if (chars == nullptr || length <= 0) return 0;
    if (message == 2727) {
        std::strncpy(chars, gSlot, static_cast<std::size_t>(length) - 1);
        chars[length - 1] = '\0';
        return 1;
    }
    const std::size_t size = std::min<std::size_t>(static_cast<std::size_t>(length), sizeof gSlot);
    std::memcpy(gSlot, chars, size);
    gSlot[sizeof gSlot - 1] = '\0';
    return 1;
}
