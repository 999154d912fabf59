#pragma once
// The USB side of the NAND operations: where the USB link's commands differ from
// the serial ones (write pages with the target's ECC codes, the 'O' of a small
// block write, erases of a whole block range in one command). The NAND code calls
// these when job.target().kind() is LinkKind::kUsb.
#include <cstdint>

namespace velmora {
class DownloadJob;
}

namespace velmora::usb {

// Page data carried by one write-pages command over USB.
inline constexpr int kUsbChunkBytes = 131072;
// The largest piece of one pipe write in a data phase.
inline constexpr int kUsbPieceBytes = 65536;

// Command 8: page_count pages from first_page of `block`, then the target's ECC
// codes compared with the host's. 0; 1 frame not sent; -999 data not sent; 3 no
// response or no codes; 4 bad response or ECC mismatch. Texts logged (and, but for
// the frame, set as the job's error text).
int UsbWritePages(DownloadJob& job, const uint8_t* data, int block, int first_page, int page_count,
                  bool with_spare);

// Command 10 for blocks [first, end). 0; 3000 no response; 3010 bad header or
// status (the status in *status when given).
int UsbEraseCommand(DownloadJob& job, int first, int end, uint32_t* status = nullptr);

// One block: 0, 3000, or 3010 with the error text "Erase block%d fail, 0x%x" (logged).
int UsbEraseBlock(DownloadJob& job, int block);

// The small-block write's acknowledgement: one byte that must be 'O'.
bool UsbReceiveAck(DownloadJob& job);

}  // namespace velmora::usb
