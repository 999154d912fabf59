#include "flash/boot_image.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "base/input_file.h"
#include "base/results.h"
#include "base/text_format.h"
#include "flash/block_erase.h"
#include "flash/nand_internal.h"
#include "flash/page_program.h"
#include "flash/read_back.h"
#include "flash/target_protocol.h"

namespace velmora {
namespace {

void Fail(NandSession& nand, const std::string& text) {
    nand.attempt.text = text;
    nand.reporter.WriteLog(text);
}

namespace code = result::boot_block;

// Not a result: a retry whose erase drew more than one answer.
constexpr int kTwoAnswers = -1000000;

// How a layout composes block 0's failures: from the erase's code, and from the
// block write's.
struct BlockZeroCodes {
    int (*erase_failure)(int);
    int (*write_failure)(int);
};
constexpr BlockZeroCodes kClassicCodes{result::BootEraseFailure, result::BootWriteFailure};
constexpr BlockZeroCodes kV3Codes{result::BootV3EraseFailure, result::BootV3WriteFailure};

// Erase block 0, write the image. 0, or the erase's or the write's failure as
// `codes` composes it. `again`, after a failed try: kTwoAnswers when more
// than the erase's acknowledgement came (the late answer to that try may carry
// a serial 'O'), and nothing is written.
int EraseAndWriteBlockZero(NandSession& nand, const std::vector<uint8_t>& image,
                           const BlockZeroCodes& codes, bool again) {
    if (const int c = EraseBlock(nand, 0); c != 0) {
        Fail(nand, Format("\r\nErase block #0 fail, error code %d.\r\n", c));
        return codes.erase_failure(c);
    }
    if (again && !OneAnswerOnly(nand, "Erase block #0", nand.chip().geometry.erase_time)) {
        return kTwoAnswers;
    }
    nand.reporter.MarkBlock(0, BlockState::kErased);
    if (const int c = WriteBlockData(nand, image, 0, false, BlockSize(nand)); c != 0) {
        Fail(nand, Format("\r\nWrite block #0 fail, error code %d.\r\n", c));
        return codes.write_failure(c);
    }
    return 0;
}

// Block 0 as one step that a Stop does not cut: from its erase on, the phone
// has no boot code until the write is done, so a Stop (the window's button, its
// close box, SIGINT) waits for the end of the step. A failed step is tried once
// more with the same image, so that one glitch does not leave the phone without
// a boot block.
int ProgramBlockZero(NandSession& nand, const std::vector<uint8_t>& image,
                     const BlockZeroCodes& codes) {
    if (!nand.BeginUncut()) {
        return nand.result();  // stopped before block 0 was touched
    }
    nand.chip().boot_block_touched = true;
    int r = EraseAndWriteBlockZero(nand, image, codes, false);
    if (r != 0) {
        nand.reporter.WriteLog(
            Format("\nWriting block #0 failed (#%d), erasing and writing it once more\n", r));
        const int first = r;
        SettleForRetry(nand);
        r = EraseAndWriteBlockZero(nand, image, codes, true);
        const int64_t chip_us = nand.chip().geometry.erase_time +
                                int64_t{nand.chip().geometry.write_time} * PagesPerBlock(nand);
        if (r == kTwoAnswers || (r == 0 && !OneAnswerOnly(nand, "Write block #0", chip_us))) {
            r = first;
        }
    }
    nand.EndUncut();
    if (r != 0) {
        nand.reporter.MarkBlock(0, BlockState::kFailed);
        return r;
    }
    nand.NoteWritten(0, std::span(image).first(std::min<size_t>(image.size(), BlockSize(nand))),
                     false);
    nand.reporter.MarkBlock(0, BlockState::kProgrammed);
    nand.reporter.units_done += static_cast<uint32_t>(nand.chip().geometry.page_size);
    nand.reporter.UpdateProgress();
    return 0;
}

}  // namespace

int WriteBootBlock(NandSession& nand, const PartitionTable& table) {
    const std::string path = table.BootFilePath();
    File file = OpenInputFile(path);
    if (!file) {
        nand.reporter.WriteLog("\r\nOpen boot_nand file fail!\r\n");
        return code::kFileNotOpened;
    }
    const uint32_t block_size = BlockSize(nand);
    long length = -1;
    if (std::fseek(file.get(), 0, SEEK_END) == 0) {
        length = std::ftell(file.get());
    }
    if (length < 0 || static_cast<uint64_t>(length) != table.boot_file_size ||
        static_cast<uint64_t>(length) > block_size || std::fseek(file.get(), 0, SEEK_SET) != 0) {
        // "unmacth" is kept as phones' tools and logs know it.
        Fail(nand, Format("\r\nBOOT_NAND file size unmacth, boot_nand file size: 0x%lX!\r\n",
                          static_cast<unsigned long>(length < 0 ? 0 : length)));
        return code::kSizeMismatch;
    }
    std::vector<uint8_t> image(block_size, 0xFF);
    const auto size = static_cast<size_t>(length);
    if (std::fread(image.data(), 1, size, file.get()) != size) {
        return code::kShortRead;
    }
    file.reset();
    const uint8_t version = image[kBootVersionByte];
    nand.chip().records.boot_version = version;
    if (version == 3) {
        nand.reporter.WriteLog("\r\nBOOT NAND VERSION V3!\r\n");
        return WriteBootBlockV3(nand, image);
    }
    std::copy(nand.chip().ibt.begin(), nand.chip().ibt.end(), image.begin() + kClassicIbtOffset);
    for (int i = 0; i < TargetPartitionRecords::kClassicCount; ++i) {
        const auto* record =
            nand.chip().records.classic.data() + size_t(i) * TargetPartitionRecords::kClassicSize;
        std::copy_n(record, TargetPartitionRecords::kClassicSize,
                    image.begin() + static_cast<std::ptrdiff_t>(kClassicRecordsBase - 0x40 * i));
    }
    return ProgramBlockZero(nand, image, kClassicCodes);
}

int WriteBootBlockV3(NandSession& nand, std::vector<uint8_t>& image) {
    const uint32_t block_size = BlockSize(nand);
    const size_t pad_end = std::min<size_t>(
        kV3PadPage + static_cast<size_t>(nand.chip().geometry.page_size), block_size);
    std::fill(image.begin() + kV3PadPage, image.begin() + static_cast<std::ptrdiff_t>(pad_end),
              0xFF);
    if (image[kBootVersionByte] != 3) {
        Fail(nand, Format("\r\nBootnand Major Version not compatible Version :%d",
                          image[kBootVersionByte]));
        return code::kV3BadVersion;
    }
    std::vector<uint8_t> current(block_size);
    if (const int c =
            RetryOnce(nand, "Read block #0", [&] { return ReadBlock(nand, current, 0, false); });
        c != 0) {
        Fail(nand, Format("\r\nRead FB from NAND fail :%d", c));
        return code::kV3ReadFailed;
    }
    const uint32_t old = LoadLe32(current.data() + kV3Counter);
    uint32_t counter = 1;
    if (old >= kV3CounterLimit) {
        Fail(nand, Format("\nFirstBlock counter = %d\r\n", 1));
    } else {
        Fail(nand, Format("\nFirstBlock counter : %d\r\n", static_cast<int>(old)));
        counter = old + 1;
    }
    std::fill(image.begin() + kV3TableStart, image.begin() + kV3TableEnd, 0xFF);
    std::fill(image.begin() + kV3ReservedStart, image.begin() + kV3ReservedEnd, 0xFF);
    StoreLe32(image.data() + kV3Counter, counter);
    for (int i = 0; i < TargetPartitionRecords::kV3Count; ++i) {
        const auto* record =
            nand.chip().records.v3.data() + size_t(i) * TargetPartitionRecords::kV3Size;
        std::copy_n(record, TargetPartitionRecords::kV3Size,
                    image.begin() + static_cast<std::ptrdiff_t>(kV3RecordsBase - 24 * i));
    }
    return ProgramBlockZero(nand, image, kV3Codes);
}

}  // namespace velmora
