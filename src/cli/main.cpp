#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/signal_stop.h"
#include "config/home.h"
#include "velmora_version.h"

namespace {

constexpr const char* kFooter = R"(Link options of every command that talks to the phone:
  --port PORT   device path (/dev/ttyUSB0, /dev/pts/3) or COMn (= /dev/ttyS{n-1}); `sim` or
                `sim:OPTIONS` runs the job against a simulated phone started inside the
                program (OPTIONS are the simulated phone's own, comma-separated, e.g.
                `sim:chip=EC,A1,bad=5+9`), for a first try, training and demos
  --baud 115200|460800|921600   line rate after the RAM loader starts (default 921600)
  --usb         use the USB link instead of a serial port; --port then takes the USB
                port text: `sim[:OPTIONS]`, or `path=BUS-PORT[.PORT...]` (the phone's bus
                path, as `ports` lists it), `dfu=VID[:PID]`, `dlv=VID[:PID]`, separated
                by commas
  --timeout SECONDS   the job waits this long for the phone to announce itself (serial)
                or its DFU device to appear (USB), then ends with result -1 and "no phone
                within SECONDS s on PORT" (exit status 1); by default it waits until stopped.
                Either way a status line says every 10 s what it waits for on which port

Ranges:
  upgrade --range all   = "代码和文件系统" (code and file system, default)
          --range code  = "代码区域" (code area)
  read    --range ptt   = "依据分区表" (per partition table, default)
          --range eerom = "EEROM"
          --range area  = "指定区域" (specified area, needs --start and --end)
  erase   --range fs    = "文件系统" (file system)
          --range area  = "指定区域" (specified area, needs --start and --end)
          --range code  = "代码区域" (code area)
          --range all   = "代码和文件系统" (code and file system)
          --range eerom = "EEROM" (needs --yes)
  An area erase that reaches block 0 (the boot block) or the EEROM and reservoir (the
  top 74 blocks) also needs --yes; without it the job names the blocks and erases nothing.

Files: the home folder holds FlashChip.ini, dl_log.txt (debug mode), and upload_nand/ where
`read` stores its files unless --output names another folder. A read refuses (exit 2) to
replace the files of an earlier read there (upload.ptt, boot_nand.bin, parti_*, or
upload_eerom.bin / upload_range.bin) unless --force; each file is written under a
temporary name and moved into place when complete, and a read that fails still keeps what
it read and names the file that is incomplete. It is --home DIR, else $VELMORA_HOME, else the executable's folder
when it holds FlashChip.ini, else $XDG_DATA_HOME/velmora, which takes its FlashChip.ini from the
installed one (<prefix>/share/velmora) and takes it again when the installed one is newer and
the copy was not edited.

Backup, verify, restore: `backup --output DIR` keeps the EEROM (blocks B-74 to B-1, spare
bytes included) with a manifest.json (chip ID, product ID, date, geometry, bad blocks, each
file's blocks, size and SHA-256); `--range all` keeps every block the chip has good, each in
one file: block 0, the record, every partition, the blocks between partitions and the file
system. `upgrade --backup DIR` and `erase --backup DIR` back up the EEROM and all they will
erase, and start erasing only once the backup is complete and on the disk; that EEROM is read
twice and compared (`--read-once`: once). `read` and `backup` take `--read-twice`: every
block read twice, a difference settled by a third read. `upgrade --verify` reads back every
block written and fails (result 122) naming the blocks that differ. `restore DIR --yes`
checks the manifest's sums, that the phone's chip matches and that every file lies where the
backup's own block 0 and the chip say it may, then writes the EEROM back to its own blocks
and verifies it. `health` reports bad blocks with and without a replacement, the reservoir,
the record's two copies and each partition's blocks; `--since` a backup folder or a saved
report lists what changed.

Exit status: 0 success; 1 the job ran and failed; 2 the request was refused before any job
ran (bad arguments, an area whose end lies below its start, partition table missing or
unparsable, output folder not creatable or holding an earlier read's files, catalogue
missing, EEROM erase without --yes); 130
stopped by SIGINT or SIGTERM. A stop that comes while block 0 is written waits for the end of
that write (about one block's time), so the phone always keeps a whole boot block; when that
was the last step, the job is complete and the status is 0.

Output: status lines and a progress display (on a terminal one line redrawn in place: the
phase, bytes or blocks done of the total, the rate and the time left; piped, a `phase:` line
when a phase starts and a `progress:` line every 10 %); the last line on stdout is
`result: N` with the job's result code; a failure adds `why:` and `next:` lines. With --json, one JSON object per line, each with an "event" field
(status, progress, elapsed, chip, block, message, log, end); the last is
{"event":"end","result":N,"error":"TEXT"}.)";

// The subcommands in the order the help lists them.
std::vector<velmora::cli::Command> AddCommands(CLI::App& app) {
    using namespace velmora::cli;
    std::vector<Command> commands = AddJobCommands(app);
    for (auto* add : {AddPttCommand, AddPortsCommand, AddChipsCommand, AddUdevRuleCommand,
                      AddResultsCommand, AddStationCommand, AddLogCommand}) {
        commands.push_back(add(app));
    }
    return commands;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace velmora::cli;
    // Ctrl-C from the first moment on is kept for the job (which then ends before
    // it touches the phone) instead of killing the program halfway through its
    // start; commands that run no job let it through again.
    SignalStop signals;
    CLI::App app{
        "velmora-cli: write firmware into, read back and erase the NAND flash of PNX5220 "
        "phones over a serial line or USB"};
    app.footer(kFooter);
    app.set_version_flag("--version", std::string("velmora-cli ") + velmora::kVersion,
                         "print the version and exit");
    app.require_subcommand(1);

    std::string home;
    GlobalOptions global;
    global.signals = &signals;
    app.add_option("--home", home, "the program's own folder (FlashChip.ini, upload_nand, logs)");
    app.add_flag("--debug", global.debug,
                 "debug mode: write dl_log.txt and bbm_rcb.bin, print every step message");
    app.add_flag("--json", global.json, "one JSON event per line on stdout");
    const std::vector<Command> commands = AddCommands(app);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        signals.Release();
        const int code = app.exit(e);
        return code == 0 ? kExitOk : kExitRefused;
    }

    const auto chosen = std::find_if(commands.begin(), commands.end(),
                                     [](const Command& c) { return c.cmd->parsed(); });
    if (chosen == commands.end()) {
        return kExitRefused;
    }
    velmora::CatalogueNote note;
    global.home = velmora::ResolveHome(home, &note);
    velmora::SetHome(global.home);
    if (note.refreshed || (note.newer_kept_out && chosen->cmd->get_name() == "chips")) {
        std::fprintf(stderr, "velmora-cli: %s\n", note.text.c_str());
    }
    if (chosen->releases_signals) {
        signals.Release();
    }
    return chosen->run(global);
}
