#include "sim/options.h"

#include <charconv>
#include <cstdlib>

#include "config/home.h"
#include "sim/nand.h"

namespace velmora::sim {

void FaultSet::Add(const Fault& fault) {
    std::lock_guard lock(mutex_);
    entries_.push_back({fault, 0});
}

void FaultSet::Clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

bool FaultSet::Has(FaultKind kind) const {
    std::lock_guard lock(mutex_);
    for (const auto& e : entries_) {
        if (e.fault.kind == kind) {
            return true;
        }
    }
    return false;
}

std::optional<Fault> FaultSet::Match(FaultKind kind, int command, int64_t block, int64_t first_page,
                                     int64_t pages) {
    std::lock_guard lock(mutex_);
    std::optional<Fault> fired;
    for (auto& e : entries_) {
        const Fault& f = e.fault;
        if (f.kind != kind || (f.command >= 0 && f.command != command) ||
            (f.block >= 0 && f.block != block) ||
            (f.page >= 0 && (f.page < first_page || f.page >= first_page + pages))) {
            continue;
        }
        ++e.seen;
        if (!fired && (f.nth == 0 || f.nth == e.seen)) {
            fired = f;
        }
    }
    return fired;
}

const std::vector<OptionSpec>& OptionSpecs() {
    static const std::vector<OptionSpec> specs = {
        {"chip", "MAKER,DEVICE",
         "catalogue entry of the chip (default EC,A1), looked up in FlashChip.ini"},
        {"catalogue", "DIR", "folder of FlashChip.ini (default: the program's home folder)"},
        {"blocks", "N", "number of blocks (overrides the catalogue)"},
        {"block-size", "BYTES", "block size in bytes, or with a K suffix in KiB"},
        {"page-size", "BYTES", "page size in bytes"},
        {"spare", "BYTES", "spare bytes per page"},
        {"erase-time", "US", "erase time per block in microseconds (with pace)"},
        {"write-time", "US", "program time per page in microseconds (with pace)"},
        {"id", "B1,B2,B3,B4", "the four NAND ID bytes in hex (default: the chip's two, 00, 15)"},
        {"bad", "N+N...", "factory bad blocks: marked bad in the IBT, erase and program fail"},
        {"nand", "FILE", "keep the chip's content in FILE between jobs and runs"},
        {"pace", nullptr,
         "bytes take their wire time at the host's baud rate, erases and programs the chip's "
         "times"},
        {"manual", nullptr,
         "the phone stays off until switched on (in-process only), instead of switching on "
         "whenever the host opens the port (serial) or at start (USB)"},
        {"announce-interval", "MS", "time between two 0x81 announcements (default 10)"},
        {"start-delay", "MS", "time from the jump to the RAM loader's 0xBE (default 10)"},
        {"data-timeout", "MS",
         "a stalled frame or data phase is dropped after this (default 5000)"},
        {"trace", "FILE",
         "write what the host did as JSON lines to FILE; a FILE that exists is refused"},
        {"trace-append", nullptr, "add to the trace FILE when it exists"},
        {"link", "PATH",
         "make PATH a symlink to the port; replaces only a link the simulated phone made"},
        {"no-echo", nullptr, "fault: the boot ROM does not echo the host's 'D'"},
        {"no-start", nullptr, "fault: the RAM loader never sends 0xBE"},
        {"no-ack", "N", "fault: the boot ROM goes silent at the Nth loader chunk ('L')"},
        {"drop", "SPEC", "fault: commands given by SPEC get no answer"},
        {"status", "SPEC", "fault: commands answer with status VALUE (default 1)"},
        {"bad-crc", "SPEC", "fault: the checksum in the answer is wrong"},
        {"stray", "SPEC", "fault: VALUE stray bytes (default 3) before the answer"},
        {"vanish", "SPEC", "fault: the port goes away when the command arrives"},
        {"late", "SPEC",
         "fault: the answer to the command is held back VALUE ms (e.g. late=13@0.0:6000 for the "
         "first read of block 0's page 0); once, or the Nth time with #N, or every time with a "
         "* at the end (late=13@0.0:6000*)"},
        {"noise", nullptr,
         "answer bytes the wire format leaves open (beyond header, status, checksums and each "
         "command's own values) carry random values, as a real loader's may"},
        {"erase-fail", "N+N...", "fault: erasing these blocks fails (they stay good in the IBT)"},
        {"program-fail", "N+N...", "fault: programming these blocks fails"},
        {"grown", "N+N...",
         "fault: these blocks went bad after the management record was written: the IBT "
         "marks them bad, erasing and programming them fail, their content stays"},
        {"flip", "BLOCK:OFFSET+...",
         "fault: the chip stores the byte at OFFSET of BLOCK (pages each followed by their "
         "spare bytes) with its lowest bit inverted; answers and ECC codes show the bytes "
         "as received"},
        {"read-flip", "N+N...",
         "fault: the first read of these blocks gives their first byte with its lowest bit "
         "inverted (the stored byte is right; a second read is clean)"},
        {"turns-bad", "N+N...",
         "fault: these blocks are good in the first session and bad (as grown bad blocks) in "
         "every later one, as a block that wears out between two jobs"},
    };
    return specs;
}

namespace {

bool ParseNumber(std::string_view text, int64_t& out, int base = 10) {
    if (text.empty()) {
        return false;
    }
    int64_t multiplier = 1;
    if (base == 10 && (text.back() == 'K' || text.back() == 'k')) {
        multiplier = 1024;
        text.remove_suffix(1);
    } else if (base == 10 && (text.back() == 'M' || text.back() == 'm')) {
        multiplier = 1024 * 1024;
        text.remove_suffix(1);
    }
    if (base == 10 && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size() || value < 0 ||
        value > INT64_MAX / multiplier) {
        return false;
    }
    out = value * multiplier;
    return true;
}

std::vector<std::string_view> Split(std::string_view text, std::string_view separators) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = text.find_first_of(separators, start);
        const size_t stop = end == std::string_view::npos ? text.size() : end;
        if (stop > start) {
            parts.push_back(text.substr(start, stop - start));
        }
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return parts;
}

bool ParseBlocks(std::string_view text, std::vector<uint32_t>& out) {
    for (auto part : Split(text, "+,")) {
        int64_t v = 0;
        if (!ParseNumber(part, v) || v > 0xFFFFFFFF) {
            return false;
        }
        out.push_back(static_cast<uint32_t>(v));
    }
    return true;
}

// SPEC: CMD[@BLOCK[.PAGE]][#NTH][:VALUE], several joined by '+'. A late answer
// comes once unless the SPEC ends in '*' (every time) or names #NTH.
bool ParseFaults(FaultKind kind, std::string_view text, std::vector<Fault>& out) {
    const auto parts = Split(text, "+");
    if (parts.empty()) {
        return false;
    }
    for (auto part : parts) {
        Fault f;
        f.kind = kind;
        f.value = kind == FaultKind::kStatus ? 1 : kind == FaultKind::kStray ? 3 : 0;
        if (kind == FaultKind::kLate) {
            f.nth = 1;
            if (part.size() > 1 && part.back() == '*') {
                f.nth = 0;
                part.remove_suffix(1);
            }
            if (part.find(':') == std::string_view::npos) {
                return false;  // how late must be said
            }
        }
        int64_t v = 0;
        if (const size_t colon = part.find(':'); colon != std::string_view::npos) {
            if (!ParseNumber(part.substr(colon + 1), v) || v > 0xFFFFFFFF) {
                return false;
            }
            if (kind == FaultKind::kLate && v > 3600000) {
                return false;
            }
            f.value = static_cast<uint32_t>(v);
            part = part.substr(0, colon);
        }
        if (const size_t hash = part.find('#'); hash != std::string_view::npos) {
            if (!ParseNumber(part.substr(hash + 1), v) || v == 0 || v > 1000000) {
                return false;
            }
            f.nth = static_cast<int>(v);
            part = part.substr(0, hash);
        }
        if (const size_t at = part.find('@'); at != std::string_view::npos) {
            std::string_view where = part.substr(at + 1);
            if (const size_t dot = where.find('.'); dot != std::string_view::npos) {
                if (!ParseNumber(where.substr(dot + 1), v)) {
                    return false;
                }
                f.page = v;
                where = where.substr(0, dot);
            }
            if (!ParseNumber(where, v)) {
                return false;
            }
            f.block = v;
            part = part.substr(0, at);
        }
        if (!part.empty() && part != "*") {
            if (!ParseNumber(part, v) || v > 0xFFFF) {
                return false;
            }
            f.command = static_cast<int>(v);
        }
        out.push_back(f);
    }
    return true;
}

bool IsFlag(const std::string& name) {
    for (const auto& spec : OptionSpecs()) {
        if (name == spec.name) {
            return spec.value == nullptr;
        }
    }
    return false;
}

bool IsOption(const std::string& name) {
    for (const auto& spec : OptionSpecs()) {
        if (name == spec.name) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool ApplyOption(const std::string& name, const std::string& value, PhoneOptions& o,
                 std::string& error) {
    auto bad_value = [&] {
        error = "bad value '" + value + "' for the simulated phone's option " + name;
        return false;
    };
    auto set_int = [&](std::optional<int32_t>& field) {
        int64_t v = 0;
        if (!ParseNumber(value, v) || v > 0x7FFFFFFF) {
            return bad_value();
        }
        field = static_cast<int32_t>(v);
        return true;
    };
    auto set_ms = [&](int& field) {
        int64_t v = 0;
        if (!ParseNumber(value, v) || v > 3600000) {
            return bad_value();
        }
        field = static_cast<int>(v);
        return true;
    };
    auto fault = [&](FaultKind kind) {
        return ParseFaults(kind, value, o.faults) ? true : bad_value();
    };
    if (name == "chip") {
        if (Split(value, ",").size() != 2) {
            return bad_value();
        }
        o.chip = value;
        for (auto& c : o.chip) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        return true;
    }
    if (name == "catalogue") {
        o.catalogue = value;
        return true;
    }
    if (name == "blocks") {
        return set_int(o.blocks);
    }
    if (name == "block-size") {
        return set_int(o.block_size);
    }
    if (name == "page-size") {
        return set_int(o.page_size);
    }
    if (name == "spare") {
        return set_int(o.spare_size);
    }
    if (name == "erase-time") {
        return set_int(o.erase_time);
    }
    if (name == "write-time") {
        return set_int(o.write_time);
    }
    if (name == "id") {
        const auto parts = Split(value, ",+");
        if (parts.size() != 4) {
            return bad_value();
        }
        std::array<uint8_t, 4> id{};
        for (size_t i = 0; i < 4; ++i) {
            int64_t v = 0;
            if (!ParseNumber(parts[i], v, 16) || v > 0xFF) {
                return bad_value();
            }
            id[i] = static_cast<uint8_t>(v);
        }
        o.id = id;
        return true;
    }
    if (name == "bad") {
        return ParseBlocks(value, o.bad_blocks) ? true : bad_value();
    }
    if (name == "erase-fail") {
        return ParseBlocks(value, o.erase_fail_blocks) ? true : bad_value();
    }
    if (name == "program-fail") {
        return ParseBlocks(value, o.program_fail_blocks) ? true : bad_value();
    }
    if (name == "grown") {
        return ParseBlocks(value, o.grown_blocks) ? true : bad_value();
    }
    if (name == "read-flip") {
        return ParseBlocks(value, o.read_flips) ? true : bad_value();
    }
    if (name == "turns-bad") {
        return ParseBlocks(value, o.turns_bad) ? true : bad_value();
    }
    if (name == "flip") {
        for (auto part : Split(value, "+")) {
            const size_t colon = part.find(':');
            int64_t block = 0;
            int64_t offset = 0;
            if (colon == std::string_view::npos || !ParseNumber(part.substr(0, colon), block) ||
                !ParseNumber(part.substr(colon + 1), offset) || block > 0xFFFFFFFF) {
                return bad_value();
            }
            o.flips.push_back({static_cast<uint32_t>(block), static_cast<uint64_t>(offset)});
        }
        return !o.flips.empty() || bad_value();
    }
    if (name == "nand") {
        o.nand_file = value;
        return true;
    }
    if (name == "pace") {
        o.pace = true;
        return true;
    }
    if (name == "manual") {
        o.auto_power = false;
        return true;
    }
    if (name == "announce-interval") {
        return set_ms(o.announce_interval_ms) && (o.announce_interval_ms > 0 || bad_value());
    }
    if (name == "start-delay") {
        return set_ms(o.start_delay_ms);
    }
    if (name == "data-timeout") {
        return set_ms(o.data_timeout_ms);
    }
    if (name == "trace") {
        o.trace_file = value;
        return true;
    }
    if (name == "trace-append") {
        o.trace_append = true;
        return true;
    }
    if (name == "link") {
        o.link = value;
        return true;
    }
    if (name == "no-echo") {
        o.faults.push_back({FaultKind::kNoEcho, -1, -1, 0, 0});
        return true;
    }
    if (name == "no-ack") {
        int64_t n = 0;
        if (!ParseNumber(value, n) || n < 1 || n > 1000000) {
            return bad_value();
        }
        o.faults.push_back({FaultKind::kNoLoadAck, 'L', -1, static_cast<int>(n), 0});
        return true;
    }
    if (name == "no-start") {
        o.faults.push_back({FaultKind::kNoStartByte, -1, -1, 0, 0});
        return true;
    }
    if (name == "drop") {
        return fault(FaultKind::kDrop);
    }
    if (name == "status") {
        return fault(FaultKind::kStatus);
    }
    if (name == "bad-crc") {
        return fault(FaultKind::kBadCrc);
    }
    if (name == "stray") {
        return fault(FaultKind::kStray);
    }
    if (name == "vanish") {
        return fault(FaultKind::kVanish);
    }
    if (name == "late") {
        return fault(FaultKind::kLate);
    }
    if (name == "noise") {
        o.faults.push_back({FaultKind::kNoise, -1, -1, 0, 0});
        return true;
    }
    error = "unknown option of the simulated phone: " + name;
    return false;
}

bool ParsePhoneOptions(std::string_view text, PhoneOptions& options, std::string& error) {
    std::string name;
    std::string value;
    bool pending = false;
    auto flush = [&] {
        if (!pending) {
            return true;
        }
        pending = false;
        return ApplyOption(name, value, options, error);
    };
    for (auto piece : Split(text, ",")) {
        const std::string token(piece);
        const size_t eq = token.find('=');
        const std::string key = eq == std::string::npos ? token : token.substr(0, eq);
        if (eq != std::string::npos && IsOption(key)) {
            if (!flush()) {
                return false;
            }
            name = key;
            value = token.substr(eq + 1);
            pending = true;
        } else if (eq == std::string::npos && IsFlag(token)) {
            if (!flush()) {
                return false;
            }
            name = token;
            value.clear();
            pending = true;
        } else if (pending && !IsFlag(name)) {
            value += "," + token;
        } else {
            error = "unknown option of the simulated phone: " + token;
            return false;
        }
    }
    return flush();
}

bool ResolveChip(const PhoneOptions& o, ChipDescription& chip, std::string& error) {
    chip = ChipDescription{};
    NandGeometry& g = chip.geometry;
    // Without a catalogue entry: a 128 MiB chip of 2048-byte pages.
    g = NandGeometry{1024, 128 * 1024, 2048, 64, 2000, 200};
    const auto key = Split(o.chip, ",");
    int64_t maker = 0xEC;
    int64_t device = 0xA1;
    const bool explicit_shape = o.blocks && o.block_size && o.page_size && o.spare_size;
    if (!o.chip.empty()) {
        if (key.size() != 2 || !ParseNumber(key[0], maker, 16) ||
            !ParseNumber(key[1], device, 16) || maker > 0xFF || device > 0xFF) {
            error = "bad chip name '" + o.chip + "' (want two hex bytes, e.g. EC,A1)";
            return false;
        }
        if (!explicit_shape) {
            std::string folder = o.catalogue;
            if (folder.empty()) {
                folder = Home().empty() ? ResolveHome() : Home();
            }
            if (!folder.empty() && folder.back() != '/') {
                folder.push_back('/');
            }
            NandGeometry found;
            const int missing = LookupChip(folder, o.chip, found);
            if (missing != 0) {
                error = missing < 0 ? "cannot open " + folder + "FlashChip.ini"
                                    : "chip " + o.chip + " is not (fully) listed in " + folder +
                                          "FlashChip.ini";
                return false;
            }
            g = found;
        }
    }
    if (o.blocks)
        g.block_count = *o.blocks;
    if (o.block_size)
        g.block_size = *o.block_size;
    if (o.page_size)
        g.page_size = *o.page_size;
    if (o.spare_size)
        g.spare_size = *o.spare_size;
    if (o.erase_time)
        g.erase_time = *o.erase_time;
    if (o.write_time)
        g.write_time = *o.write_time;
    if (g.block_count <= 0 || g.page_size <= 0 || g.block_size <= 0 || g.spare_size < 0 ||
        g.block_size % g.page_size != 0) {
        error = "the chip's geometry is not usable";
        return false;
    }
    if (ChipBytes(g) > NandChip::kMaxBytes) {
        error = "the chip's geometry is not usable: it would hold more than 1 TiB";
        return false;
    }
    chip.id = o.id.value_or(std::array<uint8_t, 4>{static_cast<uint8_t>(maker),
                                                   static_cast<uint8_t>(device), 0x00, 0x15});
    chip.bad_blocks = o.bad_blocks;
    chip.grown_blocks = o.grown_blocks;
    chip.flips = o.flips;
    chip.read_flips = o.read_flips;
    chip.turns_bad = o.turns_bad;
    for (const auto* list :
         {&chip.bad_blocks, &chip.grown_blocks, &chip.read_flips, &chip.turns_bad}) {
        for (uint32_t b : *list) {
            if (b >= static_cast<uint32_t>(g.block_count)) {
                error = "bad block " + std::to_string(b) + " lies beyond the chip";
                return false;
            }
        }
    }
    const uint64_t block_bytes = ChipBytes(g) / static_cast<uint64_t>(g.block_count);
    for (const BitFlip& f : chip.flips) {
        if (f.block >= static_cast<uint32_t>(g.block_count) || f.offset >= block_bytes) {
            error = "flip " + std::to_string(f.block) + ":" + std::to_string(f.offset) +
                    " lies beyond the chip (a block holds " + std::to_string(block_bytes) +
                    " bytes with spare)";
            return false;
        }
    }
    return true;
}

}  // namespace velmora::sim
