#include "flash/management_record.h"

#include "flash/target_protocol.h"

namespace velmora {

std::array<uint8_t, ManagementRecord::kBytes> ManagementRecord::ToBytes() const {
    std::array<uint8_t, kBytes> bytes{};
    for (size_t i = 0; i < kWords; ++i) {
        StoreLe32(bytes.data() + 4 * i, words[i]);
    }
    return bytes;
}

void ManagementRecord::FromBytes(std::span<const uint8_t, kBytes> bytes) {
    for (size_t i = 0; i < kWords; ++i) {
        words[i] = LoadLe32(bytes.data() + 4 * i);
    }
}

}  // namespace velmora
