#pragma once
// The code upgrade: erase, every partition's content file written block by
// block through the bad-block map, then the boot block.
#include <cstdint>
#include <span>

namespace velmora {

class NandSession;
class PartitionTable;

// Writes partition i's content file (classic record i). 0; 10000 file cannot be
// opened; 11001 length differs from the content size, or the partition ran out
// of blocks; 12000 short read; 20000 + r a block write failed with r.
int WritePartition(NandSession& nand, const PartitionTable& table, int i);

// Writes the first `length` bytes of `buffer` into the erased physical `block`.
// A failed write is tried again up to three times, each after the block is
// erased again; a try that drew two answers counts as failed. 0, or 20000 + the
// code of the last write that failed.
int WritePiece(NandSession& nand, std::span<uint8_t> buffer, int block, bool with_spare,
               uint32_t length);

}  // namespace velmora
