#pragma once

#include <windows.h>

#include <memory>
#include <set>

#include "infodriver/infodriver_transport.h"
#include "infodriver/interface_library.h"

namespace korvel::infodriver {

// The hidden windows' class. Its window extra bytes hold the whole client pointer.
inline constexpr const char* kClientWindowClass = "extinfospwn";

// Clients on Windows: hidden top-level windows of class "extinfospwn", window messages to
// the infodriver's window, and the two ordinals of the interface library.
class Win32Transport final : public InfodriverTransport {
  public:
    // Keeps a loaded library and its two entry points (the library stays loaded while the
    // transport holds it). Tests may give entry points of their own with no library.
    void useLibrary(HMODULE library, LibraryDataFunction libraryData,
                    SlotTrafficFunction slotTraffic);
    bool hasLibrary() const { return libraryData_ != nullptr && slotTraffic_ != nullptr; }

    bool registerClientClass(void* instance) override;
    WindowHandle createClientWindow(void* instance, InfodriverClient& client) override;
    void destroyClientWindow(WindowHandle window) override;
    void broadcast(std::uint32_t message, MessageWord wParam, MessageLong lParam) override;
    MessageResult send(WindowHandle window, std::uint32_t message, MessageWord wParam,
                       MessageLong lParam) override;
    bool windowExists(WindowHandle window) const override;
    MessageResult defaultHandling(WindowHandle window, std::uint32_t message, MessageWord wParam,
                                  MessageLong lParam) override;
    MessageResult libraryData(WindowHandle ownWindow, MessageWord wParam,
                              MessageLong lParam) override;
    MessageResult slotTraffic(WindowHandle peerWindow, std::uint32_t message, MessageWord slotIndex,
                              char* text, int one, int length) override;
    void showError(const char* text) override;

  private:
    struct LibraryRelease {
        void operator()(HMODULE library) const { FreeLibrary(library); }
    };

    std::unique_ptr<HINSTANCE__, LibraryRelease> library_;
    // Threads whose windows did not answer a send in time: later sends to them are skipped, so
    // a hung infodriver costs one time-out, not one per client.
    std::set<DWORD> hungThreads_;
    LibraryDataFunction libraryData_ = nullptr;
    SlotTrafficFunction slotTraffic_ = nullptr;
};

// The process's one Windows transport: every client of the driver uses it.
Win32Transport& win32Transport();

}  // namespace korvel::infodriver
