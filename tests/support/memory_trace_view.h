#pragma once

#include <string>
#include <vector>

#include "log/trace_view.h"

namespace korvel::testing {

// The trace list kept in memory, with the index the view was last scrolled to.
class MemoryTraceView final : public log::TraceView {
  public:
    void append(const char* line) override { lines.emplace_back(line); }
    int count() const override { return static_cast<int>(lines.size()); }
    void deleteFirst() override {
        if (!lines.empty()) lines.erase(lines.begin());
    }
    void scrollTo(int index) override { topIndex = index; }

    std::vector<std::string> lines;
    int topIndex = -1;
};

}  // namespace korvel::testing
