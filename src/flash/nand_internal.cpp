#include "flash/nand_internal.h"

#include <algorithm>

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

void ReportFailure(NandSession& nand, const std::string& text, bool log) {
    nand.error_text = text;
    nand.reporter.ShowStepMessage(text);
    if (log) {
        nand.reporter.WriteLog(text);
    }
}

}  // namespace velmora
