#pragma once
// The RAM loader's command frames, as both links carry them: 64 bytes,
// little-endian; see the command table below.
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>

namespace velmora {

class TargetLink;

inline constexpr size_t kFrameSize = 64;
inline constexpr uint16_t kFrameHeader = 0xAA55;
inline constexpr uint32_t kNoChecksum = 0xFFFFFFFF;
inline constexpr uint8_t kAck = 0x4F;  // 'O'

enum TargetCommand : uint16_t {
    kCmdSetBaudRate = 4,     // serial only: arg1 baud; no response
    kCmdReadNandId = 5,      // response: ID bytes in the low bytes of words at 4, 8, 12, 16
    kCmdSetNandParams = 6,   // B, block size, page size, spare, small-page flag, large-chip flag
    kCmdGetIbt = 7,          // B; response, then 2048 bytes
    kCmdWritePages = 8,      // block, first page, count, bytes/page, total, 0, CRC (serial)
    kCmdWriteBlock = 9,      // block, pages, 1, bytes/page, total, 0, CRC
    kCmdErase = 10,          // block, 0, 0, end block (USB) or 0 (serial)
    kCmdReadBlock = 11,      // block, pages per block, bytes per page
    kCmdReadPage = 13,       // block, page, byte count
    kCmdInitSdi = 14,        // USB only: 0, parameter
    kCmdReadMgmtRecord = 20  // R, B; response, then 4108 bytes
};

inline uint32_t LoadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline void StoreLe32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// A host-to-target command frame: header, command code, up to seven arguments,
// the rest zero.
struct CommandFrame {
    std::array<uint8_t, kFrameSize> bytes{};

    CommandFrame(uint16_t command, std::initializer_list<uint32_t> arguments);
    uint16_t command() const { return static_cast<uint16_t>(bytes[2] | bytes[3] << 8); }
    // Argument 1..7 (offset 4 × n).
    uint32_t Argument(int n) const { return LoadLe32(bytes.data() + 4 * n); }
    std::span<const uint8_t, kFrameSize> span() const { return bytes; }
};

// A target-to-host response frame.
struct ResponseFrame {
    std::array<uint8_t, kFrameSize> bytes{};

    uint16_t header() const { return static_cast<uint16_t>(bytes[0] | bytes[1] << 8); }
    bool HeaderOk() const { return header() == kFrameHeader; }
    uint32_t Word(size_t offset) const { return LoadLe32(bytes.data() + offset); }
    uint32_t status() const { return Word(60); }
    uint32_t data_checksum() const { return Word(56); }    // commands 8, 11, 13
    uint32_t record_checksum() const { return Word(52); }  // command 20
    std::span<uint8_t, kFrameSize> span() { return bytes; }
};

// Receives one response frame; 0 done, else the link's failure code.
int ReceiveResponse(TargetLink& link, ResponseFrame& response, int timeout_ms);

// Whether an answer frame says yes: its header is 0xAA55 and its status at most
// `max_status`. No I/O: the one place answers are judged.
bool Accepted(const ResponseFrame& answer, uint32_t max_status = 0);

// How the answer to a command came back.
struct Reply {
    enum Kind { kGood, kMissing, kRefused };
    Kind kind = kMissing;
    int link_code = 0;  // kMissing: the link's failure code
};
// Receives the answer frame within `timeout_ms` and judges it (Accepted).
Reply AwaitAnswer(TargetLink& link, ResponseFrame& answer, int timeout_ms, uint32_t max_status = 0);
// Sends `frame`, then AwaitAnswer: one command exchange.
Reply Transact(TargetLink& link, const CommandFrame& frame, ResponseFrame& answer, int timeout_ms,
               uint32_t max_status = 0);

}  // namespace velmora
