// The RAM loader's commands over USB: data in pipe pieces of 64 KiB, a write
// checked by the pages' ECC codes the loader returns (and the pages beyond
// them read back), acknowledgements as answers, and a range erased by one
// command.
#include <algorithm>
#include <vector>

#include "base/checksum.h"
#include "base/results.h"
#include "base/text_format.h"
#include "base/tick.h"
#include "flash/nand_dialect.h"
#include "flash/nand_internal.h"
#include "flash/read_back.h"
#include "flash/target_protocol.h"

namespace velmora {
namespace {

constexpr size_t kEccUnit = 256;
constexpr size_t kEccBytesPerPage = 32;  // eight codes of four bytes

// Logs the text and makes it the job's error text.
void Fail(NandSession& nand, const std::string& text) {
    nand.reporter.WriteLog(text);
    nand.attempt.text = text;
}

// A code is 22 bits in a 32-bit word; the word's top bits are the loader's own
// and say nothing about the data.
bool SameCodes(std::span<const uint8_t> host, std::span<const uint8_t> target) {
    constexpr uint32_t kCodeBits = 0x3FFFFF;
    for (size_t at = 0; at + 4 <= host.size(); at += 4) {
        if (((LoadLe32(&host[at]) ^ LoadLe32(&target[at])) & kCodeBits) != 0) {
            return false;
        }
    }
    return true;
}

namespace code = result::page_program;

// The largest piece of one pipe write in a data phase.
constexpr size_t kUsbPieceBytes = 65536;

// The phone's codes cover the first `covered` bytes of what it received; pages
// carrying their spare bytes (or pages above 2048 bytes) reach past that. Those
// pages are read back and compared, so no byte that was sent goes unchecked.
int CheckUncoveredPages(NandSession& nand, std::span<const uint8_t> data, int block, int first_page,
                        int page_count, uint32_t page_bytes, size_t covered) {
    if (covered >= data.size()) {
        return 0;
    }
    std::vector<uint8_t> page(page_bytes);
    for (int p = static_cast<int>(covered / page_bytes); p < page_count; ++p) {
        const int at = first_page + p;
        const int r = RetryOnce(nand, Format("Read back block #%d page %d", block, at),
                                [&] { return ReadPage(nand, page, block, at, page_bytes); });
        if (r != 0) {
            Fail(nand,
                 Format("Block %d page %d could not be read back to check it, #%d", block, at, r));
            return code::kUsbNoAnswer;
        }
        if (!std::equal(page.begin(), page.end(),
                        data.begin() + static_cast<std::ptrdiff_t>(p) * page_bytes)) {
            Fail(nand,
                 Format("Block %d page %d reads back different from what was written", block, at));
            return code::kUsbBadStatusOrEcc;
        }
    }
    return 0;
}

class UsbDialect final : public NandDialect {
  public:
    uint32_t ChunkPageBytes() const override { return 131072; }

    // 0, or a page_program code: the frame or a piece of data could not be sent;
    // no answer or no codes; a bad header or status, codes that differ from the
    // host's, or a page beyond the codes that reads back different.
    int WritePages(NandSession& nand, std::span<const uint8_t> data, int block, int first_page,
                   int page_count, uint32_t page_bytes) override {
        TargetLink& link = nand.link();
        Reporter& reporter = nand.reporter;
        const size_t total = static_cast<size_t>(page_count) * page_bytes;
        // Pages the caller did not fill go out as erased bytes.
        std::vector<uint8_t> padded;
        if (data.size() < total) {
            padded.assign(total, 0xFF);
            std::copy(data.begin(), data.end(), padded.begin());
            data = padded;
        }
        const CommandFrame frame(
            kCmdWritePages,
            {static_cast<uint32_t>(block), static_cast<uint32_t>(first_page),
             static_cast<uint32_t>(page_count), page_bytes, static_cast<uint32_t>(total), 0, 0});

        reporter.WriteLog(Format("%08X: Write block #%d multi page command\n", TickCount(), block));
        if (const int r = link.SendFrame(frame.span()); r != 0) {
            reporter.WriteLog(Format("usb tx command fail, error code #%d!\n", r));
            return code::kUsbSendFailed;
        }

        reporter.WriteLog(Format("%08X: Write data\n", TickCount()));
        for (size_t at = 0; at < total && !nand.Aborted(); at += kUsbPieceBytes) {
            const size_t n = std::min<size_t>(kUsbPieceBytes, total - at);
            const int r = link.SendData(data.subspan(at, n));
            reporter.ShowElapsed(TicksSince(reporter.start_tick));
            if (r != 0) {
                const std::string text =
                    Format("\nUSB device write error(write_nf_multi_page), #%d", r);
                Fail(nand, text);
                reporter.SetStatus(text);
                return code::kUsbDataFailed;
            }
        }

        // The host's codes, one per 256 bytes from the start of the data, made while the
        // target programs. Units past the data (pages below 2048 bytes) count as erased.
        const size_t code_bytes = static_cast<size_t>(page_count) * kEccBytesPerPage;
        std::vector<uint8_t> host_codes(code_bytes);
        std::vector<uint8_t> unit(kEccUnit);
        for (size_t k = 0; k < code_bytes / 4; ++k) {
            const size_t at = k * kEccUnit;
            const uint8_t* bytes = data.data() + at;
            if (at + kEccUnit > total) {
                std::fill(unit.begin(), unit.end(), 0xFF);
                if (at < total) {
                    std::copy(data.begin() + at, data.begin() + total, unit.begin());
                }
                bytes = unit.data();
            }
            StoreLe32(&host_codes[4 * k], EccOf256(bytes));
        }
        reporter.WriteLog(Format("%08X: Wait response from target\n", TickCount()));
        ResponseFrame response;
        const int64_t program_us = int64_t{nand.chip().geometry.write_time} * page_count;
        const Reply reply = AwaitAnswer(
            link, response, AnswerMs(nand, nand.timings().usb_response_ms, 0, program_us));
        if (reply.kind == Reply::kMissing) {
            Fail(nand, Format("\nusb rx command fail, error code #%d!\n", reply.link_code));
            return code::kUsbNoAnswer;
        }
        reporter.WriteLog(Format("%08X: Get response from target\n", TickCount()));
        if (reply.kind == Reply::kRefused) {
            // "Write nb fial" is kept as phones' tools and logs know it.
            Fail(nand, Format("\nWrite nb fial %x, %x\n", response.header(), response.status()));
            return code::kUsbBadStatusOrEcc;
        }

        std::vector<uint8_t> target_codes(code_bytes);
        if (const int r = link.Receive(target_codes, nand.timings().usb_response_ms); r != 0) {
            Fail(nand, Format("\nusb rx ecc code fail, error code #%d!\n", r));
            return code::kUsbNoAnswer;
        }
        if (!SameCodes(host_codes, target_codes)) {
            // "unmatch" is kept as phones' tools and logs know it.
            Fail(nand, "ECC code unmatch, wrong in program or data transfer!\r\n");
            return code::kUsbBadStatusOrEcc;
        }
        return CheckUncoveredPages(nand, data.first(total), block, first_page, page_count,
                                   page_bytes, code_bytes / 4 * kEccUnit);
    }

    bool AwaitWriteAck(NandSession& nand, size_t, int64_t chip_us) override {
        uint8_t answer[1] = {0};
        return nand.link().Receive(answer,
                                   AnswerMs(nand, nand.timings().response_ms, 0, chip_us)) == 0 &&
               answer[0] == kAck;
    }

    bool AwaitParametersAck(NandSession& nand) override {
        ResponseFrame response;  // contents not examined
        return ReceiveResponse(nand.link(), response, nand.timings().response_ms) == 0;
    }
    const char* ParametersFailText() const override { return "Set Nand Flash Parameter fail!"; }

    int EraseBlock(NandSession& nand, int block) override {
        return EraseBlocks(nand, block, block + 1);
    }

    // One command for the whole range, then the visits.
    int EraseRange(NandSession& nand, int first, int end, const VisitBlock& visit,
                   const BlockErased& erased, int* failed) override {
        if (const int c = EraseBlocks(nand, first, end); c != 0) {
            *failed = -1;
            return c;
        }
        return WalkRange(nand, first, end, visit, [&](int b) {
            erased(b);
            return 0;
        });
    }

    void NoIdAnswer(NandSession& nand, int code) override {
        nand.attempt.text = Format("\nread usb dlv error, #%d", code);
        nand.reporter.WriteLog(nand.attempt.text);
        nand.reporter.SetStatus("USB device read error");
    }
    void BadIdAnswer(NandSession& nand, uint16_t header, uint32_t status) override {
        nand.reporter.WriteLog(
            Format("\nReceive command error, header: 0x%04X, res: 0x%08X!", header, status));
    }
    void Identified(NandSession& nand) override {
        const auto& id = nand.chip().nand_id;
        const NandGeometry& g = nand.chip().geometry;
        nand.reporter.WriteLog(
            Format("\nFind NAND FLASH, ID: %02X, %02X, %02X, %02X\n", id[0], id[1], id[2], id[3]));
        nand.reporter.WriteLog(Format(
            "\nNAND FLASH Parameter:\n  Total blocks:  %d,\n  Block Size:    %d,\n  Page Size:     "
            "%d.\n",
            g.block_count, g.block_size, g.page_size));
    }

  private:
    // Command 10 for [first, end): one frame, one answer when the phone is done.
    // 0; erase::kNoAnswer; erase::kFailed for a failure status, or an answer still
    // damaged when asked again.
    int EraseBlocks(NandSession& nand, int first, int end) {
        TargetLink& link = nand.link();
        const CommandFrame frame(kCmdErase,
                                 {static_cast<uint32_t>(first), 0, 0, static_cast<uint32_t>(end)});
        // The phone answers when the whole range is erased.
        const int64_t chip_us = int64_t{nand.chip().geometry.erase_time} * std::max(end - first, 1);
        const int wait_ms = AnswerMs(nand, nand.timings().response_ms, 2 * kFrameSize, chip_us);
        constexpr int kDamaged = -1;
        ResponseFrame response;
        // A lost or damaged answer sends the erase again: erasing twice does no harm.
        // A failure status is the phone's word and stands.
        const int r = RetryOnce(
            nand, Format("Erase blocks #%d to #%d", first, end - 1),
            [&] {
                const Reply reply = Transact(link, frame, response, wait_ms);
                if (reply.kind == Reply::kMissing) {
                    return result::erase::kNoAnswer;
                }
                return reply.kind == Reply::kGood ? 0
                       : response.HeaderOk()      ? result::erase::kFailed
                                                  : kDamaged;
            },
            [](int c) { return c != result::erase::kFailed; }, chip_us);
        if (r == result::erase::kFailed || r == kDamaged) {
            Fail(nand, Format("Erase block%d fail, 0x%x", first, response.status()));
            return result::erase::kFailed;
        }
        return r;
    }
};

}  // namespace

std::unique_ptr<NandDialect> MakeUsbDialect() {
    return std::make_unique<UsbDialect>();
}

}  // namespace velmora
