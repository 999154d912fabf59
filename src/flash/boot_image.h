#pragma once
// Block 0: the boot image with the partition records (and the IBT, or the
// version 3 counter) stamped into their reserved places, written last by a
// code upgrade.
#include <cstdint>
#include <span>
#include <vector>

namespace velmora {

class NandSession;
class PartitionTable;

// Reads the boot image file of the job's table, builds block 0 in the layout
// its version byte (0xFE) selects and writes it. Classic: 0, 101 file cannot be
// opened, 102 size differs from the table or exceeds a block, 103 short read,
// erase failure c + 100, write failure c + 200. Version 3: see WriteBootBlockV3.
int WriteBootBlock(NandSession& nand, const PartitionTable& table);

// Version 3 layout of `image` (one block, the file at its front, 0xFF after):
// FirstBlock counter from the chip's block 0, records, reserved areas. 0; −1
// version byte is not 3; −2 block 0 cannot be read; erase failure c + 1000;
// write failure c + 2000.
int WriteBootBlockV3(NandSession& nand, std::vector<uint8_t>& image);

// Byte offsets of the boot block layouts.
inline constexpr size_t kBootVersionByte = 0xFE;
inline constexpr size_t kClassicRecordsBase = 0x7C0;  // record i at base − 0x40·i
inline constexpr size_t kClassicIbtOffset = 0x800;
inline constexpr size_t kV3RecordsBase = 0x5E8;  // record i at base − 24·i
inline constexpr size_t kV3ReservedStart = 0x204, kV3ReservedEnd = 0x2C0;
inline constexpr size_t kV3TableStart = 0x300, kV3TableEnd = 0x600;
inline constexpr size_t kV3PadPage = 0x3800;
inline constexpr size_t kV3Counter = 0x3FBC;
inline constexpr uint32_t kV3CounterLimit = 0x0C000000;

}  // namespace velmora
