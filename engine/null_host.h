#pragma once

#include <cstdint>

#include "engine/engine_host.h"

namespace korvel::engine {

// A host that shows nothing and keeps no timers: it stands in for the main window where
// there is none (a device not yet set up, a benchmark). timersStart is what setTimer answers.
class NullHost final : public EngineHost {
  public:
    explicit NullHost(bool timersStart) : timersStart_(timersStart) {}

    bool setTimer(int, std::uint32_t) override { return timersStart_; }
    void killTimer(int) override {}
    void setPanelText(PanelField, int, const char*) override {}
    void refreshCounters() override {}
    void showError(const char*) override {}
    void debugOutput(const char*) override {}
    void logTraffic(const char*) override {}
    void requestClose() override {}

  private:
    bool timersStart_;
};

}  // namespace korvel::engine
