#pragma once
// Reading back what a job wrote and comparing it with what was sent.
#include <vector>

namespace velmora {

class NandSession;

// Reads back every block in nand.written(), in order, and compares its bytes with
// the digest of what was sent. A block that differs is read once more, so that a
// bit flipped on the way back is not taken for a chip that did not keep its
// data. 0 when every block matches; result::safety_net::kBlocksDiffer when some differ (their
// numbers in `differing`, each marked failed, the error text naming them); or the read's code
// (ReadBlock's, after its retries) with the error text naming the block. Stop ends it with the
// job's result.
int VerifyWrittenBlocks(NandSession& nand, std::vector<int>& differing);

}  // namespace velmora
