#pragma once

#include <windows.h>

#include "log/trace_view.h"

namespace korvel::shell {

// The trace lines in the main window's list box.
class ListBoxTraceView final : public log::TraceView {
  public:
    explicit ListBoxTraceView(HWND list = nullptr) : list_(list) {}

    void attach(HWND list) { list_ = list; }
    HWND list() const { return list_; }

    void append(const char* line) override;
    int count() const override;
    void deleteFirst() override;
    void scrollTo(int index) override;
    // Removes every line.
    void clear();

  private:
    HWND list_;
};

}  // namespace korvel::shell
