// The RAM loader's commands over the serial line: the loader echoes a CRC-32 of
// what it received, acknowledges with a single 'O', and erases one block per
// command.
#include <algorithm>

#include "base/checksum.h"
#include "base/results.h"
#include "base/text_format.h"
#include "base/tick.h"
#include "flash/nand_dialect.h"
#include "flash/nand_internal.h"
#include "flash/target_protocol.h"

namespace velmora {
namespace {

class SerialDialect final : public NandDialect {
  public:
    uint32_t ChunkPageBytes() const override { return 65536; }

    // 0, or a page_program code: no answer, a bad header or status, or the
    // loader's CRC of the data differs from the host's.
    int WritePages(NandSession& nand, std::span<const uint8_t> data, int block, int first_page,
                   int page_count, uint32_t page_bytes) override {
        TargetLink& link = nand.link();
        const uint32_t total = static_cast<uint32_t>(page_count) * page_bytes;
        const auto payload = data.first(std::min<size_t>(total, data.size()));
        const uint32_t crc = Crc32(payload);
        const CommandFrame frame(kCmdWritePages,
                                 {static_cast<uint32_t>(block), static_cast<uint32_t>(first_page),
                                  static_cast<uint32_t>(page_count), page_bytes, total, 0u, crc});
        link.PurgeInput();
        LogIfOpen(nand, [&] {
            return Format("%08X: Write block #%d multi page command\n", TickCount(), block);
        });
        link.SendFrame(frame.span());
        LogIfOpen(nand, [&] { return Format("%08X: Write data\n", TickCount()); });
        if (!payload.empty()) {
            link.SendData(payload);
        }
        LogIfOpen(nand, [&] { return Format("%08X: Wait response from target\n", TickCount()); });
        // The answer comes after the data has crossed the line and the pages are programmed.
        const int wait_ms =
            AnswerMs(nand, nand.timings().response_ms, payload.size() + 2 * kFrameSize,
                     int64_t{nand.chip().geometry.write_time} * page_count);
        ResponseFrame response;
        const Reply reply = AwaitAnswer(link, response, wait_ms);
        if (reply.kind == Reply::kMissing) {
            return result::page_program::kNoAnswer;
        }
        LogIfOpen(nand, [&] { return Format("%08X: Get response from target\n", TickCount()); });
        if (reply.kind == Reply::kRefused) {
            // "Write nb fial" is kept as phones' tools and logs know it.
            nand.attempt.text =
                Format("Write nb fial %x, %x", response.header(), response.status());
            return result::page_program::kBadStatus;
        }
        const uint32_t echoed = response.data_checksum();
        if (echoed != kNoChecksum && echoed != crc) {
            nand.attempt.text = Format("CRC32 Check Exp: 0x%x, Act: 0x%x", crc, echoed);
            return result::page_program::kCrcMismatch;
        }
        return 0;
    }

    bool AwaitWriteAck(NandSession& nand, size_t sent, int64_t chip_us) override {
        return nand.link().WaitForByte(kAck,
                                       AnswerMs(nand, nand.timings().ack_ms, sent + 1, chip_us));
    }

    bool AwaitParametersAck(NandSession& nand) override {
        return nand.link().WaitForByte(kAck, AnswerMs(nand, nand.timings().ack_ms, kFrameSize + 1));
    }
    // "Nanf" is kept as phones' tools and logs know it.
    const char* ParametersFailText() const override { return "Set Nanf Flash Parameter fail!"; }

    // 0, or erase::kFailed ("Erase block%d fail.").
    int EraseBlock(NandSession& nand, int block) override {
        TargetLink& link = nand.link();
        const CommandFrame frame(kCmdErase, {static_cast<uint32_t>(block), 0u, 0u, 0u});
        const int wait_ms =
            AnswerMs(nand, nand.timings().ack_ms, kFrameSize + 1, nand.chip().geometry.erase_time);
        // A lost acknowledgement sends the erase again: erasing twice does no harm.
        return RetryOnce(
            nand, Format("Erase block #%d", block),
            [&] {
                link.SendFrame(frame.span());
                if (!link.WaitForByte(kAck, wait_ms)) {
                    nand.attempt.text = Format("Erase block%d fail.", block);
                    return result::erase::kFailed;
                }
                return 0;
            },
            [](int) { return true; }, nand.chip().geometry.erase_time);
    }

    // One command per block, in order.
    int EraseRange(NandSession& nand, int first, int end, const VisitBlock& visit,
                   const BlockErased& erased, int* failed) override {
        return WalkRange(nand, first, end, visit, [&](int b) {
            if (const int c = EraseBlock(nand, b); c != 0) {
                *failed = b;
                return c;
            }
            erased(b);
            return 0;
        });
    }

    void NoIdAnswer(NandSession& nand, int) override {
        // "FLash" is kept as phones' tools and logs know it.
        nand.reporter.SetStatus("读NAND FLash ID错误！");
        nand.attempt.text = "读NAND FLash ID错误！";
    }
    void BadIdAnswer(NandSession&, uint16_t, uint32_t) override {}
    void Identified(NandSession& nand) override { nand.link().PurgeInput(); }
};

}  // namespace

std::unique_ptr<NandDialect> MakeSerialDialect() {
    return std::make_unique<SerialDialect>();
}

}  // namespace velmora
