#include "flash/nand_session.h"

#include "flash/nand_dialect.h"

namespace velmora {

NandSession::NandSession(EventSink* sink, bool debug_mode) : JobBase(sink, debug_mode) {}

// Here, where NandDialect is whole, so that the owner can destroy it.
NandSession::~NandSession() = default;

}  // namespace velmora
