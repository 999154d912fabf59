#pragma once
// Loading a partition table file into a job's copy of it.
#include <string>

#include "flash/partition_records.h"

namespace velmora {

// Loads and checks the .ptt at `path` into `table`. 0 on success, else the
// loader's non-zero code; `message` / `title` then hold what the loader wants
// the operator to see (may be empty).
int LoadJobTable(const std::string& path, JobPartitionTable& table, std::string& message,
                 std::string& title);

}  // namespace velmora
