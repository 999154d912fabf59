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

}  // namespace

int VerifyWrittenBlocks(NandSession& nand, std::vector<int>& differing) {
    differing.clear();
    Reporter& reporter = nand.reporter;
    const std::vector<WrittenBlock>& written = nand.written();
    uint64_t total = 0;
    for (const WrittenBlock& w : written) {
        total += w.length;
    }
    reporter.units_total = total;
    reporter.units_done = 0;
    const int attempts = 1 + kWriteRetries;

    // While the phone sends one block, the one before it is compared; one that
    // differs is read again once the link is free.
    std::vector<uint8_t> buffers[2];
    std::vector<uint8_t> again;
    for (auto& b : buffers) {
        b.resize(BlockBytes(nand, true));
    }
    again.resize(buffers[0].size());
    int pending = -1;  // index into written of the block waiting for its comparison
    bool compared = true;
    bool pending_differs = false;
    auto compare = [&] {
        if (!compared && pending >= 0) {
            pending_differs = !Matches(written[size_t(pending)], buffers[pending % 2]);
            compared = true;
        }
    };
    auto read = [&](std::span<uint8_t> into, const WrittenBlock& w,
                    const std::function<void()>& meanwhile) {
        int r = ReadBlock(nand, into, w.block, w.with_spare, meanwhile);
        for (int attempt = 1; attempt < attempts && r != 0 && !nand.Aborted(); ++attempt) {
            if (!SettleForRetry(nand)) {
                break;
            }
            const int again = ReadBlock(nand, into, w.block, w.with_spare);
            if (again == 0 && OneAnswerOnly(nand, Format("Read block #%d", w.block))) {
                return 0;
            }
            r = again != 0 ? again : r;
        }
        return r;
    };
    // The comparison of the pending block is settled: a block that differed is
    // read once more before it is counted as differing.
    auto settle = [&]() -> int {
        compare();
        if (pending < 0) {
            return 0;
        }
        const WrittenBlock& w = written[size_t(pending)];
        BlockState state = BlockState::kRead;
        if (pending_differs) {
            if (const int r = read(again, w, {}); r != 0) {
                return r;
            }
            if (Matches(w, again)) {
                reporter.WriteLog(Format(
                    "\nBlock %d read back unlike what was written once; read again it matches",
                    w.block));
            } else {
                differing.push_back(w.block);
                state = BlockState::kFailed;
            }
        }
        reporter.MarkBlock(w.block, state);
        pending = -1;
        pending_differs = false;
        return 0;
    };
    auto unreadable = [&](int block, int code) {
        reporter.MarkBlock(block, BlockState::kFailed);
        nand.attempt.text = Format("Verify: block %d could not be read back, #%d", block, code);
        return code;
    };

    for (size_t i = 0; i < written.size(); ++i) {
        if (nand.Aborted()) {
            return nand.result();
        }
        const WrittenBlock& w = written[i];
        const int r = read(buffers[i % 2], w, compare);
        if (const int s = settle(); s != 0) {
            return nand.Aborted() ? nand.result() : unreadable(written[size_t(pending)].block, s);
        }
        if (r != 0) {
            return nand.Aborted() ? nand.result() : unreadable(w.block, r);
        }
        pending = static_cast<int>(i);
        compared = false;
        reporter.units_done += w.length;
        reporter.UpdateProgress();
    }
    if (const int s = settle(); s != 0) {
        return nand.Aborted() ? nand.result() : unreadable(written[size_t(pending)].block, s);
    }
    if (differing.empty()) {
        reporter.WriteLog(
            Format("\nVerified %zu blocks: each reads back as written\n", written.size()));
        return 0;
    }
    std::sort(differing.begin(), differing.end());
    nand.attempt.text = Format("Verify failed: block%s %s read back unlike what was written.",
                               differing.size() == 1 ? "" : "s", BlockList(differing).c_str());
    reporter.WriteLog("\n" + nand.attempt.text + "\n");
    return result::safety_net::kBlocksDiffer;
}

}  // namespace velmora
