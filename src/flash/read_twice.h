#pragma once
// A second opinion on a read: the link's checksum proves only that the bytes
// crossed the link as the phone sent them, not that the chip gave them out as
// it holds them. Each block is read twice and compared; when the two differ a
// third read decides byte by byte. This catches a bit flipped on its way out of
// the chip, never one the chip stores wrong (every read gives that one alike).
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace velmora {

class NandSession;

class SecondOpinion {
  public:
    // One checked read of the block into the buffer given: 0 or its failure code.
    using Read = std::function<int(std::span<uint8_t>)>;

    // `first` holds the block's first read, already checked. Reads it again
    // and keeps, in `first`, what two reads agree on. 0; a read's failure
    // code; or result::read_back::kReadsDisagree, with the job's error text
    // naming the block.
    // A block that needed a third read is named in the job's notes.
    int Confirm(NandSession& nand, std::span<uint8_t> first, int block, const Read& read);

  private:
    std::vector<uint8_t> second_;
    std::vector<uint8_t> third_;
};

}  // namespace velmora
