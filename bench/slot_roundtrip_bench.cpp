// Cost of slot traffic between the driver's infodriver client and the infodriver emulator in
// another process, through our VRAXIF32.dll: what one write, one read and one unchanged
// "write if changed" take. Run under wine from build/win32/bin; it prints figures and does
// not pass or fail.
#include <windows.h>

#include <cstdio>

#include "infodriver/infodriver_client.h"
#include "infodriver/interface_library_loader.h"
#include "tests/support/emulator_process.h"

namespace {

double microsecondsPer(LARGE_INTEGER start, LARGE_INTEGER end, int count) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1e6 * static_cast<double>(end.QuadPart - start.QuadPart) /
           static_cast<double>(frequency.QuadPart) / count;
}

template <typename Operation>
void measure(const char* name, int count, Operation operation) {
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceCounter(&start);
    for (int i = 0; i < count; ++i) operation(i);
    QueryPerformanceCounter(&end);
    std::printf("%-36s %8.1f us each (%d)\n", name, microsecondsPer(start, end, count), count);
}

}  // namespace

int main() {
    using korvel::infodriver::InfodriverClient;
    char message[512] = {};
    if (!korvel::infodriver::loadInterfaceLibrary(korvel::infodriver::kInterfaceLibraryName,
                                                  message, sizeof message)) {
        std::fprintf(stderr, "%s\n", message);
        return 1;
    }
    korvel::sim::testing::EmulatorProcess emulator("101");
    if (!emulator.ready()) {
        std::fprintf(stderr, "the emulator did not start\n");
        return 1;
    }
    InfodriverClient client;
    if (client.connect(101) != korvel::infodriver::kStatusConnected) {
        std::fprintf(stderr, "no connection to device 101\n");
        return 1;
    }

    constexpr int kCount = 2000;
    measure("write slot", kCount, [&](int i) { client.writeSlot(3, "%d,", i); });
    char buffer[256];
    measure("read slot", kCount, [&](int) { client.readSlot(3, buffer, sizeof buffer); });
    measure("write slot if changed, unchanged", kCount,
            [&](int) { client.writeSlotIfChanged(3, "%d,", kCount - 1); });
    measure("write slot if changed, changed", kCount,
            [&](int i) { client.writeSlotIfChanged(4, "%d,", i); });
    return 0;
}
