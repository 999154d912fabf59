#pragma once
// What both job sequences do once the RAM loader is identified and its record
// read: the work-mode dispatch.

namespace velmora {

class DownloadJob;

// Builds the target partition records, starts the job's clock, and runs the
// operation of the job's work mode and range. Returns the operation's result
// (also left in job.result when non-zero), with job.error_text set on failure.
int DispatchWorkMode(DownloadJob& job);

// Block ranges of the erase work mode, [first, end), for B blocks; K is the
// code-area end block.
struct BlockRange {
    int first = 0;
    int end = 0;
};
BlockRange EeromRange(int block_count);

}  // namespace velmora
