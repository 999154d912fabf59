#include "flash/identify.h"

#include <string>

#include "base/results.h"
#include "base/text_format.h"
#include "config/chip_catalogue.h"
#include "flash/nand_dialect.h"
#include "flash/nand_internal.h"
#include "flash/nand_session.h"
#include "flash/target_protocol.h"
#include "link/target_link.h"

namespace velmora {
namespace {

// The status line shows the failure at once; the job's end shows it again.
void Report(NandSession& nand, const char* text) {
    nand.reporter.SetStatus(text);
    nand.attempt.text = text;
}

// Command 5 and its answer: 0, or identify::kNoAnswer or kBadAnswer.
int ReadId(NandSession& nand, ResponseFrame& response) {
    const Reply reply = Transact(nand.link(), CommandFrame(kCmdReadNandId, {}), response,
                                 AnswerMs(nand, nand.timings().response_ms, 2 * kFrameSize));
    if (reply.kind == Reply::kMissing) {
        nand.dialect().NoIdAnswer(nand, reply.link_code);
        return result::identify::kNoAnswer;
    }
    if (reply.kind == Reply::kRefused) {
        nand.dialect().BadIdAnswer(nand, response.header(), response.status());
        // "FLash" is kept as phones' tools and logs know it.
        Report(nand, "读NAND FLash ID错误！");
        return result::identify::kBadAnswer;
    }
    return 0;
}

}  // namespace

int IdentifyNand(NandSession& nand) {
    Reporter& reporter = nand.reporter;
    nand.chip().geometry = NandGeometry{};
    ResponseFrame response;
    if (const int r = RetryOnce(nand, "Read NAND ID", [&] { return ReadId(nand, response); });
        r != 0) {
        return r;
    }

    for (size_t i = 0; i < 4; ++i) {
        nand.chip().nand_id[i] = static_cast<uint8_t>(response.Word(4 + 4 * i) & 0xFF);
    }
    const auto& id = nand.chip().nand_id;
    reporter.SetChip(id);

    if (id[0] == 0xFF) {
        Report(nand, "芯片类型错误！");
        return result::identify::kNoChip;
    }
    const std::string entry = ChipIdText(id[0], id[1]);
    std::string problem;
    const int c = LookupChip(nand.home(), entry, nand.chip().geometry, &problem);
    if (c != 0 && c != result::catalogue::kValueOutOfRange) {
        Report(nand, "未知芯片类型！");
        if (c < 0) {
            // The catalogue vanished since the job started: name it, not the chip.
            nand.attempt.text =
                "Cannot read the chip catalogue " + nand.home() + kCatalogueName + ".ini";
        }
        return result::CatalogueFailure(c);
    }
    // An entry the program cannot serve fails this chip alone, naming the key and
    // its value; a page size of 0 (or a negative value) cannot describe a chip.
    if (c == result::catalogue::kValueOutOfRange ||
        CheckChipGeometry(nand.chip().geometry, problem) != 0) {
        Report(nand, "参数定义错误！");
        const std::string what = "catalogue entry [" + entry + "] in " + nand.home() +
                                 kCatalogueName + ".ini cannot be served: " + problem;
        nand.attempt.text += " The " + what + ".";
        nand.attempt.reason = "the " + what;
        const std::string key = problem.substr(0, problem.find('='));
        nand.attempt.next =
            "Correct " + key + " of [" + entry + "] from the chip's data sheet" +
            (key == "PAGE_SIZE" ? " (a page's main bytes only, 512 or 2048: a page of "
                                  "528 bytes is 512 with SPARE_SIZE=16)"
                                : "") +
            ". The catalogue's other chips are served as they are.";
        return result::identify::kBadGeometry;
    }
    const NandGeometry& g = nand.chip().geometry;
    reporter.InitBlockMap(g.block_count, static_cast<uint32_t>(g.block_size));
    nand.dialect().Identified(nand);
    return 0;
}

}  // namespace velmora
