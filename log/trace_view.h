#pragma once

namespace korvel::log {

// Where trace lines are shown: the main window's list box, or memory in tests.
class TraceView {
  public:
    virtual ~TraceView() = default;
    virtual void append(const char* line) = 0;
    virtual int count() const = 0;
    virtual void deleteFirst() = 0;
    // Makes the line at index the top line shown.
    virtual void scrollTo(int index) = 0;
};

}  // namespace korvel::log
