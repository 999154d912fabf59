#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>

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

void AddLinkOptions(CLI::App* cmd, velmora::cli::JobOptions& job) {
    cmd->add_option("--port", job.link.port,
                    "serial device path, COMn, `sim` or `sim:OPTIONS` (simulated phone)");
    cmd->add_option("--baud", job.link.baud, "115200, 460800 or 921600 (default 921600)")
        ->check(CLI::IsMember({115200, 460800, 921600}));
    cmd->add_flag("--usb", job.link.usb, "use the USB link");
    cmd->add_option("--timeout", job.link.timeout_s,
                    "give up waiting for the phone after SECONDS (default: wait until stopped)")
        ->type_name("SECONDS")
        ->check(CLI::Range(1, 86400));
}

void AddAreaOptions(CLI::App* cmd, velmora::cli::JobOptions& job) {
    cmd->add_option("--start", job.start_hex, "first byte address of the area, hexadecimal");
    cmd->add_option("--end", job.end_hex, "last byte address of the area, hexadecimal");
}

}  // namespace

int main(int argc, char** argv) {
    using namespace velmora::cli;
    // Ctrl-C from the first moment on is kept for the job (which then ends before
    // it touches the phone) instead of killing the program halfway through its
    // start; commands that run no job let it through again.
    SignalStop signals;
    const auto let_signals_through = [&] { signals.Release(); };
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

    JobOptions job;
    auto* upgrade = app.add_subcommand("upgrade", "code upgrade: write a partition table's images");
    upgrade->add_option("--ptt", job.ptt, "partition table file (.ptt)")->required();
    upgrade->add_option("--range", job.range, "all (code and file system) or code (code area)")
        ->check(CLI::IsMember({"all", "code"}))
        ->default_str("all");
    upgrade
        ->add_option("--backup", job.backup,
                     "first back up the EEROM and what the upgrade erases into DIR (made if "
                     "missing; must hold no earlier backup)")
        ->type_name("DIR");
    upgrade->add_flag("--verify", job.verify,
                      "afterwards read back every block written and compare it with what was "
                      "sent");
    upgrade->add_flag("--read-once", job.read_once,
                      "read the EEROM of the --backup once (by default twice, compared)");
    AddLinkOptions(upgrade, job);

    auto* read = app.add_subcommand("read", "read code into <home>/upload_nand/ or --output DIR");
    read->add_option("--range", job.range, "ptt, eerom or area")
        ->check(CLI::IsMember({"ptt", "eerom", "area"}))
        ->default_str("ptt");
    AddAreaOptions(read, job);
    read->add_option("--output", job.output,
                     "folder for the files read (default <home>/upload_nand/; made if missing)");
    read->add_flag("--force", job.force, "replace the files of an earlier read in that folder");
    read->add_flag("--read-twice", job.read_twice,
                   "read every block twice and compare; a block read differently is read a "
                   "third time and the byte-wise majority kept");
    AddLinkOptions(read, job);

    auto* erase = app.add_subcommand("erase", "erase a NAND range");
    erase->add_option("--range", job.range, "fs, area, code, all or eerom")
        ->check(CLI::IsMember({"fs", "area", "code", "all", "eerom"}))
        ->required();
    AddAreaOptions(erase, job);
    erase->add_flag("--yes", job.yes,
                    "confirm erasing the EEROM, or an area that reaches block 0 or the EEROM");
    erase
        ->add_option("--backup", job.backup,
                     "first back up the EEROM and the blocks to erase into DIR")
        ->type_name("DIR");
    erase->add_flag("--read-once", job.read_once,
                    "read the EEROM of the --backup once (by default twice, compared)");
    AddLinkOptions(erase, job);

    auto* backup = app.add_subcommand(
        "backup",
        "back up the EEROM (calibration, IMEI) or everything into a folder with a "
        "manifest");
    backup->add_option("--output", job.output, "folder for the backup (made if missing)")
        ->required();
    backup
        ->add_option("--range", job.range,
                     "eerom (the EEROM area with spare bytes, default) or all (every block "
                     "the chip has good, each in one file)")
        ->check(CLI::IsMember({"eerom", "all"}))
        ->default_str("eerom");
    backup->add_flag("--read-twice", job.read_twice,
                     "read every block twice and compare; a block read differently is read a "
                     "third time and the byte-wise majority kept");
    AddLinkOptions(backup, job);

    auto* restore = app.add_subcommand(
        "restore",
        "write a backup back: the EEROM to its own blocks; with --range all also "
        "the partitions, block 0 and (when the record is the same) the reservoir");
    restore->add_option("DIR", job.backup, "the backup's folder")->required();
    restore->add_option("--range", job.range, "eerom (default) or all")
        ->check(CLI::IsMember({"eerom", "all"}))
        ->default_str("eerom");
    restore->add_flag("--yes", job.yes, "confirm writing over the phone's EEROM");
    AddLinkOptions(restore, job);

    auto* health = app.add_subcommand(
        "health",
        "report bad blocks, replacements, the reservoir, the record and where each "
        "partition lies");
    health
        ->add_option("--since", job.since,
                     "a backup folder or an earlier report (--save) to compare with")
        ->type_name("PATH");
    health->add_option("--save", job.save, "also write the report as JSON to FILE")
        ->type_name("FILE");
    AddLinkOptions(health, job);

    std::string ptt_file;
    auto* ptt = app.add_subcommand("ptt", "print a partition table's summary");
    ptt->add_option("FILE", ptt_file, "partition table file (.ptt)")->required();

    auto* ports = app.add_subcommand(
        "ports", "list the serial ports and the USB devices that could be the phone");
    auto* chips = app.add_subcommand("chips", "list the NAND chips of the catalogue FlashChip.ini");
    auto* udev_rule = app.add_subcommand(
        "udev-rule", "print the udev rule that gives access to the phone's USB devices");
    std::string loader_ids;
    udev_rule
        ->add_option("--loader", loader_ids,
                     "add a line for the RAM loader's device, by the vendor and product ID "
                     "that a job names when that device refused access")
        ->type_name("VID:PID");
    bool markdown = false;
    auto* results = app.add_subcommand(
        "results", "list every result code: its step, name, meaning and the next step to take");
    results->add_flag("--markdown", markdown, "as the guide's page of result codes (Markdown)");

    StationOptions station_options;
    auto* station = app.add_subcommand(
        "station", "the same code upgrade on many phones at once, one slot per --port");
    station->add_option("--ptt", station_options.ptt, "partition table file (.ptt)")->required();
    station
        ->add_option("--port", station_options.ports,
                     "a slot's port, once per slot: serial device, USB bus path "
                     "(path=BUS-PORT[.PORT...]) with --usb, or `sim[:OPTIONS]`")
        ->required()
        ->allow_extra_args(false);
    station->add_flag("--usb", station_options.usb, "every slot on the USB link");
    station->add_flag("--loop", station_options.loop,
                      "start each slot again with the next phone, until Ctrl-C");
    station->add_flag("--verify", station_options.verify, "read back every block written");
    station->add_option("--log", station_options.log,
                        "the station log (default <home>/station-log.sqlite)");
    station->add_option("--baud", station_options.baud, "115200, 460800 or 921600 (default 921600)")
        ->check(CLI::IsMember({115200, 460800, 921600}));
    station
        ->add_option("--timeout", station_options.timeout_s,
                     "a slot gives up waiting for its phone after SECONDS")
        ->type_name("SECONDS")
        ->check(CLI::Range(1, 86400));

    LogOptions log_options;
    auto* log = app.add_subcommand("log", "print the station log: one row per phone and job");
    auto* log_since = log->add_option(
        "--since", log_options.since,
        "rows from this time on: 2026-01-31, \"2026-01-31 14:05\", or an age: 30m, 12h, 7d");
    auto* log_product = log->add_option("--product", log_options.product,
                                        "only this phone product: 52,20,00,01,07 (as the boot "
                                        "ROM sends it) or 0701002052");
    auto* log_csv = log->add_flag("--csv", log_options.csv, "as CSV with a header line");
    auto* log_json =
        log->add_flag("--json", log_options.json, "one JSON object per row")->excludes(log_csv);
    log->add_option("--log", log_options.log,
                    "the station log (default <home>/station-log.sqlite)");
    log->add_flag("--merge-pending", log_options.merge_pending,
                  "add the rows that wait beside the log (<log>.pending) to it")
        ->excludes(log_since)
        ->excludes(log_product)
        ->excludes(log_csv)
        ->excludes(log_json);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        let_signals_through();
        const int code = app.exit(e);
        return code == 0 ? kExitOk : kExitRefused;
    }

    velmora::CatalogueNote note;
    global.home = velmora::ResolveHome(home, &note);
    velmora::SetHome(global.home);
    if (note.refreshed || (note.newer_kept_out && *chips)) {
        std::fprintf(stderr, "velmora-cli: %s\n", note.text.c_str());
    }

    if (*ptt || *ports || *chips || *results || *log) {
        let_signals_through();
    }
    if (*ptt) {
        return RunPtt(global, ptt_file);
    }
    if (*ports) {
        return RunPorts(global);
    }
    if (*chips) {
        return RunChips(global);
    }
    if (*udev_rule) {
        return RunUdevRule(global, loader_ids);
    }
    if (*results) {
        return RunResults(global, markdown);
    }
    if (*log) {
        return RunLog(global, log_options);
    }
    if (*station) {
        return RunStation(global, station_options);
    }
    for (auto* cmd : {upgrade, read, erase, backup, restore, health}) {
        if (*cmd) {
            job.command = cmd->get_name();
            if (job.range.empty() && job.command != "health") {
                job.range = job.command == "upgrade"                              ? "all"
                            : job.command == "backup" || job.command == "restore" ? "eerom"
                                                                                  : "ptt";
            }
            return RunJob(global, job);
        }
    }
    return kExitRefused;
}
