#include "flash/target_protocol.h"

#include <cstdio>

#include "base/checksum.h"
#include "flash/nand_internal.h"
#include "flash/target_link.h"
#include "job/download_job.h"
#include "base/text_format.h"

namespace velmora {

CommandFrame::CommandFrame(uint16_t command, std::initializer_list<uint32_t> arguments) {
    bytes[0] = static_cast<uint8_t>(kFrameHeader & 0xFF);
    bytes[1] = static_cast<uint8_t>(kFrameHeader >> 8);
    bytes[2] = static_cast<uint8_t>(command & 0xFF);
    bytes[3] = static_cast<uint8_t>(command >> 8);
    size_t offset = 4;
    for (uint32_t argument : arguments) {
        if (offset > 28)
            break;  // seven arguments at most
        StoreLe32(bytes.data() + offset, argument);
        offset += 4;
    }
}

int ReceiveResponse(TargetLink& link, ResponseFrame& response, int timeout_ms) {
    return link.Receive(response.span(), timeout_ms);
}

namespace {

int GetIbtOnce(DownloadJob& job) {
    TargetLink& link = job.target();
    job.ibt.fill(0);
    const CommandFrame frame(kCmdGetIbt, {static_cast<uint32_t>(job.geometry.block_count)});
    link.SendFrame(frame.span());
    ResponseFrame response;
    if (ReceiveResponse(link, response, AnswerMs(job, job.timings.response_ms, 2 * kFrameSize)) !=
        0) {
        job.error_text = "Wait for ibt command response fail!";
        return 4000;
    }
    // Status values 1 to 20 belong to the RAM loader; the host only accepts them.
    if (!response.HeaderOk() || response.status() > 20) {
        job.error_text = Format("Get IBT fail, %04X, %x", response.header(), response.status());
        return 4010;
    }
    if (link.Receive(job.ibt, AnswerMs(job, job.timings.response_ms, job.ibt.size())) != 0) {
        job.error_text = "Wait for ibt fail!";
        return 4001;
    }
    return 0;
}

int SetNandParametersOnce(DownloadJob& job) {
    TargetLink& link = job.target();
    const NandGeometry& g = job.geometry;
    const bool small_page = g.page_size == 512;
    const bool large_chip = small_page ? g.block_count > 2048 : g.block_count > 1024;
    const CommandFrame frame(
        kCmdSetNandParams,
        {static_cast<uint32_t>(g.block_count), static_cast<uint32_t>(g.block_size),
         static_cast<uint32_t>(g.page_size), static_cast<uint32_t>(g.spare_size),
         small_page ? 0xFFu : 0u, large_chip ? 0xFFu : 0u});
    link.SendFrame(frame.span());
    bool acknowledged = false;
    if (link.kind() == LinkKind::kSerial) {
        acknowledged = link.WaitForByte(kAck, AnswerMs(job, job.timings.ack_ms, kFrameSize + 1));
    } else {
        ResponseFrame response;  // contents not examined
        acknowledged = ReceiveResponse(link, response, job.timings.response_ms) == 0;
    }
    if (!acknowledged) {
        job.error_text = link.kind() == LinkKind::kSerial ? "Set Nanf Flash Parameter fail!"
                                                          : "Set Nand Flash Parameter fail!";
        return 15;
    }
    return 0;
}

int ReadManagementRecordOnce(DownloadJob& job) {
    TargetLink& link = job.target();
    job.record.Clear();
    const int blocks = job.geometry.block_count;
    job.reservoir_start = ReservoirStart(blocks);
    link.PurgeInput();
    const CommandFrame frame(kCmdReadMgmtRecord, {static_cast<uint32_t>(job.reservoir_start),
                                                  static_cast<uint32_t>(blocks)});
    link.SendFrame(frame.span());
    ResponseFrame response;
    if (ReceiveResponse(link, response, AnswerMs(job, job.timings.response_ms, 2 * kFrameSize)) !=
        0) {
        return 1000;
    }
    if (!response.HeaderOk()) {
        return 1010;
    }
    if (response.status() != 0) {
        return response.status() == 255 ? -1 : 1011;
    }
    std::array<uint8_t, ManagementRecord::kBytes> bytes{};
    if (link.Receive(bytes, AnswerMs(job, job.timings.response_ms, bytes.size())) != 0) {
        return 1001;
    }
    const uint32_t expected = response.record_checksum();
    if (expected != kNoChecksum && Crc32(bytes) != expected) {
        return 1100;
    }
    job.record.FromBytes(bytes);
    if (job.debug) {
        // A dump that cannot be written is not worth failing the job for.
        if (File f = OpenOutputFile(job.folder + "bbm_rcb.bin")) {
            std::fwrite(bytes.data(), 1, bytes.size(), f.get());
        }
    }
    return 0;
}

}  // namespace

int GetIbt(DownloadJob& job) {
    return RetryOnce(job, "Get IBT", [&] { return GetIbtOnce(job); });
}

int SetNandParameters(DownloadJob& job) {
    return RetryOnce(job, "Set NAND parameters", [&] { return SetNandParametersOnce(job); });
}

int ReadManagementRecord(DownloadJob& job) {
    if (job.geometry.page_size == 512) {
        job.record.Clear();
        return 0;  // small-page chips keep no record
    }
    // "No record" (−1) is an answer, not a glitch.
    return RetryOnce(
        job, "Read the management record", [&] { return ReadManagementRecordOnce(job); },
        [](int r) { return r > 0; });
}

int InitSdi(DownloadJob& job, uint32_t parameter) {
    TargetLink& link = job.target();
    const CommandFrame frame(kCmdInitSdi, {0u, parameter});
    if (link.SendFrame(frame.span()) != 0) {
        job.reporter.WriteLog("\nUSB send Init_sdi command fail!\n");
        return 255;
    }
    ResponseFrame response;
    if (ReceiveResponse(link, response, job.timings.usb_response_ms) != 0) {
        job.error_text = "Wait for SDI init command response fail!\n";
        job.reporter.WriteLog(job.error_text);
        return 4000;
    }
    if (!response.HeaderOk()) {
        job.error_text =
            Format("SDI init return command fail, cmd.header = 0x%04X\n", response.header());
        job.reporter.WriteLog(job.error_text);
        return 4010;
    }
    for (uint32_t i = 0; i < 12; ++i) {
        if (response.Word(12 + 4 * i) != 0x12345678u + i) {
            return static_cast<int>(i) + 2;
        }
    }
    return 0;
}

}  // namespace velmora
