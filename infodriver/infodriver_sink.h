#pragma once

#include <cstdint>

namespace korvel::infodriver {

class InfodriverClient;

// Whoever owns a client and handles its events: a VT device. The client's status tells
// what happened (slot changed, disconnected, a mode request); code and text carry the
// slot index and value of a slot change.
class InfodriverSink {
  public:
    virtual void onInfodriverEvent(InfodriverClient* client, std::int32_t code,
                                   const char* text) = 0;

  protected:
    ~InfodriverSink() = default;
};

}  // namespace korvel::infodriver
