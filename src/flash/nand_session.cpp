#include "flash/nand_session.h"

#include "flash/nand_dialect.h"

#include <utility>

namespace velmora {

NandSession::NandSession(EventSink* sink, bool debug_mode) : JobBase(sink, debug_mode) {}

// Here, where NandDialect is whole, so that the owner can destroy it.
NandSession::~NandSession() = default;

void NandSession::AttachLoader(std::unique_ptr<TargetLink> link,
                               std::unique_ptr<NandDialect> dialect) {
    link_ = std::move(link);
    dialect_ = std::move(dialect);
}

void NandSession::NoteWritten(int block, std::span<const uint8_t> data, bool with_spare) {
    if (!track_writes_) {
        return;
    }
    WrittenBlock entry{block, with_spare, static_cast<uint32_t>(data.size()), {}};
    Sha1(data, entry.digest);
    for (WrittenBlock& w : written_) {
        if (w.block == block) {
            w = entry;
            return;
        }
    }
    written_.push_back(entry);
}

}  // namespace velmora
