#include "infodriver/interface_library_loader.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "infodriver/win32_transport.h"

namespace korvel::infodriver {
namespace {

constexpr const char* kAbsentLibrary = "korvel_absent_library.dll";

class LibraryLoader : public ::testing::Test {
  protected:
    LibraryLoader() { win32Transport().useLibrary(nullptr, nullptr, nullptr); }
    ~LibraryLoader() override { win32Transport().useLibrary(nullptr, nullptr, nullptr); }
};

TEST_F(LibraryLoader, AnAbsentLibraryFailsWithItsNameAndLeavesTheTransportAsItWas) {
    char message[200] = {};
    EXPECT_FALSE(loadInterfaceLibrary(kAbsentLibrary, message, sizeof message));
    EXPECT_EQ(std::string(message),
              "Cannot load the interface library korvel_absent_library.dll (error 126)");
    EXPECT_FALSE(win32Transport().hasLibrary());
}

TEST_F(LibraryLoader, ALibraryWithoutOrdinal2IsRefused) {
    char message[200] = {};
    EXPECT_FALSE(loadInterfaceLibrary("ordinal_one_only.dll", message, sizeof message));
    EXPECT_EQ(std::string(message),
              "The interface library ordinal_one_only.dll has no entry point 2");
    EXPECT_FALSE(win32Transport().hasLibrary());
    // Not kept loaded.
    EXPECT_EQ(GetModuleHandleA("ordinal_one_only.dll"), nullptr);
}

TEST_F(LibraryLoader, OrdinalsOneAndTwoServeTheClient) {
    ASSERT_TRUE(loadInterfaceLibrary("ordinal_test_library.dll", nullptr, 0));
    EXPECT_TRUE(win32Transport().hasLibrary());
    // Exported by ordinal alone.
    HMODULE library = GetModuleHandleA("ordinal_test_library.dll");
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(GetProcAddress(library, "ordinalTestSlotTraffic"), nullptr);

    char text[] = "written";
    win32Transport().slotTraffic(0, 2726, 1, text, 1, sizeof text);
    char read[256] = {};
    EXPECT_EQ(win32Transport().slotTraffic(0, 2727, 1, read, 1, sizeof read), 1);
    EXPECT_STREQ(read, "written");
    EXPECT_EQ(win32Transport().libraryData(1, 20, 2), 42);

    // Dropping the library unloads it.
    win32Transport().useLibrary(nullptr, nullptr, nullptr);
    EXPECT_EQ(GetModuleHandleA("ordinal_test_library.dll"), nullptr);
}

TEST_F(LibraryLoader, AStartWithoutTheLibraryShowsTheTimedErrorAndIsRefused) {
    std::string shown;
    std::thread person([&] {
        for (int i = 0; i < 1000; ++i) {
            if (HWND box = FindWindowA("#32770", "Error")) {
                char text[256] = {};
                GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
                shown = text;
                PostMessageA(box, WM_COMMAND, IDOK, 0);
                return;
            }
            Sleep(10);
        }
    });
    EXPECT_FALSE(requireInterfaceLibrary(nullptr, kAbsentLibrary));
    person.join();
    EXPECT_EQ(shown, "Cannot load the interface library korvel_absent_library.dll (error 126)");
}

}  // namespace
}  // namespace korvel::infodriver
