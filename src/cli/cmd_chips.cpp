// chips: the NAND chips the catalogue in the home folder knows, as a job would
// read them.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/cli_texts.h"
#include "cli/commands.h"
#include "cli/help_text.h"
#include "config/chip_catalogue.h"

namespace velmora::cli {

namespace {

std::string SizeText(int64_t bytes) {
    char text[32];
    if (bytes >= (int64_t{1} << 30) && bytes % (int64_t{1} << 30) == 0) {
        std::snprintf(text, sizeof text, "%lld GiB", static_cast<long long>(bytes >> 30));
    } else if (bytes >= (int64_t{1} << 20)) {
        std::snprintf(text, sizeof text, "%lld MiB", static_cast<long long>(bytes >> 20));
    } else {
        std::snprintf(text, sizeof text, "%lld KiB", static_cast<long long>(bytes >> 10));
    }
    return text;
}

nlohmann::json ChipJson(const CatalogueChip& chip) {
    const ChipName name = KnownChipName(chip.maker, chip.device);
    const NandGeometry& g = chip.geometry;
    nlohmann::json item = {{"id", chip.id},
                           {"maker", name.maker},
                           {"part", name.part},
                           {"block_count", g.block_count},
                           {"block_size", g.block_size},
                           {"page_size", g.page_size},
                           {"spare_size", g.spare_size},
                           {"erase_time_us", g.erase_time},
                           {"write_time_us", g.write_time},
                           {"bytes", int64_t{g.block_count} * g.block_size},
                           {"refused", !chip.problem.empty()},
                           {"reason", nullptr},
                           {"problem", nullptr}};
    if (!chip.problem.empty()) {
        item["reason"] = Show(chip.problem);
        item["problem"] = item["reason"];
    }
    return item;
}

void PrintChip(const CatalogueChip& chip) {
    const ChipName name = KnownChipName(chip.maker, chip.device);
    const NandGeometry& g = chip.geometry;
    std::printf("%-6s %-8s %-13s", chip.id.c_str(), name.maker.c_str(), name.part.c_str());
    if (!chip.problem.empty()) {
        std::printf("%s\n", Say("cli.chips.refused", {Show(chip.problem)}).c_str());
        return;
    }
    const std::string size = SizeText(int64_t{g.block_count} * g.block_size);
    const std::string block = SizeText(g.block_size);
    std::printf("%6d %8s %6d %6d %9s %7d %7d\n", g.block_count, block.c_str(), g.page_size,
                g.spare_size, size.c_str(), g.erase_time, g.write_time);
}

}  // namespace

int RunChips(const GlobalOptions& global) {
    const std::string path = global.home + std::string(kCatalogueName) + ".ini";
    std::vector<CatalogueChip> chips;
    std::string problem;
    const bool readable = ListCatalogueChips(global.home, chips, problem) == 0;
    std::string date;
    std::string version;
    if (readable) {
        ReadCatalogueVersion(global.home, date, version);
        // The check a job makes before it asks the phone: the exit status says
        // whether jobs would start with this catalogue. An entry the program cannot
        // serve is listed as refused; it fails only its own chip's identification.
        CheckCatalogue(global.home, problem);
    }
    if (global.json) {
        nlohmann::json list = nlohmann::json::array();
        for (const CatalogueChip& chip : chips) {
            list.push_back(ChipJson(chip));
        }
        nlohmann::json event = {{"event", "chips"},
                                {"catalogue", path},
                                {"date", date},
                                {"version", version},
                                {"chips", list}};
        if (!problem.empty()) {
            const text::Shown shown = ShowWithId(problem);
            event["error"] = shown.text;
            if (!shown.id.empty())
                event["error_id"] = shown.id;
        }
        std::printf("%s\n",
                    event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        return problem.empty() ? kExitOk : kExitRefused;
    }
    if (readable) {
        std::printf("%s\n", Say("cli.chips.catalogue", {path, date, version}).c_str());
        std::printf("%s\n", Say("cli.chips.header").c_str());
        for (const CatalogueChip& chip : chips) {
            PrintChip(chip);
        }
        std::printf("%s\n", Say("cli.chips.units").c_str());
    }
    if (!problem.empty()) {
        std::fprintf(stderr, "velmora-cli: %s\n", Show(problem).c_str());
        return kExitRefused;
    }
    return kExitOk;
}

Command AddChipsCommand(CLI::App& app) {
    auto* chips = app.add_subcommand("chips", Say("cli.help.chips"));
    chips->footer(Examples("cli.help.examples.chips"));
    return {chips, RunChips, true};
}

}  // namespace velmora::cli
