#include "flash/target_protocol.h"

#include <cstdio>
#include <limits>

#include "base/checksum.h"
#include "base/results.h"
#include "base/text_format.h"
#include "flash/nand_dialect.h"
#include "flash/nand_internal.h"
#include "flash/nand_session.h"
#include "link/target_link.h"

namespace velmora {

namespace {

namespace code = result::target;

// The record command's status when the phone holds no record.
constexpr uint32_t kStatusNoRecord = 255;
// What the RAM loader puts into the SDI answer's words: kSdiWordSeed + i at offset
// kSdiWordsAt + 4i.
constexpr uint32_t kSdiWordSeed = 0x12345678u;
constexpr uint32_t kSdiWordsAt = 12;

int GetIbtOnce(NandSession& nand) {
    TargetLink& link = nand.link();
    nand.chip().ibt.fill(0);
    const CommandFrame frame(kCmdGetIbt, {static_cast<uint32_t>(nand.chip().geometry.block_count)});
    ResponseFrame response;
    // Status values 1 to 20 belong to the RAM loader; the host only accepts them.
    const Reply reply = Transact(link, frame, response,
                                 AnswerMs(nand, nand.timings().response_ms, 2 * kFrameSize), 20);
    if (reply.kind == Reply::kMissing) {
        nand.attempt.text = "Wait for ibt command response fail!";
        return code::kIbtNoResponse;
    }
    if (reply.kind == Reply::kRefused) {
        nand.attempt.text = Format("Get IBT fail, %04X, %x", response.header(), response.status());
        return code::kIbtBadResponse;
    }
    if (link.Receive(nand.chip().ibt,
                     AnswerMs(nand, nand.timings().response_ms, nand.chip().ibt.size())) != 0) {
        nand.attempt.text = "Wait for ibt fail!";
        return code::kIbtNoData;
    }
    return 0;
}

int SetNandParametersOnce(NandSession& nand) {
    TargetLink& link = nand.link();
    const NandGeometry& g = nand.chip().geometry;
    const bool small_page = g.page_size == 512;
    const bool large_chip = small_page ? g.block_count > 2048 : g.block_count > 1024;
    const CommandFrame frame(
        kCmdSetNandParams,
        {static_cast<uint32_t>(g.block_count), static_cast<uint32_t>(g.block_size),
         static_cast<uint32_t>(g.page_size), static_cast<uint32_t>(g.spare_size),
         small_page ? 0xFFu : 0u, large_chip ? 0xFFu : 0u});
    link.SendFrame(frame.span());
    if (!nand.dialect().AwaitParametersAck(nand)) {
        nand.attempt.text = nand.dialect().ParametersFailText();
        return code::kParametersNoAck;
    }
    return 0;
}

int ReadManagementRecordOnce(NandSession& nand) {
    TargetLink& link = nand.link();
    nand.chip().record.Clear();
    const int blocks = nand.chip().geometry.block_count;
    nand.chip().reservoir_start = ReservoirStart(blocks);
    link.PurgeInput();
    const CommandFrame frame(
        kCmdReadMgmtRecord,
        {static_cast<uint32_t>(nand.chip().reservoir_start), static_cast<uint32_t>(blocks)});
    ResponseFrame response;
    // The status is judged here: 255 says the phone holds no record.
    const Reply reply =
        Transact(link, frame, response, AnswerMs(nand, nand.timings().response_ms, 2 * kFrameSize),
                 std::numeric_limits<uint32_t>::max());
    if (reply.kind == Reply::kMissing) {
        return code::kRecordNoResponse;
    }
    if (reply.kind == Reply::kRefused) {
        return code::kRecordBadHeader;
    }
    if (response.status() != 0) {
        return response.status() == kStatusNoRecord ? code::kNoRecord : code::kRecordBadStatus;
    }
    std::array<uint8_t, ManagementRecord::kBytes> bytes{};
    if (link.Receive(bytes, AnswerMs(nand, nand.timings().response_ms, bytes.size())) != 0) {
        return code::kRecordNoData;
    }
    const uint32_t expected = response.record_checksum();
    if (expected != kNoChecksum && Crc32(bytes) != expected) {
        return code::kRecordCrcMismatch;
    }
    nand.chip().record.FromBytes(bytes);
    if (nand.debug) {
        // A dump that cannot be written is not worth failing the job for.
        if (File f = OpenOutputFile(nand.folder() + "bbm_rcb.bin")) {
            std::fwrite(bytes.data(), 1, bytes.size(), f.get());
        }
    }
    return 0;
}

}  // namespace

int GetIbt(NandSession& nand) {
    return RetryOnce(nand, "Get IBT", [&] { return GetIbtOnce(nand); });
}

int SetNandParameters(NandSession& nand) {
    return RetryOnce(nand, "Set NAND parameters", [&] { return SetNandParametersOnce(nand); });
}

int ReadManagementRecord(NandSession& nand) {
    if (nand.chip().geometry.page_size == 512) {
        nand.chip().record.Clear();
        return 0;  // small-page chips keep no record
    }
    // "No record" is an answer, not a glitch.
    return RetryOnce(
        nand, "Read the management record", [&] { return ReadManagementRecordOnce(nand); },
        [](int r) { return r > 0; });
}

int InitSdi(NandSession& nand, uint32_t parameter) {
    TargetLink& link = nand.link();
    const CommandFrame frame(kCmdInitSdi, {0u, parameter});
    if (link.SendFrame(frame.span()) != 0) {
        nand.attempt.text = "\nUSB send Init_sdi command fail!\n";
        nand.reporter.WriteLog(nand.attempt.text);
        return code::kSdiSendFailed;
    }
    ResponseFrame response;
    // The answer carries no status: only its header and its words count.
    const Reply reply = AwaitAnswer(link, response, nand.timings().usb_response_ms,
                                    std::numeric_limits<uint32_t>::max());
    if (reply.kind == Reply::kMissing) {
        nand.attempt.text = "Wait for SDI init command response fail!\n";
        nand.reporter.WriteLog(nand.attempt.text);
        return code::kSdiNoResponse;
    }
    if (reply.kind == Reply::kRefused) {
        nand.attempt.text =
            Format("SDI init return command fail, cmd.header = 0x%04X\n", response.header());
        nand.reporter.WriteLog(nand.attempt.text);
        return code::kSdiBadHeader;
    }
    for (uint32_t i = 0; i < uint32_t{code::kSdiWords}; ++i) {
        if (const uint32_t word = response.Word(kSdiWordsAt + 4 * i); word != kSdiWordSeed + i) {
            nand.attempt.text = Format(
                "The answer to SDI init carries 0x%08X in its word at offset %u where the RAM "
                "loader puts 0x%08X: it was damaged on the way, or the phone runs another "
                "loader",
                word, kSdiWordsAt + 4 * i, kSdiWordSeed + i);
            nand.reporter.WriteLog("\n" + nand.attempt.text + "\n");
            return result::SdiWordWrong(static_cast<int>(i));
        }
    }
    return 0;
}

}  // namespace velmora
