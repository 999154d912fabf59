#pragma once
// The bytes between the host and the running RAM loader: one implementation
// over the serial port, one over the USB bulk pipes. How each link speaks the
// loader's commands (acknowledgements, checks, range erases) is the NAND
// dialect's business (flash/nand_dialect.h), not this interface's.
//
// An answer that comes after its wait has ended belongs to no command. So after
// a wait that failed, the next command frame goes out only once the line has
// been drained until quiet; a line that cannot be drained takes no command, and
// every wait on it fails at once.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "base/job_timings.h"

namespace velmora {

class TargetLink {
  public:
    virtual ~TargetLink() = default;

    // Sends one 64-byte command frame. Serial: 0 (a lost frame shows as a missing
    // answer), or 1 when the line could not be drained after a failed wait. USB:
    // 0 done, else the pipe's error code.
    virtual int SendFrame(std::span<const uint8_t, 64> frame) = 0;

    // Sends a data phase. Serial: one write, 0 (1 when its frame did not go).
    // USB: 0 done, else the pipe's error code (callers split the data into the
    // pieces they need).
    virtual int SendData(std::span<const uint8_t> data) = 0;

    // Receives exactly buffer.size() bytes within `timeout_ms`. 0 done; non-zero
    // failed (time-out, abort, or the USB pipe's error code).
    virtual int Receive(std::span<uint8_t> buffer, int timeout_ms) = 0;

    // Serial only: reads and discards bytes until one equals `value`. True when
    // found within `timeout_ms`. USB: false.
    virtual bool WaitForByte(uint8_t value, int timeout_ms) = 0;

    // Serial only: drops stale input before a command. USB: nothing.
    virtual void PurgeInput() = 0;

    // Reads and drops whatever the phone sends until nothing has come for
    // `quiet_ms`. The bytes dropped, or −1 when the line did not fall quiet (Stop,
    // a link error, or bytes that never stop); the line counts as drained after 0
    // or more.
    long Drain(int quiet_ms) {
        const long dropped = DropUntilQuiet(quiet_ms);
        unsettled_ = dropped < 0;
        return dropped;
    }

    // Milliseconds that `bytes` take on the wire at the link's line rate, rounded
    // up. Waits for an answer that follows a data phase add this to their
    // time-out, so a slow line is not taken for a silent phone. USB: 0 (the bus is
    // fast beside the chip).
    virtual int WireMs(size_t /*bytes*/) const { return 0; }

    // Sends a command frame to which the phone answers with `answer_bytes` bytes
    // before it needs anything more, due within `timeout_ms`, and runs `meanwhile`
    // (if set) while the phone works and the link carries the answer (not when the
    // frame could not be sent at all: callers finish that work anyway). A USB link
    // reads the answer with one transfer submitted beside the frame's (asking for
    // no more: a transfer that waits for bytes the phone sends only after the next
    // command ends in a time-out); Receive then takes it. Otherwise as SendFrame.
    virtual int SendCommand(std::span<const uint8_t, 64> frame, size_t /*answer_bytes*/,
                            int /*timeout_ms*/, const std::function<void()>& meanwhile) {
        const int r = SendFrame(frame);
        if (meanwhile) {
            meanwhile();
        }
        return r;
    }

  protected:
    // The link's own reading and dropping for Drain. A link whose answers cannot
    // come late: 0.
    virtual long DropUntilQuiet(int /*quiet_ms*/) { return 0; }
    // A wait failed: its answer may still come, so the line must be drained
    // before the next command.
    void NoteFailedWait() { unsettled_ = true; }
    bool unsettled() const { return unsettled_; }
    // Before a command frame: true when the line is drained (or needs nothing).
    bool SettleForCommand() { return !unsettled_ || Drain(quiet_ms_) >= 0; }

    int quiet_ms_ = JobTimings{}.quiet_ms;  // the drain before a command after a failed wait

  private:
    bool unsettled_ = false;
};

}  // namespace velmora
