#include "sim/ram_loader.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/checksum.h"

namespace velmora::sim {

namespace {

constexpr uint32_t kBadArgument = 0xE0;  // status of a frame whose arguments do not fit the chip
constexpr uint32_t kChipFailure = 3;     // status of a failed erase or program
constexpr uint32_t kCrcFailure = 5;      // status of a data phase whose CRC does not match
constexpr uint32_t kNoRecord = 255;
constexpr size_t kMaxDataPhase = 16u << 20;
constexpr uint8_t kAck = 'O';

// The pages a frame names: first and count (none for commands without pages).
std::pair<int64_t, int64_t> PagesOf(int command, const uint32_t* args) {
    switch (command) {
        case 8:
            return {args[1], args[2]};
        case 13:
            return {args[1], 1};
        default:
            return {0, 0};
    }
}

// Holds back the first byte of an answer: the "late" fault.
class HeldIo : public LoaderIo {
  public:
    HeldIo(LoaderIo& io, int ms) : io_(io), ms_(ms) {}
    bool Receive(uint8_t* data, size_t n) override { return io_.Receive(data, n); }
    bool Send(const uint8_t* data, size_t n) override {
        if (ms_ > 0) {
            const int ms = ms_;
            ms_ = 0;
            if (!io_.Hold(ms)) {
                return false;
            }
        }
        return io_.Send(data, n);
    }
    void ChipBusy(int64_t microseconds) override { io_.ChipBusy(microseconds); }
    void SetBaud(uint32_t baud) override { io_.SetBaud(baud); }
    void Vanish() override { io_.Vanish(); }
    bool Hold(int ms) override { return io_.Hold(ms); }

  private:
    LoaderIo& io_;
    int ms_;
};

int64_t BlockOf(int command, const uint32_t* args) {
    switch (command) {
        case 8:
        case 9:
        case 10:
        case 11:
        case 13:
            return args[0];
        default:
            return -1;
    }
}

}  // namespace

uint32_t GetU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void PutU32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

FrameFields DecodeFrame(const Frame& frame) {
    FrameFields f;
    f.header = frame[0] == 0x55 && frame[1] == 0xAA;
    f.command = frame[2] | frame[3] << 8;
    for (size_t i = 0; i < f.args.size(); ++i) {
        f.args[i] = GetU32(frame.data() + 4 + 4 * i);
    }
    f.tail_clear = std::all_of(frame.begin() + 32, frame.end(), [](uint8_t b) { return b == 0; });
    return f;
}

struct RamLoader::Answer {
    int command = 0;
    int64_t block = -1;
    Frame frame{};
    bool drop = false;
    std::optional<Fault> status;
    std::optional<Fault> bad_crc;
    std::optional<Fault> stray;
    bool noise = false;

    void SetStatus(uint32_t s) { PutU32(frame.data() + 60, s); }
    uint32_t Status() const { return GetU32(frame.data() + 60); }
};

RamLoader::RamLoader(NandChip& chip, Trace& trace, FaultSet& faults, Link link)
    : chip_(chip), trace_(trace), faults_(faults), link_(link) {}

bool RamLoader::Execute(const Frame& frame, LoaderIo& io) {
    const FrameFields fields = DecodeFrame(frame);
    if (!fields.header) {
        trace_.Violation("frame without the 0xAA55 header");
        return true;
    }
    const int command = fields.command;
    const uint32_t* args = fields.args.data();
    TraceEvent event;
    event.kind = "frame";
    event.command = command;
    event.args = fields.args;
    trace_.Add(event);
    if (!fields.tail_clear) {
        trace_.Violation("frame bytes 32 to 63 are not zero", command);
    }

    Answer a;
    a.command = command;
    a.block = BlockOf(command, args);
    // Plain names, not a structured binding: clang before 16 will not let the lambda below capture
    // one.
    const auto page_span = PagesOf(command, args);
    const auto page = page_span.first;
    const auto pages = page_span.second;
    auto match = [&](FaultKind kind) { return faults_.Match(kind, command, a.block, page, pages); };
    if (match(FaultKind::kVanish)) {
        trace_.Add({.kind = "fault", .command = command, .block = a.block, .text = "vanish"});
        io.Vanish();
        return false;
    }
    a.drop = match(FaultKind::kDrop).has_value();
    a.status = match(FaultKind::kStatus);
    a.bad_crc = match(FaultKind::kBadCrc);
    a.stray = match(FaultKind::kStray);
    a.noise = faults_.Has(FaultKind::kNoise);
    const std::optional<Fault> late = match(FaultKind::kLate);
    if (late) {
        trace_.Add({.kind = "fault",
                    .command = command,
                    .block = a.block,
                    .value = late->value,
                    .text = "late"});
    }
    HeldIo held(io, late ? static_cast<int>(late->value) : 0);
    return Run(frame, fields, a, late ? held : io);
}

bool RamLoader::Run(const Frame& frame, const FrameFields& fields, Answer& a, LoaderIo& io) {
    const int command = fields.command;
    const uint32_t* args = fields.args.data();
    a.frame[0] = 0x55;
    a.frame[1] = 0xAA;
    a.frame[2] = frame[2];
    a.frame[3] = frame[3];

    if (!parameters_set_ && command >= 8 && command != 14) {
        trace_.Violation("command before the NAND parameters were set", command);
    }
    switch (command) {
        case 4:
            if (link_ == Link::kUsb) {
                trace_.Violation("baud-rate frame on the USB link", command);
            } else if (args[0] == 115200 || args[0] == 460800 || args[0] == 921600) {
                io.SetBaud(args[0]);
            } else {
                trace_.Violation("baud rate " + std::to_string(args[0]) + " is not offered",
                                 command);
            }
            return true;
        case 5:
            return ReadNandId(a) && Respond(a, io);
        case 6:
            return SetParameters(args, a, io);
        case 7:
            return GetIbt(args, a, io);
        case 8:
        case 9:
            return WritePages(command, args, a, io);
        case 10:
            return Erase(args, a, io);
        case 11:
            return ReadBlock(args, a, io);
        case 13:
            return ReadPage(args, a, io);
        case 14:
            return InitSdi(a, io);
        case 20:
            return ReadRecord(args, a, io);
        default:
            trace_.Violation("unknown command " + std::to_string(command), command);
            return true;
    }
}

bool RamLoader::SendStray(const Answer& a, const std::vector<uint8_t>& junk, LoaderIo& io) {
    trace_.Add({.kind = "fault",
                .command = a.command,
                .block = a.block,
                .count = static_cast<int64_t>(junk.size()),
                .text = "stray"});
    return io.Send(junk.data(), junk.size());
}

bool RamLoader::Respond(Answer& a, LoaderIo& io) {
    if (a.drop) {
        trace_.Add({.kind = "fault", .command = a.command, .block = a.block, .text = "drop"});
        return true;
    }
    if (a.status) {
        a.SetStatus(a.status->value);
        trace_.Add({.kind = "fault",
                    .command = a.command,
                    .block = a.block,
                    .value = a.status->value,
                    .text = "status"});
    }
    if (a.bad_crc) {
        for (size_t offset : {size_t{52}, size_t{56}}) {
            PutU32(a.frame.data() + offset, GetU32(a.frame.data() + offset) ^ 0x00010000u);
        }
        trace_.Add({.kind = "fault", .command = a.command, .block = a.block, .text = "bad-crc"});
    }
    if (a.stray) {
        std::vector<uint8_t> junk(a.stray->value);
        for (size_t i = 0; i < junk.size(); ++i) {
            junk[i] = static_cast<uint8_t>(0x13 + 7 * i);
        }
        if (!SendStray(a, junk, io)) {
            return false;
        }
    }
    trace_.Add({.kind = "answer", .command = a.command, .block = a.block, .value = a.Status()});
    if (a.noise) {
        FillOpenBytes(a);
    }
    return io.Send(a.frame.data(), a.frame.size());
}

void RamLoader::FillOpenBytes(Answer& a) {
    // What each answer defines beyond its header (0..1) and status (60..63).
    size_t keep_from = 0;
    size_t keep_to = 0;
    switch (a.command) {
        case 5:  // the ID bytes: the low byte of the words at 4, 8, 12, 16
            break;
        case 8:  // the checksums of the data
        case 11:
        case 13:
            keep_from = 56;
            keep_to = 60;
            break;
        case 14:  // twelve check words
            keep_from = 12;
            keep_to = 60;
            break;
        case 20:  // the record's checksum
            keep_from = 52;
            keep_to = 56;
            break;
        default:
            break;
    }
    // Over USB the answer to the parameters is not examined at all.
    const bool all_open = link_ == Link::kUsb && a.command == 6;
    for (size_t i = all_open ? 0 : 2; i < (all_open ? kFrameBytes : 60); ++i) {
        const bool id_byte = a.command == 5 && i >= 4 && i <= 16 && i % 4 == 0;
        if ((i >= keep_from && i < keep_to) || id_byte) {
            continue;
        }
        a.frame[i] = static_cast<uint8_t>(noise_());
    }
}

// The serial link acknowledges some commands with a single 'O' and stays
// silent on failure; the USB link answers them with a response (command 9:
// one byte).
bool RamLoader::Ack(Answer& a, bool ok, LoaderIo& io) {
    if (a.drop) {
        trace_.Add({.kind = "fault", .command = a.command, .block = a.block, .text = "drop"});
        return true;
    }
    if (link_ == Link::kUsb && a.command != 9) {
        a.SetStatus(ok ? 0 : kChipFailure);
        if (a.status) {
            a.SetStatus(a.status->value);
        }
        return Respond(a, io);
    }
    if (a.stray && !SendStray(a, std::vector<uint8_t>(a.stray->value, 0x13), io)) {
        return false;
    }
    trace_.Add({.kind = "answer", .command = a.command, .block = a.block, .value = ok ? 0 : 1});
    if (!ok && link_ == Link::kSerial) {
        return true;
    }
    const uint8_t byte = ok ? kAck : 'E';
    return io.Send(&byte, 1);
}

bool RamLoader::ReadNandId(Answer& a) {
    const auto& id = chip_.id();
    for (int i = 0; i < 4; ++i) {
        PutU32(a.frame.data() + 4 + 4 * i, id[i]);
    }
    return true;
}

bool RamLoader::SetParameters(const uint32_t* args, Answer& a, LoaderIo& io) {
    const NandGeometry& g = chip_.geometry();
    const uint32_t b = chip_.blocks();
    const uint32_t small = g.page_size == 512 ? 0xFF : 0;
    const uint32_t large =
        (g.page_size == 512 && b > 2048) || (g.page_size != 512 && b > 1024) ? 0xFF : 0;
    const uint32_t want[6] = {b,
                              static_cast<uint32_t>(g.block_size),
                              static_cast<uint32_t>(g.page_size),
                              static_cast<uint32_t>(g.spare_size),
                              small,
                              large};
    static const char* const names[6] = {"blocks",     "block size",      "page size",
                                         "spare size", "small-page flag", "large-chip flag"};
    bool ok = true;
    for (int i = 0; i < 6; ++i) {
        if (args[i] != want[i]) {
            trace_.Violation(std::string("NAND parameters: ") + names[i] + " " +
                                 std::to_string(args[i]) + ", the chip has " +
                                 std::to_string(want[i]),
                             6);
            ok = false;
        }
    }
    if (a.status) {
        ok = false;
    }
    parameters_set_ = ok;
    return Ack(a, ok, io);
}

bool RamLoader::GetIbt(const uint32_t* args, Answer& a, LoaderIo& io) {
    if (args[0] != chip_.blocks()) {
        trace_.Violation("IBT asked for " + std::to_string(args[0]) + " blocks, the chip has " +
                             std::to_string(chip_.blocks()),
                         7);
        a.SetStatus(kBadArgument);
    }
    if (!Respond(a, io)) {
        return false;
    }
    if (a.drop || a.Status() > 20) {
        return true;
    }
    const auto ibt = chip_.Ibt();
    return io.Send(ibt.data(), ibt.size());
}

bool RamLoader::SendData(Answer& a, const uint8_t* data, size_t n, LoaderIo& io) {
    if (a.drop || a.Status() != 0) {
        return true;
    }
    trace_.Add(
        {.kind = "read", .command = a.command, .block = a.block, .count = static_cast<int64_t>(n)});
    return io.Send(data, n);
}

bool RamLoader::WritePages(int command, const uint32_t* args, Answer& a, LoaderIo& io) {
    const uint32_t block = args[0];
    const uint32_t first = command == 8 ? args[1] : 0;
    const uint32_t count = command == 8 ? args[2] : args[1];
    const uint32_t per_page = args[3];
    const uint32_t total = args[4];
    const bool check_crc = command == 9 || link_ == Link::kSerial;

    std::string wrong;
    if (block >= chip_.blocks()) {
        wrong = "block beyond the chip";
    } else if (per_page != chip_.page_size() && per_page != chip_.raw_page_size()) {
        wrong = "bytes per page are neither the page size nor page plus spare";
    } else if (count == 0 || first >= chip_.pages_per_block() ||
               count > chip_.pages_per_block() - first) {
        wrong = "pages beyond the block";
    } else if (static_cast<uint64_t>(count) * per_page != total) {
        wrong = "total bytes differ from pages times bytes per page";
    } else if (command == 9 && args[2] != 1) {
        wrong = "argument 3 of a block write is not 1";
    }
    if (total > kMaxDataPhase) {
        trace_.Violation("data phase of " + std::to_string(total) + " bytes", command);
        return true;
    }
    std::vector<uint8_t> data(total);
    if (!io.Receive(data.data(), data.size())) {
        trace_.Violation("data phase incomplete", command);
        return true;
    }
    const uint32_t crc = Crc32(data);
    PutU32(a.frame.data() + 56, crc);
    bool ok = wrong.empty();
    if (!ok) {
        trace_.Violation("write: " + wrong, command);
        a.SetStatus(kBadArgument);
    } else if (check_crc && crc != args[6]) {
        trace_.Violation("write: the frame's CRC does not match the data", command);
        a.SetStatus(kCrcFailure);
        ok = false;
    } else if (!a.status) {
        bool stuck = false;
        for (uint32_t k = 0; k < count && ok; ++k) {
            const auto r = chip_.Program(block, first + k, data.data() + k * per_page, per_page);
            ok = r != NandChip::Result::kFailed;
            stuck = stuck || r == NandChip::Result::kStuckBits;
        }
        io.ChipBusy(static_cast<int64_t>(chip_.geometry().write_time) * count);
        if (stuck) {
            trace_.Violation("pages of block " + std::to_string(block) +
                                 " programmed over bytes that were not erased",
                             command);
        }
        if (!ok) {
            a.SetStatus(kChipFailure);
        }
    } else {
        ok = false;
    }
    trace_.Add({.kind = "program",
                .command = command,
                .block = block,
                .page = first,
                .count = count,
                .value = per_page,
                .ok = ok});

    if (command == 9) {
        return Ack(a, ok, io);
    }
    if (!Respond(a, io)) {
        return false;
    }
    if (link_ == Link::kUsb && !a.drop && a.Status() == 0) {
        // The NAND ECC of every 256 bytes the pages received, as the chip computed it.
        std::vector<uint8_t> codes(static_cast<size_t>(count) * 32);
        std::vector<uint8_t> unit(256);
        for (size_t k = 0; k < static_cast<size_t>(count) * 8; ++k) {
            std::fill(unit.begin(), unit.end(), 0xFF);
            if (k * 256 < data.size()) {
                std::copy_n(data.begin() + static_cast<ptrdiff_t>(k * 256),
                            std::min<size_t>(256, data.size() - k * 256), unit.begin());
            }
            // A code is 22 bits; the word's top bits are the loader's own.
            const uint32_t open = a.noise ? static_cast<uint32_t>(noise_()) & 0xFFC00000u : 0;
            PutU32(codes.data() + 4 * k, EccOf256(unit.data()) | open);
        }
        return io.Send(codes.data(), codes.size());
    }
    return true;
}

bool RamLoader::Erase(const uint32_t* args, Answer& a, LoaderIo& io) {
    const uint32_t first = args[0];
    const uint32_t end = args[3] > first ? args[3] : first + 1;
    bool ok = first < chip_.blocks() && end <= chip_.blocks();
    if (!ok) {
        trace_.Violation("erase beyond the chip", 10);
    }
    if (a.status) {
        ok = false;
    }
    for (uint32_t b = first; ok && b < end; ++b) {
        // A range erase passes over the blocks marked bad (factory or grown); a
        // single one fails on them.
        if (end - first > 1 && chip_.IsMarkedBad(b)) {
            continue;
        }
        ok = chip_.Erase(b) == NandChip::Result::kOk;
        io.ChipBusy(chip_.geometry().erase_time);
        trace_.Add({.kind = "erase", .command = 10, .block = b, .ok = ok});
    }
    return Ack(a, ok, io);
}

bool RamLoader::ReadBlock(const uint32_t* args, Answer& a, LoaderIo& io) {
    const uint32_t block = args[0];
    const uint32_t pages = args[1];
    const uint32_t per_page = args[2];
    if (block >= chip_.blocks() || pages == 0 || pages > chip_.pages_per_block() ||
        (per_page != chip_.page_size() && per_page != chip_.raw_page_size())) {
        trace_.Violation("read block: arguments do not fit the chip", 11);
        a.SetStatus(kBadArgument);
        return Respond(a, io);
    }
    std::vector<uint8_t> data(static_cast<size_t>(pages) * per_page);
    for (uint32_t p = 0; p < pages; ++p) {
        chip_.Read(block, p, data.data() + static_cast<size_t>(p) * per_page, per_page);
    }
    PutU32(a.frame.data() + 56, Crc32(data));
    if (!a.drop) {
        trace_.Add({.kind = "read",
                    .command = 11,
                    .block = block,
                    .count = static_cast<int64_t>(data.size())});
        if (!io.Send(data.data(), data.size())) {
            return false;
        }
    }
    return Respond(a, io);
}

bool RamLoader::ReadPage(const uint32_t* args, Answer& a, LoaderIo& io) {
    const uint32_t block = args[0];
    const uint32_t page = args[1];
    const uint32_t count = args[2];
    if (block >= chip_.blocks() || page >= chip_.pages_per_block() || count == 0 ||
        count > chip_.raw_page_size()) {
        trace_.Violation("read page: arguments do not fit the chip", 13);
        a.SetStatus(kBadArgument);
        return Respond(a, io);
    }
    std::vector<uint8_t> data(count);
    chip_.Read(block, page, data.data(), count);
    PutU32(a.frame.data() + 56, Crc32(data));
    if (!Respond(a, io)) {
        return false;
    }
    return SendData(a, data.data(), data.size(), io);
}

bool RamLoader::ReadRecord(const uint32_t* args, Answer& a, LoaderIo& io) {
    const uint32_t b = chip_.blocks();
    const uint32_t r = b - b / 50 - 2;
    if (args[1] != b || args[0] != r) {
        trace_.Violation("management record asked with R " + std::to_string(args[0]) + ", B " +
                             std::to_string(args[1]) + "; the chip has R " + std::to_string(r) +
                             ", B " + std::to_string(b),
                         20);
        a.SetStatus(kBadArgument);
        return Respond(a, io);
    }
    // The host keeps two copies in the two highest good blocks of the reservoir.
    std::vector<uint8_t> record(kRecordBytes);
    bool found = false;
    int copies = 0;
    for (uint32_t blk = b; blk-- > r && copies < 2 && !found;) {
        if (chip_.IsMarkedBad(blk)) {
            continue;
        }
        ++copies;
        for (size_t off = 0, p = 0; off < kRecordBytes; off += chip_.page_size(), ++p) {
            chip_.Read(blk, static_cast<uint32_t>(p), record.data() + off,
                       std::min(chip_.page_size(), kRecordBytes - off));
        }
        found = GetU32(record.data()) == kRecordMagic &&
                GetU32(record.data() + 4 * 1026) == kRecordMagic;
        if (found) {
            a.block = blk;
        }
    }
    if (!found) {
        a.SetStatus(kNoRecord);
        return Respond(a, io);
    }
    PutU32(a.frame.data() + 52, Crc32(record));
    PutU32(a.frame.data() + 56, 0xFFFFFFFFu);
    if (!Respond(a, io)) {
        return false;
    }
    return SendData(a, record.data(), record.size(), io);
}

bool RamLoader::InitSdi(Answer& a, LoaderIo& io) {
    for (uint32_t i = 0; i < 12; ++i) {
        PutU32(a.frame.data() + 12 + 4 * i, 0x12345678u + i);
    }
    return Respond(a, io);
}

}  // namespace velmora::sim
