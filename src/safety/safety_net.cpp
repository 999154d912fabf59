#include "safety/safety_net.h"

#include <algorithm>
#include <ctime>

#include "base/results.h"
#include "base/text_format.h"
#include "flash/nand_operations.h"
#include "flash/verify.h"
#include "job/download_job.h"
#include "safety/safety_net_internal.h"

namespace velmora {
namespace safety_net {

std::string ChipIdText(const NandSession& nand) {
    std::string text;
    for (const uint8_t b : nand.chip().nand_id) {
        text += Format(text.empty() ? "%02X" : " %02X", b);
    }
    return text;
}

std::string ProductIdOf(const JobBase& job) {
    return job.product_id() ? ProductIdText(*job.product_id()) : std::string();
}

std::string Now() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

ManifestGeometry GeometryOf(const NandGeometry& g) {
    return {g.block_count, g.block_size, g.page_size, g.spare_size};
}

std::vector<int> BadBlocks(const NandSession& nand) {
    std::vector<int> bad;
    for (int b = 0; b < nand.chip().geometry.block_count; ++b) {
        if (!nand.chip().IbtGood(b)) {
            bad.push_back(b);
        }
    }
    return bad;
}

std::vector<std::pair<int, int>> Replacements(const NandSession& nand) {
    std::vector<std::pair<int, int>> pairs;
    if (!nand.chip().record.Present()) {
        return pairs;
    }
    for (int b = 0; b < std::min(nand.chip().reservoir_start, nand.chip().geometry.block_count);
         ++b) {
        if (!nand.chip().IbtGood(b) && MappedBlock(nand, b) != b) {
            pairs.emplace_back(b, MappedBlock(nand, b));
        }
    }
    return pairs;
}

int ReadTarget(const NandSession& nand, int b) {
    if (nand.chip().IbtGood(b) || nand.chip().record.Present()) {
        return MappedBlock(nand, b);
    }
    return RecordMapsBadBlocks(nand) ? b : -1;
}

std::vector<std::pair<int, int>> Logical(const NandSession& nand, int first, int end) {
    std::vector<std::pair<int, int>> blocks;
    for (int b = std::max(first, 0); b < std::min(end, nand.chip().geometry.block_count); ++b) {
        if (const int p = ReadTarget(nand, b); p >= 0) {
            blocks.emplace_back(b, p);
        }
    }
    return blocks;
}

PartitionRecord RecordOf(const NandSession& nand, int i) {
    return nand.chip().records.boot_version == 3 ? V3Record(nand.chip().records, i)
                                                 : ClassicRecord(nand.chip().records, i);
}

BlockRange PartitionBlocks(const NandSession& nand, int i) {
    const PartitionRecord rec = RecordOf(nand, i);
    const uint32_t size = BlockSize(nand);
    const int first = static_cast<int>(rec.offset / size);
    const auto end = static_cast<int>(
        std::min<uint64_t>((uint64_t{rec.offset} + rec.size) / size,
                           static_cast<uint64_t>(nand.chip().geometry.block_count)));
    return {first, end};
}

std::string PartitionName(const std::array<uint8_t, 8>& name) {
    std::string text;
    for (const uint8_t c : name) {
        if (c == 0) {
            break;
        }
        text += c < 0x20 || c > 0x7E ? '?' : static_cast<char>(c);
    }
    return text;
}

}  // namespace safety_net

int VerifyAfterWrite(DownloadJob& job) {
    namespace code = result::safety_net;
    if (!job.verify) {
        return 0;
    }
    job.EnterStep(JobStep::kVerify);
    job.reporter.SetPhase(Phase::kVerify);
    job.reporter.SetStatus(Format("Verifying %zu written blocks...", job.written().size()));
    std::vector<int> differing;
    const int r = VerifyWrittenBlocks(job, differing);
    if (r == 0 || job.Aborted()) {
        return r == 0 ? 0 : job.result();
    }
    Outcome said = job.attempt;
    said.code = r == code::kBlocksDiffer ? code::kVerifyMismatch : code::kVerifyReadFailed;
    if (r != code::kBlocksDiffer) {
        said.inner = r;
    }
    return job.Fail(std::move(said));
}

BackupSummary ReadBackupSummary(const std::string& folder, bool check_sums) {
    BackupSummary s;
    BackupManifest m;
    if (!LoadManifest(folder, m, s.error) ||
        (check_sums && !CheckBackupFiles(folder, m, s.error))) {
        return s;
    }
    s.date = m.date;
    s.product_id = ProductIdShown(m.product_id);
    s.chip_id = m.chip_id;
    s.range = m.range;
    return s;
}

}  // namespace velmora
