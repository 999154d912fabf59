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

bool Accepted(const ResponseFrame& answer, uint32_t max_status) {
    return answer.HeaderOk() && answer.status() <= max_status;
}

Reply AwaitAnswer(TargetLink& link, ResponseFrame& answer, int timeout_ms, uint32_t max_status) {
    Reply reply;
    if ((reply.link_code = ReceiveResponse(link, answer, timeout_ms)) != 0) {
        return reply;
    }
    reply.kind = Accepted(answer, max_status) ? Reply::kGood : Reply::kRefused;
    return reply;
}

Reply Transact(TargetLink& link, const CommandFrame& frame, ResponseFrame& answer, int timeout_ms,
               uint32_t max_status) {
    link.SendFrame(frame.span());
    return AwaitAnswer(link, answer, timeout_ms, max_status);
}

}  // namespace velmora
