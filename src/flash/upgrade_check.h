#pragma once
// What a code upgrade can know before it touches the NAND, checked before the
// first erase, so that a job that would fail on it leaves the phone as it was.

namespace velmora {

class NandSession;
class PartitionTable;

// Checks block 0, the boot image, the partitions' places and sizes against the
// chip and its bad blocks. 0, or result::download::kUpgradeRefused with the job's error text
// naming the partition, block or file and what is wrong. Call it after the
// record was read and before the record is built or anything erased.
int CheckUpgrade(NandSession& nand, const PartitionTable& table);

}  // namespace velmora
