#include "sim/nand.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/input_file.h"

namespace velmora::sim {

namespace {

// The backing file starts with one page of header naming the chip it was made
// for, so that a file is never reused for a chip of another shape.
constexpr size_t kHeaderBytes = 4096;
constexpr char kMagic[16] = "VELMORA-NAND-1";

struct FileHeader {
    char magic[16];
    int32_t block_count;
    int32_t block_size;
    int32_t page_size;
    int32_t spare_size;
};

}  // namespace

uint64_t ChipBytes(const NandGeometry& g) {
    if (g.block_count <= 0 || g.page_size <= 0 || g.block_size <= 0 || g.spare_size < 0) {
        return 0;
    }
    const uint64_t block = uint64_t(g.block_size / g.page_size) *
                           (uint64_t(g.page_size) + uint64_t(g.spare_size));  // below 2^63
    const uint64_t blocks = uint64_t(g.block_count);
    return block > UINT64_MAX / blocks ? UINT64_MAX : block * blocks;
}

NandChip::~NandChip() {
    Close();
}

void NandChip::Close() {
    std::lock_guard lock(mutex_);
    if (map_ != nullptr) {
        if (fd_ >= 0) {
            msync(map_, map_size_, MS_SYNC);
        }
        munmap(map_, map_size_);
        map_ = nullptr;
    }
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
}

std::string NandChip::Open(const ChipDescription& chip, const std::string& file) {
    Close();
    std::lock_guard lock(mutex_);
    const NandGeometry& g = chip.geometry;
    if (g.block_count <= 0 || g.page_size <= 0 || g.block_size <= 0 || g.spare_size < 0 ||
        g.block_size % g.page_size != 0 || ChipBytes(g) > kMaxBytes) {
        return "the chip's geometry is not usable";
    }
    chip_ = chip;
    pages_per_block_ = static_cast<uint32_t>(g.block_size / g.page_size);
    block_bytes_ = static_cast<size_t>(pages_per_block_) * (raw_page_size());
    bad_ = std::set<uint32_t>(chip.bad_blocks.begin(), chip.bad_blocks.end());
    grown_ = std::set<uint32_t>(chip.grown_blocks.begin(), chip.grown_blocks.end());
    flips_ = chip.flips;
    read_flips_ = std::set<uint32_t>(chip.read_flips.begin(), chip.read_flips.end());
    sessions_ = 0;
    fail_erase_.clear();
    fail_program_.clear();
    map_size_ = kHeaderBytes + block_bytes_ * blocks();

    FileHeader header{};
    std::memcpy(header.magic, kMagic, sizeof kMagic);
    header.block_count = g.block_count;
    header.block_size = g.block_size;
    header.page_size = g.page_size;
    header.spare_size = g.spare_size;

    int fd = -1;
    if (file.empty()) {
        fd = memfd_create("velmora-nand", MFD_CLOEXEC);
        if (fd < 0) {
            return std::string("cannot create the chip's memory: ") + std::strerror(errno);
        }
    } else {
        // A regular file only: a device would be sized and mapped as the chip.
        std::string problem;
        fd = velmora::OpenRegularFile(file, O_RDWR | O_CREAT, 0644, &problem);
        if (fd < 0) {
            return problem;
        }
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            close(fd);
            return file + " is in use by another simulated phone";
        }
        struct stat st {};
        fstat(fd, &st);
        if (st.st_size > 0) {
            FileHeader old{};
            if (pread(fd, &old, sizeof old, 0) != static_cast<ssize_t>(sizeof old) ||
                std::memcmp(&old, &header, sizeof old) != 0 ||
                static_cast<size_t>(st.st_size) != map_size_) {
                close(fd);
                return file + " holds another chip's content (or is not a NAND file)";
            }
        }
    }
    if (ftruncate(fd, static_cast<off_t>(map_size_)) != 0 ||
        pwrite(fd, &header, sizeof header, 0) != static_cast<ssize_t>(sizeof header)) {
        const std::string error = std::strerror(errno);
        close(fd);
        return "cannot size the chip's storage: " + error;
    }
    void* map = mmap(nullptr, map_size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) {
        const std::string error = std::strerror(errno);
        close(fd);
        return "cannot map the chip's storage: " + error;
    }
    fd_ = fd;
    map_ = static_cast<uint8_t*>(map);
    return {};
}

uint8_t* NandChip::PagePtr(uint32_t block, uint32_t page) const {
    return map_ + kHeaderBytes + block * block_bytes_ + page * raw_page_size();
}

bool NandChip::IsFactoryBad(uint32_t block) const {
    std::lock_guard lock(mutex_);
    return bad_.count(block) != 0 || block >= blocks();
}

bool NandChip::IsMarkedBad(uint32_t block) const {
    std::lock_guard lock(mutex_);
    return bad_.count(block) != 0 || grown_.count(block) != 0 || block >= blocks();
}

std::array<uint8_t, NandChip::kIbtBytes> NandChip::Ibt() const {
    std::lock_guard lock(mutex_);
    std::array<uint8_t, kIbtBytes> ibt{};
    const uint32_t n = std::min<uint32_t>(blocks(), kIbtBytes * 8);
    for (uint32_t b = 0; b < n; ++b) {
        if (bad_.count(b) == 0 && grown_.count(b) == 0) {
            ibt[b / 8] |= static_cast<uint8_t>(1u << (b % 8));
        }
    }
    return ibt;
}

void NandChip::BeginSession() {
    std::lock_guard lock(mutex_);
    if (++sessions_ == 2) {
        grown_.insert(chip_.turns_bad.begin(), chip_.turns_bad.end());
    }
}

void NandChip::FailErase(uint32_t block, bool fail) {
    std::lock_guard lock(mutex_);
    if (fail) {
        fail_erase_.insert(block);
    } else {
        fail_erase_.erase(block);
    }
}

void NandChip::FailProgram(uint32_t block, bool fail) {
    std::lock_guard lock(mutex_);
    if (fail) {
        fail_program_.insert(block);
    } else {
        fail_program_.erase(block);
    }
}

void NandChip::EraseLocked(uint32_t block) {
    const off_t offset = static_cast<off_t>(kHeaderBytes + block * block_bytes_);
    // Punching the hole frees the storage; where the file system cannot, zero it.
    if (fallocate(fd_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, offset,
                  static_cast<off_t>(block_bytes_)) != 0) {
        std::memset(map_ + offset, 0, block_bytes_);
    }
}

NandChip::Result NandChip::Erase(uint32_t block) {
    std::lock_guard lock(mutex_);
    if (map_ == nullptr || block >= blocks() || bad_.count(block) != 0 ||
        grown_.count(block) != 0 || fail_erase_.count(block) != 0) {
        return Result::kFailed;
    }
    EraseLocked(block);
    return Result::kOk;
}

NandChip::Result NandChip::Program(uint32_t block, uint32_t page, const uint8_t* data,
                                   size_t length) {
    std::lock_guard lock(mutex_);
    if (map_ == nullptr || block >= blocks() || page >= pages_per_block_ ||
        length > raw_page_size() || bad_.count(block) != 0 || grown_.count(block) != 0 ||
        fail_program_.count(block) != 0) {
        return Result::kFailed;
    }
    uint8_t* cells = PagePtr(block, page);
    bool stuck = false;
    for (size_t i = 0; i < length; ++i) {
        // Stored complemented: clearing a bit of the data sets it in the cell.
        const uint8_t wanted = data[i];
        const uint8_t held = static_cast<uint8_t>(~cells[i]);
        if ((wanted & ~held) != 0) {
            stuck = true;
        }
        if (wanted != 0xFF) {
            cells[i] = static_cast<uint8_t>(~(held & wanted));
        }
    }
    // A weak cell: the chip stores another bit than it was given, and nothing in
    // its answer shows it (its ECC codes cover the bytes as received).
    for (const BitFlip& f : flips_) {
        const uint64_t start = static_cast<uint64_t>(page) * raw_page_size();
        if (f.block == block && f.offset >= start && f.offset - start < length) {
            cells[f.offset - start] ^= 0x01;
        }
    }
    return stuck ? Result::kStuckBits : Result::kOk;
}

void NandChip::Read(uint32_t block, uint32_t page, uint8_t* out, size_t length) const {
    std::lock_guard lock(mutex_);
    length = std::min(length, raw_page_size());
    if (map_ == nullptr || block >= blocks() || page >= pages_per_block_) {
        std::memset(out, 0xFF, length);
        return;
    }
    const uint8_t* cells = PagePtr(block, page);
    for (size_t i = 0; i < length; ++i) {
        out[i] = static_cast<uint8_t>(~cells[i]);
    }
    if (page == 0 && length > 0 && read_flips_.erase(block) != 0) {
        out[0] ^= 0x01;
    }
}

std::vector<uint8_t> NandChip::ReadBlock(uint32_t block, bool with_spare) const {
    const size_t per_page = with_spare ? raw_page_size() : page_size();
    std::vector<uint8_t> image(per_page * pages_per_block_);
    for (uint32_t p = 0; p < pages_per_block_; ++p) {
        Read(block, p, image.data() + p * per_page, per_page);
    }
    return image;
}

void NandChip::WriteBlock(uint32_t block, std::span<const uint8_t> image, bool with_spare) {
    const size_t per_page = with_spare ? raw_page_size() : page_size();
    for (uint32_t p = 0; p < pages_per_block_ && p * per_page < image.size(); ++p) {
        const size_t n = std::min(per_page, image.size() - p * per_page);
        WritePage(block, p, image.subspan(p * per_page, n));
    }
}

std::vector<uint8_t> NandChip::ReadPage(uint32_t block, uint32_t page, bool with_spare) const {
    std::vector<uint8_t> bytes(with_spare ? raw_page_size() : page_size());
    Read(block, page, bytes.data(), bytes.size());
    return bytes;
}

void NandChip::WritePage(uint32_t block, uint32_t page, std::span<const uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    if (map_ == nullptr || block >= blocks() || page >= pages_per_block_) {
        return;
    }
    uint8_t* cells = PagePtr(block, page);
    const size_t n = std::min(bytes.size(), raw_page_size());
    for (size_t i = 0; i < n; ++i) {
        cells[i] = static_cast<uint8_t>(~bytes[i]);
    }
}

bool NandChip::IsErased(uint32_t block) const {
    std::lock_guard lock(mutex_);
    if (map_ == nullptr || block >= blocks()) {
        return false;
    }
    const uint8_t* cells = map_ + kHeaderBytes + block * block_bytes_;
    return std::all_of(cells, cells + block_bytes_, [](uint8_t c) { return c == 0; });
}

void NandChip::Sync() {
    std::lock_guard lock(mutex_);
    if (map_ != nullptr && fd_ >= 0) {
        msync(map_, map_size_, MS_ASYNC);
    }
}

}  // namespace velmora::sim
