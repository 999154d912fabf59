#pragma once
// The RAM loader's command handling, independent of the wire: it takes one
// 64-byte command frame at a time and talks to the host through LoaderIo for
// the data phases and answers. The serial phone feeds it frames from the byte
// stream; a USB phone can feed it frames from a bulk pipe (Link::kUsb selects
// the USB answers: 64-byte responses instead of 'O' bytes, ECC codes after a
// page write, range erases).
#include <array>
#include <cstddef>
#include <cstdint>
#include <random>

#include "sim/nand.h"
#include "sim/options.h"
#include "sim/trace.h"

namespace velmora::sim {

inline constexpr size_t kFrameBytes = 64;
inline constexpr size_t kRecordBytes = 4108;
inline constexpr uint32_t kRecordMagic = 0x01020304u;
using Frame = std::array<uint8_t, kFrameBytes>;

uint32_t GetU32(const uint8_t* p);
void PutU32(uint8_t* p, uint32_t v);

// A command frame as the loader reads it: header 0x55 0xAA, a 16-bit command, seven
// 32-bit arguments, then 32 bytes that should be zero.
struct FrameFields {
    bool header = false;
    int command = 0;
    std::array<uint32_t, 7> args{};
    bool tail_clear = false;
};
FrameFields DecodeFrame(const Frame& frame);

// Finds the header that starts a frame in the serial byte stream, byte by byte.
class FrameHeaderScan {
  public:
    // True when `byte` completes a header.
    bool Feed(uint8_t byte) {
        ++seen_;
        const bool found = seen_ >= 2 && previous_ == 0x55 && byte == 0xAA;
        previous_ = byte;
        return found;
    }
    // The bytes that came before the header.
    size_t skipped() const { return seen_ >= 2 ? seen_ - 2 : 0; }

  private:
    size_t seen_ = 0;
    uint8_t previous_ = 0;
};

class LoaderIo {
  public:
    virtual ~LoaderIo() = default;
    // Receives exactly `n` bytes of a data phase; false when they did not come.
    virtual bool Receive(uint8_t* data, size_t n) = 0;
    // Sends bytes to the host; false when the link is gone.
    virtual bool Send(const uint8_t* data, size_t n) = 0;
    // The chip is busy for this long (the erase and program times).
    virtual void ChipBusy(int64_t /*microseconds*/) {}
    // Command 4: the line changes to this rate.
    virtual void SetBaud(uint32_t /*baud*/) {}
    // Fault injection: the port goes away.
    virtual void Vanish() {}
    // Fault injection: nothing goes out for `ms` (a late answer). False when the
    // session ended meanwhile. A link without time (a byte stream): no wait.
    virtual bool Hold(int /*ms*/) { return true; }
};

enum class Link { kSerial, kUsb };

class RamLoader {
  public:
    RamLoader(NandChip& chip, Trace& trace, FaultSet& faults, Link link);

    // Runs one command. False when the link is gone and the session is over.
    bool Execute(const Frame& frame, LoaderIo& io);

  private:
    struct Answer;
    // Execute once the faults of the frame are known.
    bool Run(const Frame& frame, const FrameFields& fields, Answer& a, LoaderIo& io);
    bool Respond(Answer& answer, LoaderIo& io);
    bool Ack(Answer& a, bool ok, LoaderIo& io);
    // The "stray" fault: junk sent ahead of the answer, and traced.
    bool SendStray(const Answer& a, const std::vector<uint8_t>& junk, LoaderIo& io);
    bool ReadNandId(Answer& a);
    bool SetParameters(const uint32_t* args, Answer& a, LoaderIo& io);
    bool GetIbt(const uint32_t* args, Answer& a, LoaderIo& io);
    bool WritePages(int command, const uint32_t* args, Answer& a, LoaderIo& io);
    bool Erase(const uint32_t* args, Answer& a, LoaderIo& io);
    bool ReadBlock(const uint32_t* args, Answer& a, LoaderIo& io);
    bool ReadPage(const uint32_t* args, Answer& a, LoaderIo& io);
    bool ReadRecord(const uint32_t* args, Answer& a, LoaderIo& io);
    bool InitSdi(Answer& a, LoaderIo& io);
    bool SendData(Answer& a, const uint8_t* data, size_t n, LoaderIo& io);
    // The "noise" fault: random values in the answer bytes the wire format leaves
    // open for this command.
    void FillOpenBytes(Answer& a);

    NandChip& chip_;
    Trace& trace_;
    FaultSet& faults_;
    Link link_;
    bool parameters_set_ = false;
    std::mt19937 noise_{std::random_device{}()};
};

}  // namespace velmora::sim
