// Stand-ins for the USB command exchanges of the NAND operations, until the
// USB binding provides them. They fail without sending anything, so no USB job
// reports work it did not do.
#include "flash/usb_nand.h"
#include "job/download_job.h"

namespace velmora {
namespace {

constexpr int kNotAvailable = -9999;

int NotAvailable(DownloadJob& job, const char* what) {
    job.error_text = std::string(what) + " over USB is not available yet";
    return kNotAvailable;
}

}  // namespace

int UsbWritePages(DownloadJob& job, std::span<const uint8_t>, int, int, int, uint32_t) {
    return NotAvailable(job, "Writing pages");
}

int UsbEraseBlocks(DownloadJob& job, int, int) {
    return NotAvailable(job, "Erasing");
}

}  // namespace velmora
