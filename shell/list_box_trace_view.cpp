#include "shell/list_box_trace_view.h"

namespace korvel::shell {

void ListBoxTraceView::append(const char* line) {
    SendMessageA(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
}

int ListBoxTraceView::count() const {
    const LRESULT count = SendMessageA(list_, LB_GETCOUNT, 0, 0);
    return count == LB_ERR ? 0 : static_cast<int>(count);
}

void ListBoxTraceView::deleteFirst() {
    SendMessageA(list_, LB_DELETESTRING, 0, 0);
}

void ListBoxTraceView::scrollTo(int index) {
    SendMessageA(list_, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
}

void ListBoxTraceView::clear() {
    SendMessageA(list_, LB_RESETCONTENT, 0, 0);
}

}  // namespace korvel::shell
