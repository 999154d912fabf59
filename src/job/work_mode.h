#pragma once
// What both job sequences do once the RAM loader is identified and its record
// read: the work-mode dispatch.

namespace velmora {

class DownloadJob;

// Builds the target partition records, starts the job's clock, and runs the
// operation of the job's work mode and range. Returns the operation's result
// (the job fails with it when non-zero), with job.attempt telling a failure.
int DispatchWorkMode(DownloadJob& job);

// The result each failing target step gives the job; the links' sequences
// differ in them.
struct TargetStepResults {
    int identify;
    int ibt;
    int parameters;
    int record;
    const char* ibt_status;  // the status line of the IBT read, if it has one
};

// A step that failed with `inner` ends the job with `result`; its error text
// goes to the step message too (debug mode), unless the operator stopped it.
int FailStep(DownloadJob& job, int result, int inner);

// Identification, the IBT, the NAND parameters and the management record, in
// that order, each named as the job's step. 0, or the failing step's result.
int RunTargetSteps(DownloadJob& job, const TargetStepResults& results);

// Block ranges of the erase work mode, [first, end), for B blocks; K is the
// code-area end block.
struct BlockRange {
    int first = 0;
    int end = 0;
};
BlockRange EeromRange(int block_count);

}  // namespace velmora
