#include "flash/verify.h"

#include <algorithm>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "base/results.h"
#include "base/text_format.h"
#include "flash/nand_dialect.h"
#include "flash/nand_internal.h"
#include "flash/read_back.h"

namespace velmora {
namespace {

bool Matches(const WrittenBlock& w, std::span<const uint8_t> read) {
    Sha1Digest digest{};
    return Sha1(read.first(w.length), digest) && digest == w.digest;
}

// "812, 813 and 900"
std::string BlockList(const std::vector<int>& blocks) {
    std::string text;
    for (size_t i = 0; i < blocks.size(); ++i) {
        if (i > 0) {
            text += i + 1 == blocks.size() ? " and " : ", ";
        }
        text += std::to_string(blocks[i]);
    }
    return text;
}

// Reads back the written blocks in turn: while the phone sends one block, the
// one before it is compared; one that differs is read again once the link is
// free, and counted as differing only when it differs again.
class Verifier {
  public:
    Verifier(NandSession& nand, std::vector<int>& differing)
        : nand_(nand), written_(nand.written()), differing_(differing) {
        for (auto& b : buffers_) {
            b.resize(BlockBytes(nand, true));
        }
        again_.resize(buffers_[0].size());
    }

    // 0 once every block was read back and compared; else the failure's code.
    int ReadAll() {
        Reporter& reporter = nand_.reporter;
        for (size_t i = 0; i < written_.size(); ++i) {
            if (nand_.Aborted()) {
                return nand_.result();
            }
            const WrittenBlock& w = written_[i];
            const int r = Read(buffers_[i % 2], w, [this] { Compare(); });
            if (const int s = Settle(); s != 0) {
                return Unreadable(written_[size_t(pending_)].block, s);
            }
            if (r != 0) {
                return Unreadable(w.block, r);
            }
            pending_ = static_cast<int>(i);
            compared_ = false;
            reporter.units_done += w.length;
            reporter.UpdateProgress();
        }
        if (const int s = Settle(); s != 0) {
            return Unreadable(written_[size_t(pending_)].block, s);
        }
        return 0;
    }

  private:
    void Compare() {
        if (!compared_ && pending_ >= 0) {
            pending_differs_ = !Matches(written_[size_t(pending_)], buffers_[pending_ % 2]);
            compared_ = true;
        }
    }

    // A block read with the write's retries.
    int Read(std::span<uint8_t> into, const WrittenBlock& w,
             const std::function<void()>& meanwhile) {
        int r = ReadBlock(nand_, into, w.block, w.with_spare, meanwhile);
        for (int attempt = 1; attempt < 1 + kWriteRetries && r != 0 && !nand_.Aborted();
             ++attempt) {
            if (!SettleForRetry(nand_)) {
                break;
            }
            const int again = ReadBlock(nand_, into, w.block, w.with_spare);
            if (again == 0 && OneAnswerOnly(nand_, Format("Read block #%d", w.block))) {
                return 0;
            }
            r = again != 0 ? again : r;
        }
        return r;
    }

    // The comparison of the pending block is settled: a block that differed is
    // read once more before it is counted as differing.
    int Settle() {
        Compare();
        if (pending_ < 0) {
            return 0;
        }
        const WrittenBlock& w = written_[size_t(pending_)];
        BlockState state = BlockState::kRead;
        if (pending_differs_) {
            if (const int r = Read(again_, w, {}); r != 0) {
                return r;
            }
            if (Matches(w, again_)) {
                nand_.reporter.WriteLog(Format(
                    "\nBlock %d read back unlike what was written once; read again it matches",
                    w.block));
            } else {
                differing_.push_back(w.block);
                state = BlockState::kFailed;
            }
        }
        nand_.reporter.MarkBlock(w.block, state);
        pending_ = -1;
        pending_differs_ = false;
        return 0;
    }

    int Unreadable(int block, int code) {
        if (nand_.Aborted()) {
            return nand_.result();
        }
        nand_.reporter.MarkBlock(block, BlockState::kFailed);
        nand_.attempt.text = Format("Verify: block %d could not be read back, #%d", block, code);
        return code;
    }

    NandSession& nand_;
    const std::vector<WrittenBlock>& written_;
    std::vector<int>& differing_;
    std::vector<uint8_t> buffers_[2];
    std::vector<uint8_t> again_;
    int pending_ = -1;  // index into written_ of the block waiting for its comparison
    bool compared_ = true;
    bool pending_differs_ = false;
};

}  // namespace

int VerifyWrittenBlocks(NandSession& nand, std::vector<int>& differing) {
    differing.clear();
    Reporter& reporter = nand.reporter;
    uint64_t total = 0;
    for (const WrittenBlock& w : nand.written()) {
        total += w.length;
    }
    reporter.units_total = total;
    reporter.units_done = 0;
    if (const int r = Verifier(nand, differing).ReadAll(); r != 0) {
        return r;
    }
    if (differing.empty()) {
        reporter.WriteLog(
            Format("\nVerified %zu blocks: each reads back as written\n", nand.written().size()));
        return 0;
    }
    std::sort(differing.begin(), differing.end());
    nand.attempt.text = Format("Verify failed: block%s %s read back unlike what was written.",
                               differing.size() == 1 ? "" : "s", BlockList(differing).c_str());
    reporter.WriteLog("\n" + nand.attempt.text + "\n");
    return result::safety_net::kBlocksDiffer;
}

}  // namespace velmora
