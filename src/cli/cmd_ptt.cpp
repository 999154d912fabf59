#include <iostream>
#include <string>

#include "cli/commands.h"
#include "config/partition_table.h"

namespace velmora::cli {

int RunPtt(const GlobalOptions&, const std::string& file) {
    PartitionTable table;
    const int result = table.Load(file);
    if (result != 0) {
        std::cerr << "velmora-cli: " << table.FailureText(result) << '\n' << "解析PTT文件错误！\n";
        return kExitRefused;
    }
    // The summary is the viewer's text; a terminal wants plain line ends.
    std::string summary = BuildSummary(table);
    std::string out;
    out.reserve(summary.size());
    for (char c : summary) {
        if (c != '\r') {
            out.push_back(c);
        }
    }
    std::cout << out << std::flush;
    return kExitOk;
}

}  // namespace velmora::cli
