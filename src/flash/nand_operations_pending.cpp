// Stand-ins for the NAND operations that are not written yet. Each fails the
// job with a clear text, so no job reports work it did not do. Remove a
// function here when its real implementation lands.
#include <string>

#include "flash/nand_operations.h"
#include "job/download_job.h"

namespace velmora {
namespace {

constexpr int kNotAvailable = -9999;

int NotAvailable(DownloadJob& job, const char* what) {
    job.error_text = std::string(what) + " is not available yet";
    return kNotAvailable;
}

}  // namespace

int BuildTargetPartitionRecords(DownloadJob& job) {
    // Nothing reads the records until the operations below exist.
    job.records = TargetPartitionRecords{};
    return 0;
}

int BuildManagementRecord(DownloadJob& job) {
    return NotAvailable(job, "Building the bad-block management record");
}

int DownloadPartitions(DownloadJob& job) {
    return NotAvailable(job, "Code upgrade");
}

int ReadPartitions(DownloadJob& job) {
    return NotAvailable(job, "Reading by partition table");
}

int ReadEeromArea(DownloadJob& job, bool) {
    return NotAvailable(job, "Reading the EEROM area");
}

int ReadBlockRange(DownloadJob& job, int, int, bool) {
    return NotAvailable(job, "Reading a block range");
}

int ReadBootTable(DownloadJob& job, int) {
    return NotAvailable(job, "Reading the phone's partition table");
}

int EraseBlockRange(DownloadJob& job, int, int) {
    return NotAvailable(job, "Erasing");
}

int CodeAreaEndBlock(const DownloadJob&) {
    return -1;
}

}  // namespace velmora
