#pragma once

// The writing side of an open port: the owner hands a frame over and returns at once; the
// port's own writer thread puts it on the line, waits for it within the port's bound and
// cancels it there. Writes that a serial driver keeps after their cancel are held in a small
// process-wide list, so a stuck adapter holds a bounded number of buffers and events however
// often its port is opened again.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace korvel::comms {

// Writes given up on while their serial driver still owns them (their buffer and completion
// record). Each is freed as soon as it is seen finished; while the list is full, no port
// starts a write.
class StuckWrites {
  public:
    static constexpr std::size_t kLimit = 8;

    struct Entry {
        virtual ~Entry() = default;
        // True once the driver has finished with the write, so it may be freed.
        virtual bool finished() = 0;
    };

    // Frees the entries that have finished; true when another may be kept.
    bool roomForAnother();
    // Keeps a write its driver did not give back; false (and the entry is left to the
    // caller, who must not free it) when the list is full.
    bool keep(std::unique_ptr<Entry>& entry);
    std::size_t count();

  private:
    std::mutex lock_;
    std::vector<std::unique_ptr<Entry>> entries_;
};

// The process's one list.
StuckWrites& stuckWrites();

// What a write on the line came to: bytes written or -1, and whether that showed the device
// gone (a write still pending after its bound counts as gone).
struct WriteOutcome {
    int written = -1;
    bool gone = false;
};

class PortWriter {
  public:
    // Frames waiting for the line; the engine has one on the line at a time.
    static constexpr std::size_t kQueueFrames = 8;

    using WriteFn = std::function<WriteOutcome(const std::uint8_t* bytes, int length)>;
    using LostFn = std::function<void()>;

    // write runs on the writer thread, one frame at a time; lost is called there once, when a
    // write shows the device gone. No frame is taken when the thread cannot start.
    PortWriter(WriteFn write, LostFn lost);
    // stop(0) when not stopped already.
    ~PortWriter();
    PortWriter(const PortWriter&) = delete;
    PortWriter& operator=(const PortWriter&) = delete;

    // Copies the frame for the writer: length when taken, -1 when the queue is full, the
    // port's writes have failed it as gone, or there is no thread.
    int post(const std::uint8_t* bytes, int length);

    // Takes no more frames, drops those waiting and waits up to timeoutMs for the thread to
    // end. False when it is still inside a write: it is left to finish that write and then
    // ends, touching nothing but what it was given.
    bool stop(std::uint32_t timeoutMs);

    // True once the thread has ended (or never started).
    bool ended() const;

    // Writer threads running in the process, left ones included.
    static int liveThreads();

  private:
    struct Shared;
    static void run(std::shared_ptr<Shared> shared);

    std::shared_ptr<Shared> shared_;
    bool stopped_ = false;
};

}  // namespace korvel::comms
