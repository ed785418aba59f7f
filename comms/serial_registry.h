#pragma once

#include "common/pointer_registry.h"
#include "comms/serial_listener.h"

namespace korvel::comms {

// Routes a port's notification to the listener that owns the port. Keyed by the address
// of the port object, which is what a notification carries.
using SerialRegistry = common::PointerRegistry<SerialListener>;

// The process's one serial registry; only the main thread uses it.
inline SerialRegistry& serialRegistry() {
    static SerialRegistry registry;
    return registry;
}

// Keeps the first listener of a key.
inline void serialRegister(SerialListener* listener, SerialRegistry::Key key) {
    serialRegistry().add(key, listener);
}

inline void serialUnregister(const SerialListener* listener) {
    serialRegistry().removeFirst(listener);
}

// A notification for a key nobody registered is ignored.
inline void serialDispatch(SerialRegistry::Key key) {
    if (SerialListener* listener = serialRegistry().find(key)) {
        listener->onSerialData(reinterpret_cast<SerialPort*>(key));
    }
}

}  // namespace korvel::comms
