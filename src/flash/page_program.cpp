#include "flash/page_program.h"

#include <algorithm>
#include <vector>

#include "base/checksum.h"
#include "flash/nand_internal.h"
#include "flash/target_protocol.h"
#include "flash/usb_nand.h"
#include "base/text_format.h"
#include "base/tick.h"

namespace velmora {
namespace {

// Page bytes that one command 8 carries.
uint32_t ChunkPageBytes(LinkKind kind) {
    return kind == LinkKind::kUsb ? 131072u : 65536u;
}

}  // namespace

int WriteBlockData(DownloadJob& job, std::span<const uint8_t> data, int block, bool with_spare,
                   uint32_t length) {
    const LinkKind kind = job.target().kind();
    const uint32_t bytes_per_page = BytesPerPage(job, with_spare);
    const uint32_t chunk_pages =
        ChunkPageBytes(kind) / static_cast<uint32_t>(job.geometry.page_size);
    const uint32_t chunk_bytes = chunk_pages * bytes_per_page;
    length = std::min<uint32_t>(length, static_cast<uint32_t>(data.size()));
    const uint32_t full_chunks = length / chunk_bytes;
    if (kind == LinkKind::kUsb) {
        LogIfOpen(job, [&] {
            return Format("\nWrite block#%d, prog multi blocks loops #%u!\n", block, full_chunks);
        });
    }
    for (uint32_t i = 0; i < full_chunks; ++i) {
        const int r = WritePages(job, data.subspan(size_t{i} * chunk_bytes, chunk_bytes), block,
                                 static_cast<int>(i * chunk_pages), static_cast<int>(chunk_pages),
                                 with_spare);
        if (r != 0) {
            return r + 100;
        }
    }
    const uint32_t rest = length % chunk_bytes;
    if (rest > 0) {
        // Whole pages only: the tail of the last page goes out as erased bytes.
        const uint32_t pages = (rest - 1) / bytes_per_page + 1;
        std::vector<uint8_t> copy(size_t{pages} * bytes_per_page, 0xFF);
        const auto tail = data.subspan(size_t{full_chunks} * chunk_bytes, rest);
        std::copy(tail.begin(), tail.end(), copy.begin());
        const int r = WritePages(job, copy, block, static_cast<int>(full_chunks * chunk_pages),
                                 static_cast<int>(pages), with_spare);
        if (r != 0) {
            return r + 100;
        }
    }
    if (kind == LinkKind::kUsb) {
        LogIfOpen(job, [&] { return Format("Write block#%d successfully!\n\n", block); });
    }
    return 0;
}

int WritePages(DownloadJob& job, std::span<const uint8_t> data, int block, int first_page,
               int page_count, bool with_spare) {
    const uint32_t bytes_per_page = BytesPerPage(job, with_spare);
    if (IsUsb(job)) {
        return UsbWritePages(job, data, block, first_page, page_count, bytes_per_page);
    }
    TargetLink& link = job.target();
    const uint32_t total = static_cast<uint32_t>(page_count) * bytes_per_page;
    const auto payload = data.first(std::min<size_t>(total, data.size()));
    const uint32_t crc = Crc32(payload);
    const CommandFrame frame(kCmdWritePages,
                             {static_cast<uint32_t>(block), static_cast<uint32_t>(first_page),
                              static_cast<uint32_t>(page_count), bytes_per_page, total, 0u, crc});
    link.PurgeInput();
    LogIfOpen(job, [&] {
        return Format("%08X: Write block #%d multi page command\n", TickCount(), block);
    });
    link.SendFrame(frame.span());
    LogIfOpen(job, [&] { return Format("%08X: Write data\n", TickCount()); });
    if (!payload.empty()) {
        link.SendData(payload);
    }
    LogIfOpen(job, [&] { return Format("%08X: Wait response from target\n", TickCount()); });
    // The answer comes after the data has crossed the line and the pages are programmed.
    const int wait_ms = AnswerMs(job, job.timings.response_ms, payload.size() + 2 * kFrameSize,
                                 int64_t{job.geometry.write_time} * page_count);
    ResponseFrame response;
    if (ReceiveResponse(link, response, wait_ms) != 0) {
        return 3;
    }
    LogIfOpen(job, [&] { return Format("%08X: Get response from target\n", TickCount()); });
    if (!response.HeaderOk() || response.status() != 0) {
        job.error_text = Format("Write nb fial %x, %x", response.header(), response.status());
        return 4;
    }
    const uint32_t echoed = response.data_checksum();
    if (echoed != kNoChecksum && echoed != crc) {
        job.error_text = Format("CRC32 Check Exp: 0x%x, Act: 0x%x", crc, echoed);
        return 5;
    }
    return 0;
}

int WriteSmallBlock(DownloadJob& job, std::span<uint8_t> buffer, int block, bool with_spare,
                    uint32_t length) {
    if (length > 65536) {
        return -1000;
    }
    TargetLink& link = job.target();
    const uint32_t bytes_per_page = BytesPerPage(job, with_spare);
    const uint32_t pages = (length + bytes_per_page - 1) / bytes_per_page;
    const uint32_t total =
        std::min<uint32_t>(pages * bytes_per_page, static_cast<uint32_t>(buffer.size()));
    std::fill(buffer.begin() + std::min<size_t>(length, total), buffer.begin() + total, 0xFF);
    const auto payload = buffer.first(total);
    const CommandFrame frame(kCmdWriteBlock, {static_cast<uint32_t>(block), pages, 1u,
                                              bytes_per_page, total, 0u, Crc32(payload)});
    const bool usb = link.kind() == LinkKind::kUsb;
    if (!usb) {
        link.PurgeInput();
    }
    LogIfOpen(job,
              [&] { return Format("%08X: Write block(sp) #%d  command\n", TickCount(), block); });
    link.SendFrame(frame.span());
    if (!payload.empty()) {
        link.SendData(payload);
    }
    const int64_t program_us = int64_t{job.geometry.write_time} * pages;
    bool acknowledged = false;
    if (usb) {
        uint8_t answer[1] = {0};
        acknowledged =
            link.Receive(answer, AnswerMs(job, job.timings.response_ms, 0, program_us)) == 0 &&
            answer[0] == kAck;
    } else {
        acknowledged = link.WaitForByte(
            kAck, AnswerMs(job, job.timings.ack_ms, payload.size() + kFrameSize + 1, program_us));
    }
    if (!acknowledged) {
        job.error_text = Format("program(sp) block%d fail.", block);
        return 3010;
    }
    return 0;
}

}  // namespace velmora
