#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>
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

Command AddPttCommand(CLI::App& app) {
    auto file = std::make_shared<std::string>();
    auto* ptt = app.add_subcommand("ptt", "print a partition table's summary");
    ptt->add_option("FILE", *file, "partition table file (.ptt)")->required();
    return {ptt, [file](const GlobalOptions& global) { return RunPtt(global, *file); }, true};
}

}  // namespace velmora::cli
