#include "job/job_table.h"

namespace velmora {

int LoadJobTable(const std::string& path, JobPartitionTable& table, std::string& message,
                 std::string& title) {
    const int result = table.Load(path);
    message = table.message().text;
    title = table.message().title;
    if (result != 0 && message.empty()) {
        message = table.FailureText(result);
    }
    return result;
}

}  // namespace velmora
