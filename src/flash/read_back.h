#pragma once
// Reading NAND back into files: whole blocks (command 11) and single pages
// (command 13), the boot area, partitions by the phone's own table, and block
// ranges. ReadPartitions, ReadEeromArea, ReadBlockRange and ReadBootTable are
// declared in nand_operations.h.
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace velmora {

class NandSession;

// Command 11: `buffer` receives pages per block × bytes per page. 0; 1000 no
// response; 1010 bad header or status; 1001 + k page k's data did not arrive;
// 1100 checksum mismatch. `meanwhile` runs while the phone answers (see
// TargetLink::SendCommand). With `unchecked` the data is not checked: the
// checksum it should have (kNoChecksum: none) is stored there for the caller.
int ReadBlock(NandSession& nand, std::span<uint8_t> buffer, int block, bool with_spare,
              const std::function<void()>& meanwhile = {}, uint32_t* unchecked = nullptr);

// Command 13: min(count, page + spare) bytes of one page into `buffer`. 0; 100
// no response; 101 bad header or status; 111 data missing; 110 checksum
// mismatch.
int ReadPage(NandSession& nand, std::span<uint8_t> buffer, int block, int page, uint32_t count);

// "boot_nand.bin": the first 65,536 bytes of block 0 (at most one block). 0;
// 10000 file cannot be created; 30000 + r a page read failed.
int ReadBootArea(NandSession& nand);

// Partition i of the phone's table into its own file. 0; 10000; 11001 ran past
// its last block; 20000 + r a block read failed after the retries, with the
// block in *failed when given.
int ReadPartitionToFile(NandSession& nand, int i, int* failed = nullptr);

// The physical `blocks`, in order and whole, into the file at `path`; progress
// adds to the reporter's counts without resetting them. 0; 10000 the file cannot
// be written (error text set); 20000 + r a block read failed after the retries,
// with the block in *failed.
int ReadBlockListToFile(NandSession& nand, const std::string& path, const std::vector<int>& blocks,
                        bool with_spare, int* failed);

// "parti_%02d_" and the record's name. Name bytes that are not printable ASCII,
// and '/' and '\', become '_', so the file stays inside the output folder.
std::string PartitionFileName(int number, const std::array<uint8_t, 8>& name);

}  // namespace velmora
