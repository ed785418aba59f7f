#pragma once

#include <cstdint>
#include <map>

namespace korvel::common {

// An ordered map from an object's address to the listener that wants its events. Keys are
// pointer-sized: the product is 64-bit, and a cut key could route one device's events to
// another. The first listener registered under a key keeps it.
template <typename Listener>
class PointerRegistry {
  public:
    using Key = std::uintptr_t;

    static Key keyOf(const void* object) { return reinterpret_cast<Key>(object); }

    // Inserts the pair unless the key is present; true when inserted.
    bool add(Key key, Listener* listener) { return entries_.emplace(key, listener).second; }

    // Removes the first entry, in key order, that names this listener.
    void removeFirst(const Listener* listener) {
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (it->second == listener) {
                entries_.erase(it);
                return;
            }
        }
    }

    // The listener registered under exactly this key, or null.
    Listener* find(Key key) const {
        auto it = entries_.find(key);
        return it == entries_.end() ? nullptr : it->second;
    }

    std::size_t size() const { return entries_.size(); }
    void clear() { entries_.clear(); }

  private:
    std::map<Key, Listener*> entries_;
};

}  // namespace korvel::common
