#pragma once
// Loading a partition table file into a job's copy of it.
#include <string>

#include "job/job_partitions.h"

namespace velmora {

// Loads and checks the .ptt at `path` and copies what a job needs. 0 on
// success, else the loader's non-zero code.
int LoadJobTable(const std::string& path, JobPartitionTable& table);

}  // namespace velmora
