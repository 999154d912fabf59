// ptt: a partition table's summary, in the viewer's layout and the operator's
// language, or what keeps the table from loading.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <iostream>
#include <memory>
#include <string>

#include "base/text_format.h"
#include "cli/cli_texts.h"
#include "cli/commands.h"
#include "cli/help_text.h"
#include "config/partition_table.h"
#include "job/job_control.h"

namespace velmora::cli {
namespace {

std::string Hex8(uint32_t value) {
    return Format("0x%08X", value);
}

std::string Summary(const PartitionTable& table) {
    const uint32_t count = std::min<uint32_t>(table.partition_count, kMaxPartitions);
    uint32_t total = table.boot_file_size;
    for (uint32_t i = 0; i < count; ++i) {
        total += table.entries[i].content_size;
    }
    std::string s = Say("cli.ptt.total", {std::to_string(table.partition_count)}) + "\n\n";
    s += Say("cli.ptt.boot_name", {table.boot_file_name}) + "\n";
    s += Say("cli.ptt.boot_size", {Hex8(table.boot_file_size)}) + "\n";
    s += Say("cli.ptt.files_size", {Hex8(total)}) + "\n";
    for (uint32_t i = 0; i < count; ++i) {
        const PartitionEntry& e = table.entries[i];
        s += "\n" + Say("cli.ptt.partition", {Format("%02d", i + 1)}) + "\n";
        s += Say("cli.ptt.id", {Format("0x%02X", e.id)}) + "\n";
        s += Say("cli.ptt.name", {e.NameText()}) + "\n";
        s += Say("cli.ptt.file", {table.content_paths[i]}) + "\n";
        s += Say("cli.ptt.offset", {Hex8(e.offset)}) + "\n";
        s += Say("cli.ptt.size", {Hex8(e.size)}) + "\n";
        s += Say("cli.ptt.content_size", {Hex8(e.content_size)}) + "\n";
    }
    return s;
}

}  // namespace

int RunPtt(const GlobalOptions&, const std::string& file) {
    PartitionTable table;
    const int result = table.Load(file);
    if (result != 0) {
        std::cerr << "velmora-cli: " << Show(table.FailureText(result)) << '\n'
                  << Show(kRefuseParsePtt) << "\n";
        return kExitRefused;
    }
    std::cout << Summary(table) << std::flush;
    return kExitOk;
}

Command AddPttCommand(CLI::App& app) {
    auto file = std::make_shared<std::string>();
    auto* ptt = app.add_subcommand("ptt", Say("cli.help.ptt_command"));
    ptt->add_option("FILE", *file, Say("cli.help.ptt"))->required();
    ptt->footer(Examples("cli.help.examples.ptt"));
    return {ptt, [file](const GlobalOptions& global) { return RunPtt(global, *file); }, true};
}

}  // namespace velmora::cli
