#pragma once
// The USB link's own command exchanges inside the NAND operations. Every
// operation is written once over TargetLink; where the USB link talks to the
// RAM loader differently from the serial one (write pages with ECC codes
// instead of a CRC echo, erase of a block range in one command), the
// operation calls one of these. They belong to the USB binding; until it
// exists they fail with "... over USB is not available yet" and send nothing.
#include <cstdint>
#include <span>

namespace velmora {

class DownloadJob;

// Command 8 over USB: frame without CRC, data in pieces of at most 65,536
// bytes, response within the USB time-out, then page_count × 32 bytes of ECC
// codes compared with EccOf256 of the data. 0, 1, 3, 4, −1 or −999.
int UsbWritePages(DownloadJob& job, std::span<const uint8_t> data, int block, int first_page,
                  int page_count, uint32_t bytes_per_page);

// Command 10 over USB for blocks [first, end): one frame, a 64-byte response
// within 3000 ms with header 0xAA55 and status 0. 0; 3000 no response; 3010
// bad answer (error text "Erase block%d fail, 0x%x", logged).
int UsbEraseBlocks(DownloadJob& job, int first, int end);

}  // namespace velmora
