#pragma once
// Programming NAND pages through the RAM loader: the block writer that every
// writing operation uses, and the two write commands under it. Callers pass the
// physical block; bad blocks are mapped before.
#include <cstdint>
#include <span>

namespace velmora {

class NandSession;

// Writes the first `length` bytes of `data` into `block` from its first page,
// in chunks of one command 8 each (65,536 page bytes serial, 131,072 USB); the
// last chunk covers the whole pages that the rest touches, padded with 0xFF.
// 0, or result::BlockWriteFailure of the failed command's result.
int WriteBlockData(NandSession& nand, std::span<const uint8_t> data, int block, bool with_spare,
                   uint32_t length);

// One command 8 for `page_count` pages from `first_page`; `data` holds
// page_count × bytes-per-page bytes. 0, or a code of result::page_program: over
// the serial link no response, a bad header or status ("Write nb fial %x, %x"),
// or a CRC echo that differs ("CRC32 Check Exp: 0x%x, Act: 0x%x").
int WritePages(NandSession& nand, std::span<const uint8_t> data, int block, int first_page,
               int page_count, bool with_spare);

// One command 9 for a whole small-page block. `buffer` must hold the pages that
// `length` touches; the tail of the last page is filled with 0xFF. 0;
// kSmallBlockTooLong for more than 65,536 bytes (nothing sent); kSmallBlockNoAck
// ("program(sp) block%d fail.").
int WriteSmallBlock(NandSession& nand, std::span<uint8_t> buffer, int block, bool with_spare,
                    uint32_t length);

}  // namespace velmora
