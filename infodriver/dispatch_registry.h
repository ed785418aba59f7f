#pragma once

#include <cstdint>

#include "common/pointer_registry.h"
#include "infodriver/infodriver_sink.h"

namespace korvel::infodriver {

// Routes a client's events to the device that owns it, keyed by the client's address.
using DispatchRegistry = common::PointerRegistry<InfodriverSink>;

// The process's one dispatch registry; only the main thread uses it.
inline DispatchRegistry& dispatchRegistry() {
    static DispatchRegistry registry;
    return registry;
}

// Keeps the first sink of a client.
inline void registerClient(InfodriverSink* sink, const InfodriverClient* client) {
    dispatchRegistry().add(DispatchRegistry::keyOf(client), sink);
}

// The event callback every device installs on its client: events of a client nobody
// registered are dropped.
inline void dispatchEvent(InfodriverClient* client, std::int32_t code, const char* text) {
    if (InfodriverSink* sink = dispatchRegistry().find(DispatchRegistry::keyOf(client))) {
        sink->onInfodriverEvent(client, code, text);
    }
}

}  // namespace korvel::infodriver
