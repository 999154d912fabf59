#include "usb/usb_nand.h"

#include <algorithm>
#include <vector>

#include "base/checksum.h"
#include "base/text_format.h"
#include "base/tick.h"
#include "flash/nand_internal.h"
#include "flash/read_back.h"
#include "flash/target_link.h"
#include "flash/target_protocol.h"
#include "job/download_job.h"

namespace velmora {
namespace {

constexpr size_t kEccUnit = 256;
constexpr size_t kEccBytesPerPage = 32;  // eight codes of four bytes

// Logs the text and makes it the job's error text.
void Fail(DownloadJob& job, const std::string& text) {
    job.reporter.WriteLog(text);
    job.error_text = text;
}

using usb::kUsbPieceBytes;

// The phone's codes cover the first `covered` bytes of what it received; pages
// carrying their spare bytes (or pages above 2048 bytes) reach past that. Those
// pages are read back and compared, so no byte that was sent goes unchecked.
int CheckUncoveredPages(DownloadJob& job, std::span<const uint8_t> data, int block, int first_page,
                        int page_count, uint32_t page_bytes, size_t covered) {
    if (covered >= data.size()) {
        return 0;
    }
    std::vector<uint8_t> page(page_bytes);
    for (int p = static_cast<int>(covered / page_bytes); p < page_count; ++p) {
        const int at = first_page + p;
        const int r = RetryOnce(job, Format("Read back block #%d page %d", block, at),
                                [&] { return ReadPage(job, page, block, at, page_bytes); });
        if (r != 0) {
            Fail(job,
                 Format("Block %d page %d could not be read back to check it, #%d", block, at, r));
            return 3;
        }
        if (!std::equal(page.begin(), page.end(),
                        data.begin() + static_cast<std::ptrdiff_t>(p) * page_bytes)) {
            Fail(job,
                 Format("Block %d page %d reads back different from what was written", block, at));
            return 4;
        }
    }
    return 0;
}

}  // namespace

int UsbWritePages(DownloadJob& job, std::span<const uint8_t> data, int block, int first_page,
                  int page_count, uint32_t page_bytes) {
    TargetLink& link = job.target();
    Reporter& reporter = job.reporter;
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
        return 1;
    }

    reporter.WriteLog(Format("%08X: Write data\n", TickCount()));
    for (size_t at = 0; at < total && !job.Aborted(); at += kUsbPieceBytes) {
        const size_t n = std::min<size_t>(kUsbPieceBytes, total - at);
        const int r = link.SendData(data.subspan(at, n));
        reporter.ShowElapsed(TicksSince(reporter.start_tick));
        if (r != 0) {
            const std::string text =
                Format("\nUSB device write error(write_nf_multi_page), #%d", r);
            Fail(job, text);
            reporter.SetStatus(text);
            return -999;
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
    const int64_t program_us = int64_t{job.geometry.write_time} * page_count;
    if (const int r = ReceiveResponse(link, response,
                                      AnswerMs(job, job.timings.usb_response_ms, 0, program_us));
        r != 0) {
        Fail(job, Format("\nusb rx command fail, error code #%d!\n", r));
        return 3;
    }
    reporter.WriteLog(Format("%08X: Get response from target\n", TickCount()));
    if (!response.HeaderOk() || response.status() != 0) {
        Fail(job, Format("\nWrite nb fial %x, %x\n", response.header(), response.status()));
        return 4;
    }

    std::vector<uint8_t> target_codes(code_bytes);
    if (const int r = link.Receive(target_codes, job.timings.usb_response_ms); r != 0) {
        Fail(job, Format("\nusb rx ecc code fail, error code #%d!\n", r));
        return 3;
    }
    if (host_codes != target_codes) {
        Fail(job, "ECC code unmatch, wrong in program or data transfer!\r\n");
        return 4;
    }
    return CheckUncoveredPages(job, data.first(total), block, first_page, page_count, page_bytes,
                               code_bytes / 4 * kEccUnit);
}

int UsbEraseBlocks(DownloadJob& job, int first, int end) {
    TargetLink& link = job.target();
    const CommandFrame frame(kCmdErase,
                             {static_cast<uint32_t>(first), 0, 0, static_cast<uint32_t>(end)});
    // The phone answers when the whole range is erased.
    const int wait_ms = AnswerMs(job, job.timings.response_ms, 2 * kFrameSize,
                                 int64_t{job.geometry.erase_time} * std::max(end - first, 1));
    ResponseFrame response;
    // A lost answer sends the erase again: erasing twice does no harm.
    const int r = RetryOnce(job, Format("Erase blocks #%d to #%d", first, end - 1), [&] {
        link.SendFrame(frame.span());
        return ReceiveResponse(link, response, wait_ms) != 0 ? 3000 : 0;
    });
    if (r != 0) {
        return r;
    }
    if (!response.HeaderOk() || response.status() != 0) {
        Fail(job, Format("Erase block%d fail, 0x%x", first, response.status()));
        return 3010;
    }
    return 0;
}

}  // namespace velmora
