#pragma once
// The RAM loader images the tool sends into the phone. Embedded at build time;
// a file of the same name in the home folder replaces the embedded image.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/link_kind.h"

namespace velmora {

// "ramloader_serial.bin" or "ramloader_usb.bin".
const char* RamLoaderFileName(LinkKind link);
// The image built into the program.
std::span<const uint8_t> EmbeddedRamLoader(LinkKind link);

// The image for a job: <home>/<file name> when that file exists, else the
// embedded one. 0; 1001 none found; 1002 empty (or not whole words);
// 1003 the replacement cannot be read.
int LoadRamLoader(LinkKind link, const std::string& home, std::vector<uint8_t>& image);

}  // namespace velmora
