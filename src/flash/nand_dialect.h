#pragma once
// How one link speaks the RAM loader's NAND commands. The frames are the same
// on both links; what differs lives here: how a write is checked (the serial
// loader echoes a CRC-32, the USB one returns the pages' ECC codes), how a
// command is acknowledged, how many blocks one erase command covers, how much
// one write carries.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

namespace velmora {

class NandSession;

class NandDialect {
  public:
    virtual ~NandDialect() = default;

    // Page bytes that one write command (command 8) carries.
    virtual uint32_t ChunkPageBytes() const = 0;

    // Command 8: `page_count` pages from `first_page` of `block`, `page_bytes`
    // each, checked the link's way. 0, or a failure code (see the
    // implementations) with the session's error text set.
    virtual int WritePages(NandSession& nand, std::span<const uint8_t> data, int block,
                           int first_page, int page_count, uint32_t page_bytes) = 0;
    // The acknowledgement of command 9 after `sent` bytes and `chip_us` of
    // programming.
    virtual bool AwaitWriteAck(NandSession& nand, size_t sent, int64_t chip_us) = 0;
    // The acknowledgement of command 6, and the text of its absence.
    virtual bool AwaitParametersAck(NandSession& nand) = 0;
    virtual const char* ParametersFailText() const = 0;

    // Command 10 for one block. 0, or the failure code with the error text set.
    virtual int EraseBlock(NandSession& nand, int block) = 0;

    // What an erase of many blocks does with each block, in order.
    enum class Visit { kErase, kLeave };
    using VisitBlock = std::function<int(int block, Visit* visit)>;
    using BlockErased = std::function<void(int block)>;
    // Erases the blocks of [first, end) that `visit` asks for (it returns 0 and
    // sets kErase or kLeave; it handles a block it leaves, such as a bad one;
    // a non-zero return ends the erase with that code). `erased` follows each
    // block erased. 0; a visit's code; or an erase's failure code with *failed
    // the block (−1: one command covered the range, so any block of it may be
    // erased). Stop ends the erase with the job's result.
    virtual int EraseRange(NandSession& nand, int first, int end, const VisitBlock& visit,
                           const BlockErased& erased, int* failed) = 0;

    // Identification: no answer (`code`: the link's), a bad one, and success.
    virtual void NoIdAnswer(NandSession& nand, int code) = 0;
    virtual void BadIdAnswer(NandSession& nand, uint16_t header, uint32_t status) = 0;
    virtual void Identified(NandSession& nand) = 0;

  protected:
    // The visits of [first, end) in order; `erase` for each block a visit asks to
    // erase. The first non-zero code (or the job's result on Stop) ends the walk.
    static int WalkRange(NandSession& nand, int first, int end, const VisitBlock& visit,
                         const std::function<int(int block)>& erase);
};

std::unique_ptr<NandDialect> MakeSerialDialect();
std::unique_ptr<NandDialect> MakeUsbDialect();

}  // namespace velmora
