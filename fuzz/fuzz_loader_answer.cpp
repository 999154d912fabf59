// The RAM loader's answers as the host judges them: a response frame (at every
// status limit the commands use), then a bad-block management record and an
// IBT, mapped block by block as the erase, the download and the read-back map
// them.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "flash/management_record.h"
#include "flash/nand_internal.h"
#include "flash/nand_session.h"
#include "link/loader_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velmora;
    if (size < kFrameSize + 4) {
        return 0;
    }
    ResponseFrame answer;
    std::memcpy(answer.bytes.data(), data, kFrameSize);
    for (const uint32_t limit : {0u, 20u, std::numeric_limits<uint32_t>::max()}) {
        if (Accepted(answer, limit) && !answer.HeaderOk()) {
            __builtin_trap();
        }
    }
    for (size_t offset = 4; offset <= kFrameSize - 4; offset += 4) {
        (void)answer.Word(offset);
    }
    data += kFrameSize;
    size -= kFrameSize;

    // A geometry from the first bytes: page sizes 512 or 2048, up to 16384 blocks.
    NandSession nand(nullptr, false);
    nand.chip().geometry.block_count = 1 + ((data[0] | data[1] << 8) % 16384);
    nand.chip().geometry.page_size = (data[2] & 1) != 0 ? 512 : 2048;
    nand.chip().geometry.block_size = nand.chip().geometry.page_size * 32;
    data += 4;
    size -= 4;

    std::array<uint8_t, ManagementRecord::kBytes> record{};
    const size_t taken = std::min(size, record.size());
    std::memcpy(record.data(), data, taken);
    nand.chip().record.FromBytes(record);
    data += taken;
    size -= taken;
    std::memcpy(nand.chip().ibt.data(), data, std::min(size, nand.chip().ibt.size()));

    const bool maps = RecordMapsBadBlocks(nand);
    for (int b = 0; b < nand.chip().geometry.block_count; ++b) {
        const int mapped = MappedBlock(nand, b);
        if (mapped < 0 || mapped >= nand.chip().geometry.block_count) {
            __builtin_trap();  // a mapping must never lead off the chip
        }
        if (BadWithoutReplacement(nand, b) && (nand.chip().IbtGood(b) || mapped != b)) {
            __builtin_trap();
        }
        (void)maps;
    }
    return 0;
}
