// Our VRAXIF32.dll: the two entry points the driver imports by ordinal. Slot writes and
// read requests travel to the infodriver's window as WM_COPYDATA; the infodriver answers a
// read in a shared-memory mailbox that the reader created, and hands over a slot change in a
// mailbox of its own, named by the wParam and lParam of its message 2074.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>

#include "infodriver/interface_library.h"
#include "sim/vraxif32/slot_wire.h"
#include "sim/vraxif32/test_reader.h"

// The entry points are __stdcall (WINAPI). Built with KORVEL_CDECL_ENTRY_POINTS they are cdecl
// instead: on 32 bits that is the other kind of library a site may have, and the driver must
// work with both. On 64 bits the two are the same.
#ifdef KORVEL_CDECL_ENTRY_POINTS
#define KORVEL_ENTRY_POINT __cdecl
#else
#define KORVEL_ENTRY_POINT WINAPI
#endif

namespace {

using korvel::sim::SlotPacket;

// A synchronous call to the infodriver that gives up on one that hangs, so the driver's
// window thread is never stuck for good.
constexpr UINT kPeerTimeoutMs = 5000;

std::atomic<std::uint32_t> nextMailbox{0};

bool usableWindow(HWND window) {
    return window != nullptr && window != HWND_BROADCAST;
}

// A named section of one packet, closed with its owner.
class Mailbox {
  public:
    Mailbox(const std::string& name, bool create) {
        section_ = create ? CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                               sizeof(SlotPacket), name.c_str())
                          : OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
        if (section_ == nullptr) return;
        if (create && GetLastError() == ERROR_ALREADY_EXISTS) {
            // Someone else's section under our name: never read what they left there.
            CloseHandle(section_);
            section_ = nullptr;
            return;
        }
        view_ = MapViewOfFile(section_, create ? FILE_MAP_WRITE : FILE_MAP_READ, 0, 0,
                              sizeof(SlotPacket));
    }
    ~Mailbox() {
        if (view_ != nullptr) UnmapViewOfFile(view_);
        if (section_ != nullptr) CloseHandle(section_);
    }
    Mailbox(const Mailbox&) = delete;
    Mailbox& operator=(const Mailbox&) = delete;

    void* view() const { return view_; }

  private:
    HANDLE section_ = nullptr;
    void* view_ = nullptr;
};

LRESULT sendPacket(HWND peer, std::uint32_t message, const SlotPacket& packet) {
    COPYDATASTRUCT data{};
    data.dwData = message;
    data.cbData = sizeof packet;
    data.lpData = const_cast<SlotPacket*>(&packet);
    DWORD_PTR answer = 0;
    if (SendMessageTimeoutA(peer, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                            SMTO_NORMAL | SMTO_ABORTIFHUNG, kPeerTimeoutMs, &answer) == 0) {
        return 0;
    }
    return static_cast<LRESULT>(answer);
}

LRESULT writeSlot(HWND peer, UINT message, WPARAM slotIndex, const char* text, int length) {
    if (text == nullptr || length < 1) return 0;
    SlotPacket packet;
    // length counts the terminator; a text longer than a slot is cut, never overrun.
    korvel::sim::fillPacket(packet, korvel::sim::slotKeyOf(slotIndex), GetCurrentProcessId(), 0,
                            text, static_cast<std::size_t>(length) - 1);
    return sendPacket(peer, message, packet) == 1 ? 1 : 0;
}

// A read-answer mailbox and the number that names it.
struct AnswerBox {
    std::uint32_t sequence;
    Mailbox mailbox;

    AnswerBox()
        : sequence(++nextMailbox),
          mailbox(korvel::sim::mailboxName(korvel::sim::MailboxKind::ReadAnswer,
                                           GetCurrentProcessId(), sequence),
                  true) {}
};

// The first reading thread keeps one mailbox for all its reads: making a section for every
// read costs several calls to the system each time. A read made while that thread's read waits
// (a slot change handled inside the wait reads too) takes a mailbox of its own, as does any
// other thread.
struct KeptAnswerBox {
    std::atomic<DWORD> owner{0};
    bool busy = false;         // touched by the owner thread only
    AnswerBox* box = nullptr;  // kept for the life of the process
};
KeptAnswerBox keptAnswerBox;

class AnswerBoxLease {
  public:
    AnswerBoxLease() {
        const DWORD me = GetCurrentThreadId();
        DWORD none = 0;
        if (keptAnswerBox.owner.compare_exchange_strong(none, me) ||
            keptAnswerBox.owner.load() == me) {
            if (!keptAnswerBox.busy) {
                if (keptAnswerBox.box != nullptr && keptAnswerBox.box->mailbox.view() == nullptr) {
                    delete keptAnswerBox.box;  // made when sections could not be: try again
                    keptAnswerBox.box = nullptr;
                }
                if (keptAnswerBox.box == nullptr) keptAnswerBox.box = new AnswerBox;
                keptAnswerBox.busy = true;
                box_ = keptAnswerBox.box;
                kept_ = true;
                return;
            }
        }
        own_ = std::make_unique<AnswerBox>();
        box_ = own_.get();
    }
    ~AnswerBoxLease() {
        if (kept_) keptAnswerBox.busy = false;
    }
    AnswerBoxLease(const AnswerBoxLease&) = delete;
    AnswerBoxLease& operator=(const AnswerBoxLease&) = delete;

    AnswerBox& box() const { return *box_; }

  private:
    std::unique_ptr<AnswerBox> own_;
    AnswerBox* box_ = nullptr;
    bool kept_ = false;
};

LRESULT readSlot(HWND peer, WPARAM slotIndex, char* buffer, int length) {
    if (buffer == nullptr || length < 1) return 0;
    buffer[0] = '\0';  // what a failed read leaves

    const std::uint32_t process = GetCurrentProcessId();
    const AnswerBoxLease lease;
    const std::uint32_t sequence = lease.box().sequence;
    const Mailbox& answer = lease.box().mailbox;
    if (answer.view() == nullptr) return 0;
    // Nothing a previous read left may pass for this one's answer.
    std::memset(answer.view(), 0, sizeof(SlotPacket));

    const std::uint32_t slot = korvel::sim::slotKeyOf(slotIndex);
    SlotPacket request;
    korvel::sim::fillPacket(request, slot, process, sequence, "", 0);
    if (sendPacket(peer, korvel::infodriver::IFMSG_SLOTREAD, request) != 1) return 0;

    const auto value = korvel::sim::readPacket(answer.view(), sizeof(SlotPacket));
    if (!value || value->slot != slot || value->sequence != sequence) return 0;
    const std::size_t count = std::min(value->text.size(), static_cast<std::size_t>(length) - 1);
    std::memcpy(buffer, value->text.data(), count);
    buffer[count] = '\0';
    return 1;
}

// A fault on demand, for the driver's hang watchdog: while the file that
// KORVEL_VRAXIF32_HANG_FILE names exists, a slot call never returns, as a library stuck
// on a peer that never answers would.
void hangWhenAsked() {
    static const char* const file = std::getenv("KORVEL_VRAXIF32_HANG_FILE");
    if (file == nullptr || *file == '\0') return;
    if (GetFileAttributesA(file) != INVALID_FILE_ATTRIBUTES) Sleep(INFINITE);
}

}  // namespace

// Ordinal 1: the infodriver's message 2074 names its mailbox (wParam its process, lParam
// the mailbox number). The slot change is copied into this process and sent to the client's
// window as 2728; the window's answer is returned.
extern "C" LRESULT KORVEL_ENTRY_POINT libraryData(HWND ownWindow, WPARAM wParam, LPARAM lParam) {
    korvel::sim::ensureTestReader();
    if (ownWindow == nullptr || !IsWindow(ownWindow)) return 0;
    char text[korvel::sim::kSlotTextCapacity];
    std::uint32_t slot = 0;
    {
        const Mailbox change(korvel::sim::mailboxName(korvel::sim::MailboxKind::SlotChange,
                                                      static_cast<std::uint32_t>(wParam),
                                                      static_cast<std::uint32_t>(lParam)),
                             false);
        if (change.view() == nullptr) return 0;
        const auto value = korvel::sim::readPacket(change.view(), sizeof(SlotPacket));
        if (!value) return 0;
        slot = value->slot;
        std::memcpy(text, value->text.c_str(), value->text.size() + 1);
    }
    return SendMessageA(ownWindow, korvel::infodriver::IFMSG_SLOTCHANGED, slot,
                        reinterpret_cast<LPARAM>(text));
}

// Ordinal 2: writes (2726, 2731) and reads (2727) of one slot in the infodriver behind
// peerWindow. Returns 1 when the infodriver took the write or answered the read, else 0; a
// read always leaves a terminated text in the buffer, at most length bytes.
extern "C" LRESULT KORVEL_ENTRY_POINT slotTraffic(HWND peerWindow, UINT message, WPARAM slotIndex,
                                                  LPARAM text, int one, int length) {
    korvel::sim::ensureTestReader();
    hangWhenAsked();
    char* buffer = reinterpret_cast<char*>(text);
    const bool read = message == korvel::infodriver::IFMSG_SLOTREAD;
    if (read && buffer != nullptr && length >= 1) buffer[0] = '\0';
    if (one != 1 || !usableWindow(peerWindow)) return 0;
    switch (message) {
        case korvel::infodriver::IFMSG_SLOTWRITE:
        case korvel::infodriver::IFMSG_SLOTWRITEALT:
            return writeSlot(peerWindow, message, slotIndex, buffer, length);
        case korvel::infodriver::IFMSG_SLOTREAD:
            return readSlot(peerWindow, slotIndex, buffer, length);
        default:
            return 0;
    }
}

#ifndef KORVEL_CDECL_ENTRY_POINTS
// The exports have exactly the types the driver calls them through.
static_assert(std::is_same_v<decltype(&libraryData), korvel::infodriver::LibraryDataFunction>);
static_assert(std::is_same_v<decltype(&slotTraffic), korvel::infodriver::SlotTrafficFunction>);
#endif
