#include "flash/page_program.h"

#include <algorithm>
#include <vector>

#include "base/checksum.h"
#include "base/results.h"
#include "base/text_format.h"
#include "base/tick.h"
#include "flash/nand_dialect.h"
#include "flash/nand_internal.h"
#include "flash/target_protocol.h"

namespace velmora {

int WriteBlockData(NandSession& nand, std::span<const uint8_t> data, int block, bool with_spare,
                   uint32_t length) {
    const uint32_t bytes_per_page = BytesPerPage(nand, with_spare);
    const uint32_t chunk_pages =
        nand.dialect().ChunkPageBytes() / static_cast<uint32_t>(nand.chip().geometry.page_size);
    const uint32_t chunk_bytes = chunk_pages * bytes_per_page;
    length = std::min<uint32_t>(length, static_cast<uint32_t>(data.size()));
    const uint32_t full_chunks = length / chunk_bytes;
    LogIfOpen(nand, [&] {
        return Format("\nWrite block#%d, prog multi blocks loops #%u!\n", block, full_chunks);
    });
    for (uint32_t i = 0; i < full_chunks; ++i) {
        const int r = WritePages(nand, data.subspan(size_t{i} * chunk_bytes, chunk_bytes), block,
                                 static_cast<int>(i * chunk_pages), static_cast<int>(chunk_pages),
                                 with_spare);
        if (r != 0) {
            return result::BlockWriteFailure(r);
        }
    }
    const uint32_t rest = length % chunk_bytes;
    if (rest > 0) {
        // Whole pages only: the tail of the last page goes out as erased bytes.
        const uint32_t pages = (rest - 1) / bytes_per_page + 1;
        std::vector<uint8_t> copy(size_t{pages} * bytes_per_page, 0xFF);
        const auto tail = data.subspan(size_t{full_chunks} * chunk_bytes, rest);
        std::copy(tail.begin(), tail.end(), copy.begin());
        const int r = WritePages(nand, copy, block, static_cast<int>(full_chunks * chunk_pages),
                                 static_cast<int>(pages), with_spare);
        if (r != 0) {
            return result::BlockWriteFailure(r);
        }
    }
    LogIfOpen(nand, [&] { return Format("Write block#%d successfully!\n\n", block); });
    return 0;
}

int WritePages(NandSession& nand, std::span<const uint8_t> data, int block, int first_page,
               int page_count, bool with_spare) {
    return nand.dialect().WritePages(nand, data, block, first_page, page_count,
                                     BytesPerPage(nand, with_spare));
}

int WriteSmallBlock(NandSession& nand, std::span<uint8_t> buffer, int block, bool with_spare,
                    uint32_t length) {
    if (length > 65536) {
        return result::page_program::kSmallBlockTooLong;
    }
    TargetLink& link = nand.link();
    const uint32_t bytes_per_page = BytesPerPage(nand, with_spare);
    const uint32_t pages = (length + bytes_per_page - 1) / bytes_per_page;
    const uint32_t total =
        std::min<uint32_t>(pages * bytes_per_page, static_cast<uint32_t>(buffer.size()));
    std::fill(buffer.begin() + std::min<size_t>(length, total), buffer.begin() + total, 0xFF);
    const auto payload = buffer.first(total);
    const CommandFrame frame(kCmdWriteBlock, {static_cast<uint32_t>(block), pages, 1u,
                                              bytes_per_page, total, 0u, Crc32(payload)});
    link.PurgeInput();
    LogIfOpen(nand,
              [&] { return Format("%08X: Write block(sp) #%d  command\n", TickCount(), block); });
    link.SendFrame(frame.span());
    if (!payload.empty()) {
        link.SendData(payload);
    }
    const int64_t program_us = int64_t{nand.chip().geometry.write_time} * pages;
    if (!nand.dialect().AwaitWriteAck(nand, payload.size() + kFrameSize, program_us)) {
        nand.attempt.text = Format("program(sp) block%d fail.", block);
        return result::page_program::kSmallBlockNoAck;
    }
    return 0;
}

}  // namespace velmora
