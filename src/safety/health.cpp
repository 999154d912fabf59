// The NAND health report: bad blocks, replacements, the reservoir, the record's
// copies and where each partition lies; compared with an earlier one.
#include "safety/health.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "base/results.h"
#include "base/text_format.h"
#include "config/ini_store.h"
#include "flash/nand_operations.h"
#include "flash/read_back.h"
#include "job/download_job.h"
#include "safety/json_shape.h"
#include "safety/safety_net.h"
#include "safety/safety_net_internal.h"

namespace velmora {
namespace {

using namespace safety_net;
using namespace json_shape;
namespace code = result::safety_net;

// The two record copies: the highest free reservoir blocks, as they were chosen.
std::vector<int> RecordCopies(const NandSession& nand) {
    std::vector<int> copies;
    const int blocks = nand.chip().geometry.block_count;
    for (int n = blocks - 1; n >= nand.chip().reservoir_start && copies.size() < 2; --n) {
        const uint32_t e = nand.chip().record.Entry(n);
        if (e == 0) {
            copies.push_back(n);
        } else if (e != ManagementRecord::kBadReservoir) {
            break;
        }
    }
    return copies;
}

int ReadRecordCopy(NandSession& nand, int block, std::vector<uint8_t>& out) {
    const auto page = static_cast<uint32_t>(nand.chip().geometry.page_size);
    out.assign(ManagementRecord::kBytes, 0);
    std::vector<uint8_t> buffer(BytesPerPage(nand, true));
    for (uint32_t done = 0, k = 0; done < out.size(); ++k) {
        const uint32_t n = std::min<uint32_t>(page, static_cast<uint32_t>(out.size()) - done);
        if (const int r = RetryOnce(nand, Format("Read record copy in block %d", block),
                                    [&] { return ReadPage(nand, buffer, block, int(k), n); });
            r != 0) {
            return r;
        }
        std::copy_n(buffer.begin(), n, out.begin() + done);
        done += n;
    }
    return 0;
}

Json Changes(const Json& now, const BadBlockView& then) {
    Json changes = Json::array();
    if (!then.chip_id.empty() && then.chip_id != now.value("chip_id", "")) {
        changes.push_back("The earlier report is of another chip (" + then.chip_id + ").");
        return changes;
    }
    std::set<int> bad;
    std::map<int, int> replaced;
    for (const Json& r : now["bad_blocks"]["replaced"]) {
        bad.insert(r["block"].get<int>());
        replaced[r["block"].get<int>()] = r["by"].get<int>();
    }
    for (const char* key : {"unreplaced", "reservoir"}) {
        for (const Json& b : now["bad_blocks"][key]) {
            bad.insert(b.get<int>());
        }
    }
    for (const int b : bad) {
        if (then.bad.count(b) == 0) {
            changes.push_back(Format("Block %d turned bad.", b));
        }
    }
    for (const int b : then.bad) {
        if (bad.count(b) == 0) {
            changes.push_back(Format("Block %d is no longer marked bad.", b));
        }
    }
    for (const auto& [b, by] : replaced) {
        const auto it = then.replaced.find(b);
        if (then.bad.count(b) != 0 && it != then.replaced.end() && it->second != by) {
            changes.push_back(
                Format("Block %d is now replaced by block %d (it was %d).", b, by, it->second));
        }
    }
    const int used = now["reservoir"].value("used", -1);
    if (then.reservoir_used >= 0 && used != then.reservoir_used) {
        changes.push_back(
            Format("Reservoir blocks in use: %d, were %d.", used, then.reservoir_used));
    }
    return changes;
}

// A list of block numbers; false when it is anything else.
bool BlockList(const Json* list, std::set<int>& out) {
    if (list == nullptr) {
        return true;
    }
    if (!list->is_array()) {
        return false;
    }
    for (const Json& b : *list) {
        const auto v = IntegerIn(&b, 0, INT32_MAX);
        if (!v) {
            return false;
        }
        out.insert(static_cast<int>(*v));
    }
    return true;
}

}  // namespace

bool ParseHealthReport(std::string_view text, BadBlockView& v, std::string& error) {
    const Json j = Json::parse(text, nullptr, false);
    const Json* bad = Member(j, "bad_blocks");
    if (j.is_discarded() || bad == nullptr || !bad->is_object()) {
        error = "it is not a health report";
        return false;
    }
    auto wrong = [&](const char* what) {
        error = std::string(what) + " is not what a health report holds there";
        return false;
    };
    BadBlockView view;
    for (const auto& [key, field] :
         {std::pair{"date", &view.date}, std::pair{"chip_id", &view.chip_id}}) {
        if (const Json* s = Member(j, key)) {
            if (!s->is_string()) {
                return wrong(key);
            }
            *field = s->get<std::string>();
        }
    }
    if (const Json* replaced = Member(*bad, "replaced")) {
        if (!replaced->is_array()) {
            return wrong("\"bad_blocks\".\"replaced\"");
        }
        for (const Json& r : *replaced) {
            const auto block = IntegerIn(Member(r, "block"), 0, INT32_MAX);
            const auto by = IntegerIn(Member(r, "by"), 0, INT32_MAX);
            if (!block || !by) {
                return wrong("an entry of \"bad_blocks\".\"replaced\"");
            }
            view.bad.insert(static_cast<int>(*block));
            view.replaced[static_cast<int>(*block)] = static_cast<int>(*by);
        }
    }
    if (!BlockList(Member(*bad, "unreplaced"), view.bad)) {
        return wrong("\"bad_blocks\".\"unreplaced\"");
    }
    if (!BlockList(Member(*bad, "reservoir"), view.bad)) {
        return wrong("\"bad_blocks\".\"reservoir\"");
    }
    if (const Json* used = Member(ObjectOr(j, "reservoir"), "used")) {
        const auto n = IntegerIn(used, 0, INT32_MAX);
        if (!n) {
            return wrong("\"reservoir\".\"used\"");
        }
        view.reservoir_used = static_cast<int>(*n);
    }
    v = std::move(view);
    return true;
}

bool ReadBadBlockView(const std::string& path, BadBlockView& v, std::string& error) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        BackupManifest m;
        if (!LoadManifest(path, m, error)) {
            return false;
        }
        v = BadBlockView{};
        v.date = m.date;
        v.chip_id = m.chip_id;
        v.bad.insert(m.bad_blocks.begin(), m.bad_blocks.end());
        v.replaced.insert(m.replacements.begin(), m.replacements.end());
        return true;
    }
    std::string text;
    std::string why;
    if (ReadTextFile(path, text, why) != kReadOk) {
        error = why + ": it is neither a backup folder nor a health report.";
        return false;
    }
    if (!ParseHealthReport(text, v, why)) {
        error = path + " is neither a backup folder nor a health report: " + why + ".";
        return false;
    }
    return true;
}

namespace {

Json ReportHead(const DownloadJob& job) {
    const ManifestGeometry g = GeometryOf(job.chip().geometry);
    return {{"date", Now()},
            {"chip_id", ChipIdText(job)},
            {"product_id", ProductIdOf(job)},
            {"geometry",
             {{"block_count", g.block_count},
              {"block_size", g.block_size},
              {"page_size", g.page_size},
              {"spare_size", g.spare_size}}}};
}

// The bad blocks, replaced or not, and the reservoir's use. `copies` are the
// record's blocks, taken out of the free count.
void AddBadBlocks(DownloadJob& job, const std::vector<int>& copies, Json& report) {
    const int blocks = job.chip().geometry.block_count;
    const int reservoir = ReservoirStart(blocks);
    Json replaced = Json::array();
    Json unreplaced = Json::array();
    Json reservoir_bad = Json::array();
    const bool record = job.chip().record.Present();
    int used = 0;
    int free_blocks = 0;
    for (int b = 0; b < blocks; ++b) {
        const bool in_reservoir = record && b >= reservoir;
        if (in_reservoir) {
            const uint32_t e = job.chip().record.Entry(b);
            used += e == ManagementRecord::kUsedReservoir ? 1 : 0;
            free_blocks += e == 0 && job.chip().IbtGood(b) ? 1 : 0;
        }
        if (job.chip().IbtGood(b)) {
            continue;
        }
        if (in_reservoir) {
            reservoir_bad.push_back(b);
        } else if (record && MappedBlock(job, b) != b) {
            replaced.push_back({{"block", b}, {"by", MappedBlock(job, b)}});
        } else {
            unreplaced.push_back(b);
        }
    }
    report["bad_blocks"] = {
        {"replaced", replaced}, {"unreplaced", unreplaced}, {"reservoir", reservoir_bad}};
    // The copies hold the record; two copies count, the loader's one aside.
    free_blocks -= static_cast<int>(copies.size());
    report["reservoir"] = {{"first", reservoir},
                           {"blocks", blocks - reservoir},
                           {"used", record ? used : 0},
                           {"free", record ? free_blocks : 0},
                           {"bad", static_cast<int>(reservoir_bad.size())}};
}

// The record's copies, read and compared with each other and the loader's record.
int AddRecord(DownloadJob& job, const std::vector<int>& copies, Json& report) {
    const bool record = job.chip().record.Present();
    Json rec = {{"present", record}, {"maps_bad_blocks", RecordMapsBadBlocks(job)}};
    if (record) {
        std::vector<std::vector<uint8_t>> bytes(copies.size());
        for (size_t i = 0; i < copies.size(); ++i) {
            if (const int r = ReadRecordCopy(job, copies[i], bytes[i]); r != 0) {
                if (job.Aborted()) {
                    return job.result();
                }
                return job.Fail(Outcome::Of(code::kHealthReadFailed,
                                            Format("Health: the record copy in block %d could "
                                                   "not be read, #%d",
                                                   copies[i], r))
                                    .Wrapping(r));
            }
        }
        const auto loader = job.chip().record.ToBytes();
        rec["copies"] = copies;
        rec["copies_equal"] = copies.size() == 2 && bytes[0] == bytes[1];
        rec["copy_matches_record"] =
            !bytes.empty() && std::equal(loader.begin(), loader.end(), bytes[0].begin());
    }
    report["record"] = rec;
    return 0;
}

// Where each partition of block 0's table lies.
int AddPartitions(DownloadJob& job, Json& report) {
    Json partitions = Json::array();
    const int table = ReadBootTable(job, kBootTableToJob);
    if (const std::optional<int> inner = result::BootTableReadOf(table)) {
        // Block 0 could not be read: whether it holds a table is not known.
        if (job.Aborted()) {
            return job.result();
        }
        return job.Fail(Outcome::Of(code::kHealthReadFailed,
                                    Format("Health: block 0 could not be read, #%d", table))
                            .Wrapping(inner));
    }
    if (table == 0 && CodeAreaEndBlock(job) >= 0) {
        const int count =
            static_cast<int>(std::min<uint32_t>(job.chip().records.partition_count, 16));
        for (int i = 0; i < count; ++i) {
            const BlockRange r = PartitionBlocks(job, i);
            partitions.push_back({{"number", i + 1},
                                  {"name", PartitionName(RecordOf(job, i).name)},
                                  {"first", r.first},
                                  {"end", r.end},
                                  {"blocks", Logical(job, r.first, r.end)}});
        }
    } else {
        if (job.Aborted()) {
            return job.result();
        }
        report["partition_table"] = "Block 0 holds no partition table.";
    }
    report["partitions"] = partitions;
    return 0;
}

// What changed since a backup or an earlier report, when asked.
void AddSince(const std::string& since_path, Json& report) {
    if (since_path.empty()) {
        return;
    }
    BadBlockView then;
    std::string error;
    if (ReadBadBlockView(since_path, then, error)) {
        report["since"] = {
            {"path", since_path}, {"date", then.date}, {"changes", Changes(report, then)}};
    } else {
        report["since"] = {{"path", since_path}, {"error", error}};
    }
}

}  // namespace

int RunHealth(DownloadJob& job) {
    job.EnterStep(JobStep::kHealth);
    job.reporter.SetStatus("NAND health...");
    Json report = ReportHead(job);
    const std::vector<int> copies =
        job.chip().record.Present() ? RecordCopies(job) : std::vector<int>{};
    AddBadBlocks(job, copies, report);
    if (const int r = AddRecord(job, copies, report); r != 0) {
        return r;
    }
    if (const int r = AddPartitions(job, report); r != 0) {
        return r;
    }
    AddSince(job.since_path, report);
    job.report = report.dump(-1, ' ', false, Json::error_handler_t::replace);
    return 0;
}

std::string HealthText(const std::string& report_json) {
    const Json j = Json::parse(report_json, nullptr, false);
    if (j.is_discarded() || !j.is_object()) {
        return "The health report cannot be read.\n";
    }
    // Shown as far as it has the shape of a report: a missing or odd value
    // shows as 0 or "?" rather than ending the program.
    std::ostringstream out;
    const Json& g = ObjectOr(j, "geometry");
    out << "Chip " << TextOr(j, "chip_id", "?") << ": " << IntOr(g, "block_count", 0)
        << " blocks of " << IntOr(g, "block_size", 0) / 1024 << " KiB, pages of "
        << IntOr(g, "page_size", 0) << " + " << IntOr(g, "spare_size", 0) << " bytes\n";
    if (const std::string p = TextOr(j, "product_id", ""); !p.empty()) {
        out << "Product ID " << ProductIdShown(p) << "\n";
    }
    const auto number = [](const Json* v) {
        const auto n = IntegerIn(v, INT32_MIN, INT32_MAX);
        return n ? std::to_string(*n) : std::string("?");
    };
    const Json& bad = ObjectOr(j, "bad_blocks");
    const Json& replaced = ListOr(bad, "replaced");
    const Json& unreplaced = ListOr(bad, "unreplaced");
    const size_t reserve = ListOr(bad, "reservoir").size();
    out << "Bad blocks: " << replaced.size() + unreplaced.size() + reserve << " ("
        << replaced.size() << " replaced, " << unreplaced.size() << " without a replacement, "
        << reserve << " in the reservoir)\n";
    for (const Json& r : replaced) {
        out << "  block " << number(Member(r, "block")) << " replaced by block "
            << number(Member(r, "by")) << "\n";
    }
    const Json& rec = ObjectOr(j, "record");
    const bool record = BoolOr(rec, "present", false);
    for (const Json& b : unreplaced) {
        out << "  block " << number(&b) << ": no replacement"
            << (record ? " (it went bad after the record was written)" : "") << "\n";
    }
    const Json& r = ObjectOr(j, "reservoir");
    out << "Reservoir: blocks " << IntOr(r, "first", 0) << " to "
        << int64_t{IntOr(r, "first", 0)} + IntOr(r, "blocks", 0) - 1 << " ("
        << IntOr(r, "blocks", 0) << "): " << IntOr(r, "used", 0) << " used, " << IntOr(r, "free", 0)
        << " free, " << IntOr(r, "bad", 0) << " bad\n";
    if (!record) {
        out << "Record: none"
            << (BoolOr(rec, "maps_bad_blocks", false) ? "" : " (this chip keeps none)") << "\n";
    } else {
        out << "Record: present; copies in blocks";
        for (const Json& c : ListOr(rec, "copies")) {
            out << " " << number(&c);
        }
        out << (BoolOr(rec, "copies_equal", false) ? ", equal" : ", NOT equal")
            << (BoolOr(rec, "copy_matches_record", false) ? "" : ", unlike the loader's record")
            << "\n";
    }
    if (const Json* t = Member(j, "partition_table"); t != nullptr && t->is_string()) {
        out << "Partitions: " << t->get<std::string>() << "\n";
    } else {
        out << "Partitions:\n";
    }
    for (const Json& p : ListOr(j, "partitions")) {
        out << Format("  %2s %-8s blocks %s to %s", number(Member(p, "number")).c_str(),
                      TextOr(p, "name", "?").c_str(), number(Member(p, "first")).c_str(),
                      std::to_string(int64_t{IntOr(p, "end", 0)} - 1).c_str());
        std::string moved;
        for (const Json& b : ListOr(p, "blocks")) {
            if (!b.is_array() || b.size() != 2) {
                continue;
            }
            const int64_t l = IntegerIn(&b[0], 0, INT32_MAX).value_or(-1);
            const int64_t ph = IntegerIn(&b[1], 0, INT32_MAX).value_or(-1);
            if (l >= 0 && ph >= 0 && l != ph) {
                moved += Format("%s%lld in %lld", moved.empty() ? "" : ", ",
                                static_cast<long long>(l), static_cast<long long>(ph));
            }
        }
        out << (moved.empty() ? "" : " (" + moved + ")") << "\n";
    }
    if (const Json* s = Member(j, "since"); s != nullptr && s->is_object()) {
        if (Member(*s, "error") != nullptr) {
            out << "No comparison: " << TextOr(*s, "error", "?") << "\n";
        } else {
            out << "Since " << TextOr(*s, "path", "") << " (" << TextOr(*s, "date", "") << "): ";
            const Json& changes = ListOr(*s, "changes");
            out << (changes.empty() ? "no change\n" : "\n");
            for (const Json& c : changes) {
                out << "  " << (c.is_string() ? c.get<std::string>() : "?") << "\n";
            }
        }
    }
    return out.str();
}

}  // namespace velmora
