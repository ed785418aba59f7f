#include <map>
#include <vector>

#include "infodriver/infodriver_client.h"
#include "infodriver/infodriver_state.h"
#include "infodriver/infodriver_transport.h"

namespace korvel::infodriver {
namespace {

// Without a window system there is no infodriver to find: the clients' own hidden windows
// are all there is, so a connect request reaches nobody, and there are no slots to read or
// write. It keeps no record, so a long run costs nothing.
class NoInfodriverTransport final : public InfodriverTransport {
  public:
    bool registerClientClass(void*) override { return true; }

    WindowHandle createClientWindow(void*, InfodriverClient& client) override {
        const WindowHandle handle = ++lastHandle_;
        windows_[handle] = &client;
        if (client.handleWindowCreate(handle) < 0) {
            // A refused creation still destroys the window, as a window system does.
            client.handleWindowDestroy();
            windows_.erase(handle);
            return 0;
        }
        return handle;
    }

    void destroyClientWindow(WindowHandle window) override {
        auto it = windows_.find(window);
        if (it == windows_.end()) return;
        InfodriverClient* client = it->second;
        client->handleWindowDestroy();
        windows_.erase(window);
    }

    void broadcast(std::uint32_t message, MessageWord wParam, MessageLong lParam) override {
        std::vector<WindowHandle> receivers;
        for (const auto& entry : windows_) receivers.push_back(entry.first);
        for (WindowHandle window : receivers) send(window, message, wParam, lParam);
    }

    MessageResult send(WindowHandle window, std::uint32_t message, MessageWord wParam,
                       MessageLong lParam) override {
        auto it = windows_.find(window);
        return it == windows_.end() ? 0
                                    : it->second->handleMessage(window, message, wParam, lParam);
    }

    bool windowExists(WindowHandle window) const override { return windows_.count(window) != 0; }
    MessageResult defaultHandling(WindowHandle, std::uint32_t, MessageWord, MessageLong) override {
        return 0;
    }
    MessageResult libraryData(WindowHandle, MessageWord, MessageLong) override { return 0; }
    MessageResult slotTraffic(WindowHandle, std::uint32_t, MessageWord, char*, int, int) override {
        return 0;
    }
    void showError(const char*) override {}

  private:
    WindowHandle lastHandle_ = 0;
    std::map<WindowHandle, InfodriverClient*> windows_;
};

}  // namespace

InfodriverTransport& platformTransport() {
    static NoInfodriverTransport world;
    return world;
}

}  // namespace korvel::infodriver
