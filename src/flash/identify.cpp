#include "flash/identify.h"

#include "base/text_format.h"
#include "config/chip_catalogue.h"
#include "flash/nand_internal.h"
#include "flash/target_link.h"
#include "flash/target_protocol.h"
#include "job/download_job.h"

namespace velmora {
namespace {

// The status line shows the failure at once; the job's end shows it again.
void Report(DownloadJob& job, const char* text) {
    job.reporter.SetStatus(text);
    job.error_text = text;
}

// Command 5 and its answer. 0, −1000 no answer, −1001 a bad one.
int ReadId(DownloadJob& job, ResponseFrame& response) {
    TargetLink& link = job.target();
    Reporter& reporter = job.reporter;
    const bool usb = link.kind() == LinkKind::kUsb;
    const CommandFrame frame(kCmdReadNandId, {});
    link.SendFrame(frame.span());
    if (const int code =
            ReceiveResponse(link, response, AnswerMs(job, job.timings.response_ms, 2 * kFrameSize));
        code != 0) {
        if (usb) {
            job.error_text = Format("\nread usb dlv error, #%d", code);
            reporter.WriteLog(job.error_text);
            reporter.SetStatus("USB device read error");
        } else {
            Report(job, "读NAND FLash ID错误！");
        }
        return -1000;
    }
    if (!response.HeaderOk() || response.status() != 0) {
        if (usb) {
            reporter.WriteLog(Format("\nReceive command error, header: 0x%04X, res: 0x%08X!",
                                     response.header(), response.status()));
        }
        Report(job, "读NAND FLash ID错误！");
        return -1001;
    }
    return 0;
}

}  // namespace

int IdentifyNand(DownloadJob& job) {
    TargetLink& link = job.target();
    Reporter& reporter = job.reporter;
    const bool usb = link.kind() == LinkKind::kUsb;
    job.geometry = NandGeometry{};
    ResponseFrame response;
    if (const int r = RetryOnce(job, "Read NAND ID", [&] { return ReadId(job, response); });
        r != 0) {
        return r;
    }

    for (size_t i = 0; i < 4; ++i) {
        job.nand_id[i] = static_cast<uint8_t>(response.Word(4 + 4 * i) & 0xFF);
    }
    const auto& id = job.nand_id;
    reporter.SetChip(id);

    if (id[0] == 0xFF) {
        Report(job, "芯片类型错误！");
        return -2000;
    }
    if (const int c = LookupChip(job.home, ChipIdText(id[0], id[1]), job.geometry); c != 0) {
        Report(job, "未知芯片类型！");
        if (c < 0) {
            // The catalogue vanished since the job started: name it, not the chip.
            job.error_text = "Cannot read the chip catalogue " + job.home + kCatalogueName + ".ini";
        }
        return 20000 + c;
    }
    const NandGeometry& g = job.geometry;
    // A page size of 0 (or a negative value) cannot describe a chip.
    const bool geometry_ok = g.page_size > 0 && g.block_size > 0 && g.block_count > 0 &&
                             g.block_size % 16384 == 0 && g.page_size % 512 == 0 &&
                             g.block_size % g.page_size == 0;
    if (!geometry_ok) {
        Report(job, "参数定义错误！");
        return -2002;
    }

    reporter.InitBlockMap(g.block_count, static_cast<uint32_t>(g.block_size));
    if (usb) {
        reporter.WriteLog(
            Format("\nFind NAND FLASH, ID: %02X, %02X, %02X, %02X\n", id[0], id[1], id[2], id[3]));
        reporter.WriteLog(Format(
            "\nNAND FLASH Parameter:\n  Total blocks:  %d,\n  Block Size:    %d,\n  Page Size:     "
            "%d.\n",
            g.block_count, g.block_size, g.page_size));
    } else {
        link.PurgeInput();
    }
    return 0;
}

}  // namespace velmora
