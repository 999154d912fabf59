#include "link/loader_frame.h"

#include "link/target_link.h"

namespace velmora {

CommandFrame::CommandFrame(uint16_t command, std::initializer_list<uint32_t> arguments) {
    bytes[0] = static_cast<uint8_t>(kFrameHeader & 0xFF);
    bytes[1] = static_cast<uint8_t>(kFrameHeader >> 8);
    bytes[2] = static_cast<uint8_t>(command & 0xFF);
    bytes[3] = static_cast<uint8_t>(command >> 8);
    size_t offset = 4;
    for (uint32_t argument : arguments) {
        if (offset > 28)
            break;  // seven arguments at most
        StoreLe32(bytes.data() + offset, argument);
        offset += 4;
    }
}

int ReceiveResponse(TargetLink& link, ResponseFrame& response, int timeout_ms) {
    return link.Receive(response.span(), timeout_ms);
}

}  // namespace velmora
