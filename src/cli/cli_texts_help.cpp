// The command line's help: the program's description and options, what every
// job command shares, the JSON events, and each command's options and examples.
#include "cli/cli_texts.h"

namespace velmora::cli::sections {

namespace {

constexpr text::Entry kHelp[] = {
    {"cli.help.app", "",
     "velmora-cli：通过串口或 USB 向 PNX5220 手机的 NAND 闪存写入固件、读回数据和擦除区域",
     "velmora-cli: write firmware into, read back and erase the NAND flash of PNX5220 phones "
     "over a serial line or USB"},
    {"cli.help.help", "", "显示此帮助并退出", "Print this help message and exit"},
    {"cli.help.version", "", "显示版本并退出", "print the version and exit"},
    {"cli.help.home", "", "程序自己的文件夹（FlashChip.ini、upload_nand、日志）",
     "the program's own folder (FlashChip.ini, upload_nand, logs)"},
    {"cli.help.lang", "",
     "输出的语言：zh（中文）或 en（英文）；默认取 LC_ALL、LC_MESSAGES 或 LANG（zh* 为中文，"
     "其余为英文）",
     "the language of what the program prints: zh (Chinese) or en (English); by default "
     "LC_ALL, LC_MESSAGES or LANG (zh* Chinese, anything else English)"},
    {"cli.help.debug", "", "调试模式：写 dl_log.txt 和 bbm_rcb.bin，并显示每一步的消息",
     "debug mode: write dl_log.txt and bbm_rcb.bin, print every step message"},
    {"cli.help.json", "", "在标准输出上每行输出一个 JSON 事件",
     "one JSON event per line on stdout"},

    // CLI11's own words.
    {"cli.help.label.usage", "", "用法", "Usage"},
    {"cli.help.label.options", "", "选项", "OPTIONS"},
    {"cli.help.label.command", "", "命令", "SUBCOMMAND"},
    {"cli.help.label.commands", "", "命令", "SUBCOMMANDS"},
    {"cli.help.label.positionals", "", "参数", "Positionals"},
    {"cli.help.label.required", "", "必需", "REQUIRED"},
    {"cli.help.label.excludes", "", "不能与之同用", "Excludes"},
    {"cli.help.label.needs", "", "需要", "Needs"},
    {"cli.help.group.options", "", "选项", "Options"},
    {"cli.help.group.commands", "", "命令", "Subcommands"},
    {"cli.help.group.link", "", "连接选项（velmora-cli --help 有详细说明）",
     "Link options (velmora-cli --help tells more)"},
    {"cli.help.examples", "", "示例：", "Examples:"},

    // The main help's footer.
    {"cli.help.footer.link", "",
     "与手机通信的命令（upgrade、read、erase、backup、restore、health、station）共用的连接选项：\n"
     "  --port PORT   设备路径（/dev/ttyUSB0、/dev/pts/3）或 COMn（即 /dev/ttyS{n-1}）；`sim` 或\n"
     "                `sim:OPTIONS` 在程序内启动一部模拟手机来运行作业（OPTIONS 为模拟手机自己的\n"
     "                选项，以逗号分隔，例如 `sim:chip=EC,A1,bad=5+9`），用于初次试用、培训和演示\n"
     "  --baud 115200|460800|921600   RAM 加载程序启动后的线路速率（默认 921600）\n"
     "  --usb         使用 USB 连接而不是串口；此时 --port 为 USB 端口文本：`sim[:OPTIONS]`，或\n"
     "                `path=BUS-PORT[.PORT...]`（手机的总线路径，见 `ports`）、`dfu=VID[:PID]`、\n"
     "                `dlv=VID[:PID]`，以逗号分隔\n"
     "  --timeout SECONDS   作业等待手机出现（串口）或其 DFU 设备出现（USB）的时间，超时后以结果\n"
     "                -1 和“no phone within SECONDS s on PORT”结束（退出状态 1）；默认一直等到被\n"
     "                停止。无论哪种情况，每 10 秒都有一行状态说明在哪个端口上等待什么",
     "Link options of every command that talks to the phone (upgrade, read, erase, backup, "
     "restore, health, station):\n"
     "  --port PORT   device path (/dev/ttyUSB0, /dev/pts/3) or COMn (= /dev/ttyS{n-1}); `sim` or\n"
     "                `sim:OPTIONS` runs the job against a simulated phone started inside the\n"
     "                program (OPTIONS are the simulated phone's own, comma-separated, e.g.\n"
     "                `sim:chip=EC,A1,bad=5+9`), for a first try, training and demos\n"
     "  --baud 115200|460800|921600   line rate after the RAM loader starts (default 921600)\n"
     "  --usb         use the USB link instead of a serial port; --port then takes the USB\n"
     "                port text: `sim[:OPTIONS]`, or `path=BUS-PORT[.PORT...]` (the phone's bus\n"
     "                path, as `ports` lists it), `dfu=VID[:PID]`, `dlv=VID[:PID]`, separated\n"
     "                by commas\n"
     "  --timeout SECONDS   the job waits this long for the phone to announce itself (serial)\n"
     "                or its DFU device to appear (USB), then ends with result -1 and \"no phone\n"
     "                within SECONDS s on PORT\" (exit status 1); by default it waits until\n"
     "                stopped. Either way a status line says every 10 s what it waits for on\n"
     "                which port"},
    {"cli.help.footer.ranges", "",
     "范围：\n"
     "  upgrade --range all   代码和文件系统（默认）\n"
     "          --range code  代码区域\n"
     "  read    --range ptt   依据分区表（默认）\n"
     "          --range eerom EEROM\n"
     "          --range area  指定区域（需要 --start 和 --end）\n"
     "  erase   --range fs    文件系统\n"
     "          --range area  指定区域（需要 --start 和 --end）\n"
     "          --range code  代码区域\n"
     "          --range all   代码和文件系统\n"
     "          --range eerom EEROM（需要 --yes）\n"
     "  擦除的指定区域若触及块 0（引导块）或 EEROM 及备用区（最高的 74 个块），同样需要\n"
     "  --yes；没有 --yes 时作业会列出这些块，并且不擦除任何内容。",
     "Ranges:\n"
     "  upgrade --range all   code and file system (default)\n"
     "          --range code  code area\n"
     "  read    --range ptt   per partition table (default)\n"
     "          --range eerom the EEROM\n"
     "          --range area  a specified area (needs --start and --end)\n"
     "  erase   --range fs    file system\n"
     "          --range area  a specified area (needs --start and --end)\n"
     "          --range code  code area\n"
     "          --range all   code and file system\n"
     "          --range eerom the EEROM (needs --yes)\n"
     "  An area erase that reaches block 0 (the boot block) or the EEROM and reservoir (the\n"
     "  top 74 blocks) also needs --yes; without it the job names the blocks and erases nothing."},
    {"cli.help.footer.files", "",
     "文件：主目录中有 FlashChip.ini、dl_log.txt（调试模式）和 upload_nand/；除非用 --output\n"
     "指定其他文件夹，`read` 会把文件存到 upload_nand/。read 不会替换该处以前读出的文件\n"
     "（upload.ptt、boot_nand.bin、parti_*，或 upload_eerom.bin / upload_range.bin），除非加\n"
     "--force，否则拒绝（退出状态 2）；每个文件先以临时名写入，完整后才移到最终位置；读取失败时\n"
     "仍保留已读出的内容，并指出哪个文件不完整。主目录为 --home DIR，否则为 $VELMORA_HOME，\n"
     "否则为含有 FlashChip.ini 的程序所在文件夹，否则为 $XDG_DATA_HOME/velmora（其 FlashChip.ini\n"
     "取自安装的文件 <prefix>/share/velmora，安装的文件更新且副本未被修改时会重新取用）。",
     "Files: the home folder holds FlashChip.ini, dl_log.txt (debug mode), and upload_nand/ where\n"
     "`read` stores its files unless --output names another folder. A read refuses (exit 2) to\n"
     "replace the files of an earlier read there (upload.ptt, boot_nand.bin, parti_*, or\n"
     "upload_eerom.bin / upload_range.bin) unless --force; each file is written under a\n"
     "temporary name and moved into place when complete, and a read that fails still keeps what\n"
     "it read and names the file that is incomplete. It is --home DIR, else $VELMORA_HOME, else\n"
     "the executable's folder when it holds FlashChip.ini, else $XDG_DATA_HOME/velmora, which\n"
     "takes its FlashChip.ini from the installed one (<prefix>/share/velmora) and takes it again\n"
     "when the installed one is newer and the copy was not edited."},
    {"cli.help.footer.safety", "",
     "备份、校验、恢复：`backup --output DIR` 保存 EEROM（块 B-74 到 B-1，含冗余区字节）及\n"
     "manifest.json（芯片 ID、产品 ID、日期、几何参数、坏块、每个文件的块、大小和 SHA-256）；\n"
     "`--range all` 把芯片上所有好块各存为一个文件。`upgrade --backup DIR` 和 `erase --backup "
     "DIR`\n"
     "先备份 EEROM 和将要擦除的全部内容，备份完整落盘后才开始擦除；EEROM 读两遍并比较\n"
     "（`--read-once`：只读一遍）。`read` 和 `backup` 接受 `--read-twice`：每块读两遍，不一致时读\n"
     "第三遍定夺。`upgrade --verify` 读回写入的每个块，不一致时失败（结果 122）并列出这些块。\n"
     "`restore DIR --yes` 检查清单的校验和、手机芯片是否相符、每个文件的位置是否合规，然后把\n"
     "EEROM 写回原来的块并校验。`health` 报告坏块（有无替换）、备用区、管理记录的两份副本和\n"
     "每个分区的块；`--since` 一个备份文件夹或保存的报告，列出变化。",
     "Backup, verify, restore: `backup --output DIR` keeps the EEROM (blocks B-74 to B-1, spare\n"
     "bytes included) with a manifest.json (chip ID, product ID, date, geometry, bad blocks,\n"
     "each file's blocks, size and SHA-256); `--range all` keeps every block the chip has good,\n"
     "each in one file. `upgrade --backup DIR` and `erase --backup DIR` back up the EEROM and\n"
     "all they will erase, and start erasing only once the backup is complete and on the disk;\n"
     "that EEROM is read twice and compared (`--read-once`: once). `read` and `backup` take\n"
     "`--read-twice`: every block read twice, a difference settled by a third read. `upgrade\n"
     "--verify` reads back every block written and fails (result 122) naming the blocks that\n"
     "differ. `restore DIR --yes` checks the manifest's sums, that the phone's chip matches and\n"
     "that every file lies where it may, then writes the EEROM back to its own blocks and\n"
     "verifies it. `health` reports bad blocks with and without a replacement, the reservoir,\n"
     "the record's two copies and each partition's blocks; `--since` a backup folder or a saved\n"
     "report lists what changed."},
    {"cli.help.footer.exit", "",
     "退出状态：0 成功；1 作业已运行但失败；2 请求在任何作业运行前被拒绝（参数错误、区域的终点\n"
     "低于起点、分区表缺失或无法解析、输出文件夹无法创建或含有以前读出的文件、缺少芯片配置文件、\n"
     "擦除 EEROM 未加 --yes）；130 被 SIGINT 或 SIGTERM 停止。写块 0 时收到的停止会等到该次写入\n"
     "结束（约一个块的时间），因此手机总能保留完整的引导块；如果那正是最后一步，作业即已完成，\n"
     "退出状态为 0。",
     "Exit status: 0 success; 1 the job ran and failed; 2 the request was refused before any\n"
     "job ran (bad arguments, an area whose end lies below its start, partition table missing\n"
     "or unparsable, output folder not creatable or holding an earlier read's files, catalogue\n"
     "missing, EEROM erase without --yes); 130 stopped by SIGINT or SIGTERM. A stop that comes\n"
     "while block 0 is written waits for the end of that write (about one block's time), so\n"
     "the phone always keeps a whole boot block; when that was the last step, the job is\n"
     "complete and the status is 0."},
    {"cli.help.footer.output", "",
     "输出：状态行和进度显示（在终端上为一行原地刷新；通过管道时，每个阶段开始时输出一行\n"
     "`phase:`，每 10 % 输出一行 `progress:`）；标准输出的最后一行是 `result: N`，N 为作业的\n"
     "结果码。失败时还会输出 `错误：`、`原因：`（带步骤的引用，如 upgrade/partition-write 100，\n"
     "以及该结果码在此步骤中的含义）、`详情：`（步骤自己给出的原因）和 `下一步：`；\n"
     "`velmora-cli results 100 --step partition-write` 可查询其中一项，`velmora-cli results 100`\n"
     "列出 100 在各步骤中的全部含义。",
     "Output: status lines and a progress display (on a terminal one line redrawn in place;\n"
     "piped, a `phase:` line when a phase starts and a `progress:` line every 10 %); the last\n"
     "line on stdout is `result: N` with the job's result code. A failure adds `error:`, `why:`\n"
     "(the step-qualified reference, e.g. upgrade/partition-write 100, and what the code means\n"
     "in that step), `reason:` (the step's own words, when it has them) and `next:`. `velmora-cli\n"
     "results 100 --step partition-write` looks one up; `velmora-cli results 100` lists every\n"
     "meaning of 100."},
    {"cli.help.footer.lang", "",
     "语言：--lang zh|en，否则取 LC_ALL、LC_MESSAGES、LANG（zh* 为中文，其余为英文）。dl_log.txt\n"
     "在两种语言下都保持原样。",
     "Language: --lang zh|en, else LC_ALL, LC_MESSAGES, LANG (zh* Chinese, anything else\n"
     "English). dl_log.txt keeps its texts as they are in both languages."},
    {"cli.help.events", "",
     "JSON 事件（--json）：每行一个对象，都带有 \"event\" 和 \"ms\"（自开始以来的毫秒数）：",
     "JSON events (--json): one object per line, each with \"event\" and \"ms\" (milliseconds "
     "since the start):"},
    {"cli.help.event.start", "", "schema；station 还有 slots（槽位数）。总是第一个事件",
     "schema; station: slots. Always the first event"},
    {"cli.help.event.status", "", "text，id（文本在目录中的 id；目录不认识的文本为 null）",
     "text, id (the text's catalogue id; null for a text the catalogue does not know)"},
    {"cli.help.event.progress", "", "阶段开始时：phase、colour；之后：percent、phase、done、total",
     "when a phase starts: phase, colour; then: percent, phase, done, total"},
    {"cli.help.event.elapsed", "", "text、elapsed_ms", "text, elapsed_ms"},
    {"cli.help.event.chip", "", "text，id（芯片的四个 ID 字节；未知时为 null）",
     "text, id (the chip's four ID bytes; null when none)"},
    {"cli.help.event.block", "",
     "先是 blocks、block_size；之后每块：block、state，以及 colour、column、text",
     "first blocks, block_size; then per block: block, state, and colour, column, text"},
    {"cli.help.event.file", "", "path（写入的文件）", "path (a file written)"},
    {"cli.help.event.device", "", "path、vendor、product（工作站，USB）",
     "path, vendor, product (station, USB)"},
    {"cli.help.event.message", "", "text、id（步骤消息和通知）",
     "text, id (step messages and notices)"},
    {"cli.help.event.log", "", "text（--debug：按原样写入 dl_log.txt 的内容）",
     "text (--debug: dl_log.txt as written)"},
    {"cli.help.event.slot", "", "slot、port、state、passed、failed、text、log_error（工作站）",
     "slot, port, state, passed, failed, text, log_error (station)"},
    {"cli.help.event.station", "", "passed、failed、stopped、unlogged、log_error（工作站）",
     "passed, failed, stopped, unlogged, log_error (station)"},
    {"cli.help.event.end", "",
     "result、error、error_id、stopped、notes、report；失败时另有 step、name、ref（如\n"
     "            \"upgrade/partition-write 100\"）、meaning、reason、next_step；请求被拒绝\n"
     "            （退出状态 2）时：result 2、refused、error、error_id、reason、meaning、next_step",
     "result, error, error_id, stopped, notes, report; after a failure also step, name, ref\n"
     "            (\"upgrade/partition-write 100\"), meaning, reason, next_step; a request\n"
     "            refused (exit status 2): result 2, refused, error, error_id, reason, meaning,\n"
     "            next_step"},
    {"cli.help.events.after", "",
     "机器字段（event、result、step、name、ref、id、error_id、代码、数字、路径）在两种语言下\n"
     "相同；文本（text、error、meaning、reason、next_step、notes）使用 --lang 选择的语言。\n"
     "等待某条状态的脚本应等待它的 id，例如等待 status.switch_on_phone 而不是“请打开手机！”。",
     "Machine fields (event, result, step, name, ref, id, error_id, codes, numbers, paths) are\n"
     "the same in both languages; texts (text, error, meaning, reason, next_step, notes) follow\n"
     "--lang. A script that waits for a status waits for its id: status.switch_on_phone rather\n"
     "than \"请打开手机！\"."},
    {"cli.help.ids", "",
     "状态和错误的 id（状态和消息事件的 \"id\"，结束事件的 \"error_id\"；其他文本的 id 也来自\n"
     "同一个消息目录）：",
     "Status and error ids (the \"id\" of status and message events, the \"error_id\" of the\n"
     "end; the other texts a status may carry have ids of their own in the same catalogue):"},

    // The job commands.
    {"cli.help.port", "", "串口设备路径、COMn、`sim` 或 `sim:OPTIONS`（模拟手机）",
     "serial device path, COMn, `sim` or `sim:OPTIONS` (simulated phone)"},
    {"cli.help.baud", "", "115200、460800 或 921600（默认 921600）",
     "115200, 460800 or 921600 (default 921600)"},
    {"cli.help.usb", "", "使用 USB 连接", "use the USB link"},
    {"cli.help.timeout", "", "等待手机 SECONDS 秒后放弃（默认一直等到被停止）",
     "give up waiting for the phone after SECONDS (default: wait until stopped)"},
    {"cli.help.start", "", "区域的首字节地址，十六进制",
     "first byte address of the area, hexadecimal"},
    {"cli.help.end", "", "区域的末字节地址，十六进制",
     "last byte address of the area, hexadecimal"},
    {"cli.help.read_twice", "", "每块读两遍并比较；不一致的块读第三遍，按字节多数取值",
     "read every block twice and compare; a block read differently is read a third time and "
     "the byte-wise majority kept"},
    {"cli.help.read_once", "", "--backup 的 EEROM 只读一遍（默认读两遍并比较）",
     "read the EEROM of the --backup once (by default twice, compared)"},
    {"cli.help.ptt", "", "分区表文件（.ptt）", "partition table file (.ptt)"},
    {"cli.help.upgrade", "", "代码升级：写入分区表中的映像",
     "code upgrade: write a partition table's images"},
    {"cli.help.upgrade.range", "", "all（代码和文件系统）或 code（代码区域）",
     "all (code and file system) or code (code area)"},
    {"cli.help.upgrade.backup", "",
     "先把 EEROM 和升级将擦除的内容备份到 DIR（不存在则创建；其中不能已有备份）",
     "first back up the EEROM and what the upgrade erases into DIR (made if missing; must hold "
     "no earlier backup)"},
    {"cli.help.upgrade.verify", "", "写完后读回每个写入的块，与发送的内容比较",
     "afterwards read back every block written and compare it with what was sent"},
    {"cli.help.read", "", "把代码读到 <home>/upload_nand/ 或 --output DIR",
     "read code into <home>/upload_nand/ or --output DIR"},
    {"cli.help.read.range", "", "ptt、eerom 或 area", "ptt, eerom or area"},
    {"cli.help.read.output", "", "存放读出文件的文件夹（默认 <home>/upload_nand/；不存在则创建）",
     "folder for the files read (default <home>/upload_nand/; made if missing)"},
    {"cli.help.read.force", "", "替换该文件夹中以前读出的文件",
     "replace the files of an earlier read in that folder"},
    {"cli.help.erase", "", "擦除一个 NAND 范围", "erase a NAND range"},
    {"cli.help.erase.range", "", "fs、area、code、all 或 eerom", "fs, area, code, all or eerom"},
    {"cli.help.erase.yes", "", "确认擦除 EEROM，或触及块 0 或 EEROM 的区域",
     "confirm erasing the EEROM, or an area that reaches block 0 or the EEROM"},
    {"cli.help.erase.backup", "", "先把 EEROM 和将要擦除的块备份到 DIR",
     "first back up the EEROM and the blocks to erase into DIR"},
    {"cli.help.backup", "", "把 EEROM（校准数据、IMEI）或全部内容备份到一个带清单的文件夹",
     "back up the EEROM (calibration, IMEI) or everything into a folder with a manifest"},
    {"cli.help.backup.output", "", "存放备份的文件夹（不存在则创建）",
     "folder for the backup (made if missing)"},
    {"cli.help.backup.range", "",
     "eerom（含冗余区字节的 EEROM 区域，默认）或 all（芯片上每个好块，各存一个文件）",
     "eerom (the EEROM area with spare bytes, default) or all (every block the chip has good, "
     "each in one file)"},
    {"cli.help.restore", "",
     "写回一份备份：EEROM 写回原来的块；--range all 还写回分区、块 0 以及（管理记录相同时）"
     "备用区",
     "write a backup back: the EEROM to its own blocks; with --range all also the partitions, "
     "block 0 and (when the record is the same) the reservoir"},
    {"cli.help.restore.dir", "", "备份所在的文件夹", "the backup's folder"},
    {"cli.help.restore.range", "", "eerom（默认）或 all", "eerom (default) or all"},
    {"cli.help.restore.yes", "", "确认覆盖手机的 EEROM", "confirm writing over the phone's EEROM"},
    {"cli.help.health", "", "报告坏块、替换块、备用区、管理记录以及每个分区所在的位置",
     "report bad blocks, replacements, the reservoir, the record and where each partition lies"},
    {"cli.help.health.since", "", "用于比较的备份文件夹或以前的报告（--save）",
     "a backup folder or an earlier report (--save) to compare with"},
    {"cli.help.health.save", "", "同时把报告以 JSON 写入 FILE",
     "also write the report as JSON to FILE"},

    // The other commands.
    {"cli.help.ptt_command", "", "显示分区表的摘要", "print a partition table's summary"},
    {"cli.help.ports", "", "列出串口和可能是手机的 USB 设备",
     "list the serial ports and the USB devices that could be the phone"},
    {"cli.help.chips", "", "列出芯片配置文件 FlashChip.ini 中的 NAND 芯片",
     "list the NAND chips of the catalogue FlashChip.ini"},
    {"cli.help.udev", "", "显示让用户访问手机 USB 设备的 udev 规则",
     "print the udev rule that gives access to the phone's USB devices"},
    {"cli.help.udev.loader", "",
     "为 RAM 加载程序的设备加一行规则，按作业在该设备拒绝访问时给出的厂商 ID 和产品 ID",
     "add a line for the RAM loader's device, by the vendor and product ID that a job names "
     "when that device refused access"},
    {"cli.help.results", "",
     "结果码：列出全部，或查询一个结果码在某个步骤或所有步骤中的含义和下一步",
     "result codes: list them all, or look one up: what it means in one step or in every step, "
     "and the next step to take"},
    {"cli.help.results.code", "", "要查询的结果码，例如 100 或 -1",
     "the code to look up, e.g. 100 or -1"},
    {"cli.help.results.step", "",
     "只看这个步骤：partition-write，或带工作模式的 upgrade/partition-write",
     "only in this step: partition-write, or with its work mode upgrade/partition-write"},
    {"cli.help.results.markdown", "", "输出为指南的结果码页面（Markdown，英文）",
     "as the guide's page of result codes (Markdown, in English)"},
    {"cli.help.station", "", "在多部手机上同时进行相同的代码升级，每个 --port 一个槽位",
     "the same code upgrade on many phones at once, one slot per --port"},
    {"cli.help.station.port", "",
     "一个槽位的端口，每个槽位一次：串口设备、--usb 时的 USB 总线路径（path=BUS-PORT[.PORT...]），"
     "或 `sim[:OPTIONS]`",
     "a slot's port, once per slot: serial device, USB bus path (path=BUS-PORT[.PORT...]) with "
     "--usb, or `sim[:OPTIONS]`"},
    {"cli.help.station.usb", "", "所有槽位都使用 USB 连接", "every slot on the USB link"},
    {"cli.help.station.loop", "", "每个槽位完成后换下一部手机重新开始，直到 Ctrl-C",
     "start each slot again with the next phone, until Ctrl-C"},
    {"cli.help.station.verify", "", "读回写入的每个块", "read back every block written"},
    {"cli.help.station.timeout", "", "槽位等待其手机 SECONDS 秒后放弃",
     "a slot gives up waiting for its phone after SECONDS"},
    {"cli.help.station_log", "", "工作站日志（默认 <home>/station-log.sqlite）",
     "the station log (default <home>/station-log.sqlite)"},
    {"cli.help.log", "", "显示工作站日志：每部手机每个作业一行",
     "print the station log: one row per phone and job"},
    {"cli.help.log.since", "",
     "从该时间起的记录：2026-01-31、\"2026-01-31 14:05\"，或时长：30m、12h、7d",
     "rows from this time on: 2026-01-31, \"2026-01-31 14:05\", or an age: 30m, 12h, 7d"},
    {"cli.help.log.product", "", "只看这种产品：52,20,00,01,07（引导 ROM 发送的形式）或 0701002052",
     "only this phone product: 52,20,00,01,07 (as the boot ROM sends it) or 0701002052"},
    {"cli.help.log.csv", "", "输出为带表头的 CSV", "as CSV with a header line"},
    {"cli.help.log.json", "", "每行一个 JSON 对象", "one JSON object per row"},
    {"cli.help.log.merge", "", "把在日志旁等待的记录（<log>.pending）加入日志",
     "add the rows that wait beside the log (<log>.pending) to it"},

    // Examples (only the command's own options: the program's go before the command).
    {"cli.help.examples.upgrade", "",
     "  velmora-cli upgrade --ptt fw/phone.ptt --port /dev/ttyUSB0   # 在提示时打开手机\n"
     "  velmora-cli upgrade --ptt fw/phone.ptt --backup ~/backups/ticket-42 --verify --port sim\n"
     "  velmora-cli upgrade --ptt fw/phone.ptt --range code --usb --port path=1-4.2",
     "  velmora-cli upgrade --ptt fw/phone.ptt --port /dev/ttyUSB0   # switch the phone on when "
     "asked\n"
     "  velmora-cli upgrade --ptt fw/phone.ptt --backup ~/backups/ticket-42 --verify --port sim\n"
     "  velmora-cli upgrade --ptt fw/phone.ptt --range code --usb --port path=1-4.2"},
    {"cli.help.examples.read", "",
     "  velmora-cli read --port /dev/ttyUSB0                     # 依据分区表，存到 upload_nand/\n"
     "  velmora-cli read --range eerom --output dumps/phone1 --port COM3 --baud 460800\n"
     "  velmora-cli read --range area --start 0 --end 1FFFF --read-twice --port sim",
     "  velmora-cli read --port /dev/ttyUSB0                     # per partition table, into "
     "upload_nand/\n"
     "  velmora-cli read --range eerom --output dumps/phone1 --port COM3 --baud 460800\n"
     "  velmora-cli read --range area --start 0 --end 1FFFF --read-twice --port sim"},
    {"cli.help.examples.erase", "",
     "  velmora-cli erase --range fs --port /dev/ttyUSB0\n"
     "  velmora-cli erase --range area --start 40000 --end 7FFFF --port sim\n"
     "  velmora-cli erase --range all --backup ~/backups/ticket-42 --port /dev/ttyUSB0",
     "  velmora-cli erase --range fs --port /dev/ttyUSB0\n"
     "  velmora-cli erase --range area --start 40000 --end 7FFFF --port sim\n"
     "  velmora-cli erase --range all --backup ~/backups/ticket-42 --port /dev/ttyUSB0"},
    {"cli.help.examples.backup", "",
     "  velmora-cli backup --output ~/backups/ticket-42 --port /dev/ttyUSB0   # EEROM 及清单\n"
     "  velmora-cli backup --output ~/backups/ticket-42-all --range all --read-twice --port sim",
     "  velmora-cli backup --output ~/backups/ticket-42 --port /dev/ttyUSB0   # the EEROM, with a "
     "manifest\n"
     "  velmora-cli backup --output ~/backups/ticket-42-all --range all --read-twice --port sim"},
    {"cli.help.examples.restore", "",
     "  velmora-cli restore ~/backups/ticket-42 --port /dev/ttyUSB0         # 显示将写入的内容\n"
     "  velmora-cli restore ~/backups/ticket-42 --yes --port /dev/ttyUSB0",
     "  velmora-cli restore ~/backups/ticket-42 --port /dev/ttyUSB0         # shows what it would "
     "write\n"
     "  velmora-cli restore ~/backups/ticket-42 --yes --port /dev/ttyUSB0"},
    {"cli.help.examples.health", "",
     "  velmora-cli health --port /dev/ttyUSB0\n"
     "  velmora-cli health --since ~/backups/ticket-42 --save health.json --port /dev/ttyUSB0",
     "  velmora-cli health --port /dev/ttyUSB0\n"
     "  velmora-cli health --since ~/backups/ticket-42 --save health.json --port /dev/ttyUSB0"},
    {"cli.help.examples.ptt", "",
     "  velmora-cli ptt fw/phone.ptt\n"
     "  velmora-cli ptt upload_nand/upload.ptt      # 读出的手机分区表",
     "  velmora-cli ptt fw/phone.ptt\n"
     "  velmora-cli ptt upload_nand/upload.ptt      # the table a read brought back"},
    {"cli.help.examples.ports", "",
     "  velmora-cli ports\n"
     "  velmora-cli --json ports",
     "  velmora-cli ports\n"
     "  velmora-cli --json ports"},
    {"cli.help.examples.chips", "",
     "  velmora-cli chips\n"
     "  velmora-cli --home ~/velmora chips",
     "  velmora-cli chips\n"
     "  velmora-cli --home ~/velmora chips"},
    {"cli.help.examples.udev-rule", "",
     "  velmora-cli udev-rule | sudo tee /etc/udev/rules.d/70-velmora.rules\n"
     "  velmora-cli udev-rule --loader 1209:0002",
     "  velmora-cli udev-rule | sudo tee /etc/udev/rules.d/70-velmora.rules\n"
     "  velmora-cli udev-rule --loader 1209:0002"},
    {"cli.help.examples.results", "",
     "  velmora-cli results 100 --step partition-write   # 一个步骤中的含义\n"
     "  velmora-cli results -1                           # -1 在各步骤中的全部含义\n"
     "  velmora-cli results                              # 全部结果码",
     "  velmora-cli results 100 --step partition-write   # what 100 means in that step\n"
     "  velmora-cli results -1                           # every meaning of -1\n"
     "  velmora-cli results                              # every code"},
    {"cli.help.examples.station", "",
     "  velmora-cli station --ptt fw/phone.ptt --port /dev/ttyUSB0 --port /dev/ttyUSB1 --loop\n"
     "  velmora-cli station --ptt fw/phone.ptt --usb --port path=1-4.1 --port path=1-4.2",
     "  velmora-cli station --ptt fw/phone.ptt --port /dev/ttyUSB0 --port /dev/ttyUSB1 --loop\n"
     "  velmora-cli station --ptt fw/phone.ptt --usb --port path=1-4.1 --port path=1-4.2"},
    {"cli.help.examples.log", "",
     "  velmora-cli log --since 12h\n"
     "  velmora-cli log --product 52,20,00,01,07 --csv > phones.csv\n"
     "  velmora-cli log --merge-pending",
     "  velmora-cli log --since 12h\n"
     "  velmora-cli log --product 52,20,00,01,07 --csv > phones.csv\n"
     "  velmora-cli log --merge-pending"},
};

}  // namespace

std::span<const text::Entry> Help() {
    return kHelp;
}

}  // namespace velmora::cli::sections
