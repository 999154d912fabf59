#include "flash/nand_internal.h"

#include <algorithm>

#include "base/text_format.h"
#include "flash/target_protocol.h"

namespace velmora {

PartitionRecord ClassicRecord(const TargetPartitionRecords& records, int i) {
    PartitionRecord r;
    const uint8_t* p = records.classic.data() + size_t(i) * TargetPartitionRecords::kClassicSize;
    r.offset = LoadLe32(p);
    r.size = LoadLe32(p + 4);
    r.content_size = LoadLe32(p + 8);
    std::copy_n(p + 28, 8, r.name.begin());
    r.id = p[28];
    return r;
}

PartitionRecord V3Record(const TargetPartitionRecords& records, int i) {
    PartitionRecord r;
    const uint8_t* p = records.v3.data() + size_t(i) * TargetPartitionRecords::kV3Size;
    r.offset = LoadLe32(p);
    r.size = LoadLe32(p + 4);
    r.id = LoadLe32(p + 12);
    std::copy_n(p + 16, 8, r.name.begin());
    return r;
}

bool SettleForRetry(NandSession& nand) {
    if (!nand.Sleep(nand.timings().retry_pause_ms)) {
        return false;
    }
    // A line that does not fall quiet takes no command: the retry then fails at once.
    nand.link().Drain(nand.timings().quiet_ms);
    return !nand.Aborted();
}

bool OneAnswerOnly(NandSession& nand, std::string_view what, int64_t chip_us) {
    const int64_t wait_ms = int64_t{nand.timings().quiet_ms} + (chip_us + 999) / 1000;
    const long extra = nand.link().Drain(static_cast<int>(std::min<int64_t>(wait_ms, 1 << 30)));
    if (extra == 0 || nand.Aborted()) {
        return extra == 0;
    }
    const std::string text =
        std::string(what) +
        ": two answers came to one command. The phone answered late, after the command was "
        "sent again, and which answer belongs to which cannot be told, so neither is used.";
    nand.reporter.WriteLog(extra > 0
                               ? Format("\n%s (%ld bytes after the answer)\n", text.c_str(), extra)
                               : "\n" + text + " (the line did not fall quiet)\n");
    nand.AddNote(text);
    nand.attempt.text = text;
    return false;
}

void ReportFailure(NandSession& nand, const std::string& text, bool log) {
    nand.attempt.text = text;
    nand.reporter.ShowStepMessage(text);
    if (log) {
        nand.reporter.WriteLog(text);
    }
}

}  // namespace velmora
