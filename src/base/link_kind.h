#pragma once

namespace velmora {

// The link of a job, chosen once per job. Code that differs between the two
// links keys on this, in one place.
enum class LinkKind { kSerial, kUsb };

}  // namespace velmora
