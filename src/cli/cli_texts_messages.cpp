// The command line's own words: the labels of its lines, its refusals and the
// advice that follows them, and the words of ports, chips, ptt, results, log and
// station. Looked up by id; the library's texts are the catalogue's own.
#include "cli/cli_texts.h"

namespace velmora::cli::sections {

namespace {

constexpr text::Entry kMessages[] = {
    // The lines of a job's output.
    {"cli.line.status", "", "状态：{1}", "status: {1}"},
    {"cli.line.chip", "", "芯片:{1}", "chip:{1}"},
    {"cli.line.file", "", "文件：{1}", "file: {1}"},
    {"cli.line.message", "", "消息：{1}", "message: {1}"},
    {"cli.line.device", "", "设备：{1}", "device: {1}"},
    {"cli.line.note", "", "注意：{1}", "note: {1}"},
    {"cli.line.error", "", "错误：{1}", "error: {1}"},
    {"cli.line.why_ref", "", "原因：{1}（{2}）：{3}", "why: {1} ({2}): {3}"},
    {"cli.line.why", "", "原因：{1}", "why: {1}"},
    {"cli.line.reason", "", "详情：{1}", "reason: {1}"},
    {"cli.line.next", "", "下一步：{1}", "next: {1}"},
    {"cli.line.restoring", "", "正在恢复{1}", "Restoring {1}"},
    {"cli.end.stopped", "", "已停止", "stopped"},
    {"cli.restore.what", "", "{1} 的备份（芯片 {2}，产品 ID {3}，{4}）",
     "the backup of {1}, chip {2}, product ID {3} ({4})"},
    {"cli.error.cannot_write", "", "无法写入 {1}", "cannot write {1}"},
    {"cli.error.cannot_write_why", "", "无法写入 {1}：{2}", "cannot write {1}: {2}"},

    // Refusals: the request is turned down before any job runs.
    {"cli.refused.meaning", "", "请求在作业开始前被拒绝，未向手机发送任何数据",
     "the request was refused before any job ran; nothing was sent to the phone"},
    {"cli.next.refused", "",
     "请修正命令行或其中指定的文件后重新运行；velmora-cli 命令 --help 列出该命令的选项。",
     "Correct the command line or the files it names and run it again; velmora-cli COMMAND "
     "--help lists a command's options."},
    {"cli.refuse.unknown_range", "", "未知的范围：{1}", "unknown range: {1}"},
    {"cli.refuse.no_home", "", "找不到可用的主目录", "no home folder can be had"},
    {"cli.next.no_home", "", "用 --home DIR 或环境变量 VELMORA_HOME 指定一个可以写入的文件夹。",
     "Name a folder you may write with --home DIR or VELMORA_HOME."},
    {"cli.refuse.area_bounds", "", "--range area 需要 --start 和 --end",
     "--range area needs --start and --end"},
    {"cli.next.area_bounds", "",
     "以十六进制给出区域的首字节和末字节地址，例如 --start 40000 --end 7FFFF。",
     "Give the area's first and last byte address in hexadecimal, e.g. --start 40000 --end "
     "7FFFF."},
    {"cli.refuse.eerom_yes", "", "擦除 EEROM 需要用 --yes 确认", "erasing the EEROM needs --yes"},
    {"cli.next.eerom_yes", "",
     "EEROM 保存手机的校准数据和 IMEI：先用 velmora-cli backup 备份，再加上 --yes 重新运行。",
     "The EEROM holds the phone's calibration and IMEI: back it up first (velmora-cli backup), "
     "then run the erase again with --yes."},
    {"cli.refuse.backup_damaged", "", "{1} 未恢复任何内容。", "{1} Nothing was restored."},
    {"cli.next.backup_damaged", "",
     "换用另一份备份，或用 velmora-cli backup 重新备份；校验和不符的备份绝不会写入手机。",
     "Use another backup, or make a new one with velmora-cli backup; a backup whose sums do not "
     "match is never written to a phone."},
    {"cli.refuse.restore_yes", "", "恢复{1}会覆盖手机的 EEROM；请用 --yes 确认",
     "restoring {1} writes over the phone's EEROM; confirm with --yes"},
    {"cli.next.restore_yes", "", "确认这份备份属于这部手机后，加上 --yes 重新运行。",
     "Check that the backup is this phone's, then run the restore again with --yes."},
    {"cli.next.earlier_read", "", "用 --output DIR 读到另一个文件夹；--force 会替换这些文件。",
     "--output DIR reads into another folder; --force replaces them."},
    {"cli.refuse.no_port", "", "串口连接需要 --port", "--port is needed for the serial link"},
    {"cli.next.no_port", "", "velmora-cli ports 列出串口；--port sim 可先在模拟手机上试运行。",
     "velmora-cli ports lists the serial ports; --port sim tries the job on a simulated phone."},
    {"cli.next.no_ptt", "", "用 --ptt FILE 指定分区表文件。",
     "Name the partition table file with --ptt FILE."},
    {"cli.next.open_ptt", "",
     "检查 --ptt 给出的路径；velmora-cli ptt FILE 可显示该分区表能否读取。",
     "Check the path given to --ptt; velmora-cli ptt FILE shows whether the table reads."},
    {"cli.next.parse_ptt", "",
     "velmora-cli ptt FILE 会指出分区表的问题；请使用随固件提供的分区表。",
     "velmora-cli ptt FILE names what is wrong with the table; use the table that came with "
     "the firmware."},
    {"cli.next.create_folder", "",
     "检查该文件夹（主目录下的 upload_nand，或 --output "
     "指定的文件夹）能否创建和写入，且没有同名文件。",
     "Check that the folder (upload_nand in the home folder, or --output) can be made and "
     "written, and that no file has its name."},
    {"cli.refuse.lang", "", "--lang 只接受 zh 或 en：{1}", "--lang takes zh or en: {1}"},
    {"cli.refuse.unknown_command", "", "未知命令“{1}”。", "unknown command '{1}'."},
    {"cli.refuse.unknown_option", "", "未知选项“{1}”。", "unknown option '{1}'."},
    {"cli.refuse.unknown_option_of", "", "{2} 没有选项“{1}”。", "{2} has no option '{1}'."},
    {"cli.refuse.did_you_mean", "", "您是想用{1}吗？", " Did you mean {1}?"},
    {"cli.word.quoted", "", "“{1}”", "'{1}'"},
    {"cli.word.or", "", "或", " or "},
    {"cli.word.list_separator", "", "、", ", "},
    {"cli.next.main_help", "", "velmora-cli --help 列出所有命令和它们共用的选项。",
     "velmora-cli --help lists the commands and the options they share."},
    {"cli.next.command_help", "", "velmora-cli {1} --help 列出它的选项和示例。",
     "velmora-cli {1} --help lists its options, with examples."},
    {"cli.refuse.no_command", "",
     "需要一个命令：upgrade、read、erase、backup、restore、health、ptt、ports、chips、udev-rule、"
     "results、station 或 log",
     "a command is needed: upgrade, read, erase, backup, restore, health, ptt, ports, chips, "
     "udev-rule, results, station or log"},
    {"cli.refuse.missing_option", "", "{1} 需要选项 {2}", "{1} needs the option {2}"},
    {"cli.refuse.command_line", "", "命令行有误：{1}", "the command line is wrong: {1}"},
    {"cli.refuse.results_code", "", "结果码应为整数，例如 100 或 -3001：{1}",
     "a result code is a whole number, such as 100 or -3001: {1}"},
    {"cli.refuse.unknown_step", "", "没有名为“{1}”的步骤。", "no step is called '{1}'."},
    {"cli.refuse.step_needs_code", "",
     "--step 需要一个结果码：velmora-cli results CODE --step STEP",
     "--step needs a code: velmora-cli results CODE --step STEP"},
    {"cli.next.results", "",
     "velmora-cli results 按步骤列出全部结果码；步骤名写作其后括号中的形式（如 partition-write）。",
     "velmora-cli results lists every step with its codes; a step is named as in the brackets "
     "after it (partition-write)."},
    {"cli.refuse.station_debug", "",
     "工作站模式不能与 --debug 一起使用：每个槽位都会写同一个 dl_log.txt 和 bbm_rcb.bin",
     "station runs without --debug: every slot would write the same dl_log.txt and "
     "bbm_rcb.bin"},
    {"cli.next.station_debug", "",
     "要调试一部手机，请单独运行一个作业：velmora-cli --debug upgrade --port PORT。",
     "Debug one phone with a single job: velmora-cli --debug upgrade --port PORT."},
    {"cli.refuse.station_running", "", "多口下载程序正在运行！", "Another station is running!"},
    {"cli.refuse.window_running", "", "程序正在运行！", "The window velmora is running!"},
    {"cli.next.window_running", "", "先关闭窗口程序 velmora，再启动工作站。",
     "Close the window velmora before a station starts."},

    // Words.
    {"cli.word.unknown", "", "未知", "unknown"},
    {"cli.word.serial", "", "串口", "serial"},
    {"cli.word.usb", "", "USB", "USB"},
    {"cli.word.both_links", "", "两种连接", "both links"},

    // results
    {"cli.results.code_plus_code", "", "{1}r（r：{2}的结果码）", "{1}r (r: {2})"},
    {"cli.results.code_plus_index", "", "{1}i（i 为 {2} 到 {3}）", "{1}i (i {2} to {3})"},
    {"cli.results.link_only", "", "（{1}）", " ({1})"},
    {"cli.results.meanings", "", "结果码 {1} 在不同步骤中有 {2} 种含义：",
     "{1} has {2} meanings, by step:"},
    {"cli.results.not_in_step", "",
     "{1} 不是步骤 {2} 的已知结果码；velmora-cli results {1} 列出它在各步骤中的含义。",
     "{1} is not a known code of the step {2}; velmora-cli results {1} lists its meaning in "
     "every step."},
    {"cli.results.wraps", "", "（{1}失败时，作业也以此结果码结束）",
     "(also the code a failed {1} ends the job with)"},
    {"cli.results.unknown_code", "", "没有任何步骤以结果码 {1} 结束。",
     "No step ends with the code {1}."},

    // ports
    {"cli.ports.usb_ids", "", "（USB {1}）", "(USB {1})"},
    {"cli.ports.usb_ids_serial", "", "（USB {1}，序列号 {2}）", "(USB {1}, serial {2})"},
    {"cli.ports.driver", "", "驱动 {1}", "driver {1}"},
    {"cli.ports.no_access", "", "您无权打开它（用户组 {1}）：{2}",
     "you may not open it (group {1}): {2}"},
    {"cli.ports.serial_error", "", "串口：{1}", "serial ports: {1}"},
    {"cli.ports.none", "", "未找到串口", "no serial ports found"},
    {"cli.ports.usb_error", "", "USB：{1}", "USB: {1}"},
    {"cli.ports.mode.run_time", "", "运行时 DFU", "run-time DFU"},
    {"cli.ports.mode.dfu", "", "DFU 模式", "DFU mode"},
    {"cli.ports.mode.bulk", "", "批量传输设备", "bulk device"},
    {"cli.ports.mode.other", "", "其他", "other"},
    {"cli.ports.no_serial_number", "", "，无序列号", ", no serial number"},
    {"cli.ports.serial_number", "", "，序列号 {1}", ", serial {1}"},

    // chips (the header's columns line up with the rows)
    {"cli.chips.catalogue", "", "芯片配置文件 {1}，{2} V{3}", "catalogue {1}, {2} V{3}"},
    {"cli.chips.header", "",
     "ID     厂商     型号           块数   块大小     页 冗余区      容量    擦除    写入",
     "ID     maker    part         blocks    block   page  spare      size   erase   write"},
    {"cli.chips.refused", "", "已拒绝：{1}", "refused: {1}"},
    {"cli.chips.units", "", "（页和冗余区以字节计；擦除为每块、写入为每页的时间，单位 µs）",
     "(page and spare in bytes; erase per block and write per page in µs)"},

    // ptt: the viewer's summary
    {"cli.ptt.total", "", "分区总数 = {1}。", "Total partition number = {1}."},
    {"cli.ptt.boot_name", "", "Boot NAND 文件名   = {1}。", "Boot NAND file name = {1}."},
    {"cli.ptt.boot_size", "", "Boot NAND 文件大小 = {1}。", "Boot NAND file size = {1}."},
    {"cli.ptt.files_size", "", "文件总大小         = {1}。", "Total files size    = {1}."},
    {"cli.ptt.partition", "", "分区#{1}", "Partition#{1}"},
    {"cli.ptt.id", "", "编号     = {1}", "id                 = {1}"},
    {"cli.ptt.name", "", "名称     = {1}", "name               = {1}"},
    {"cli.ptt.file", "", "文件     = {1}", "file               = {1}"},
    {"cli.ptt.offset", "", "偏移     = {1}", "offset             = {1}"},
    {"cli.ptt.size", "", "大小     = {1}", "size               = {1}"},
    {"cli.ptt.content_size", "", "内容大小 = {1}", "content size       = {1}"},

    // udev-rule
    {"cli.udev.bad_loader", "",
     "--loader 需要加载程序设备的厂商 ID 和产品 ID，写作十六进制 VID:PID，与作业的失败信息或 lsusb "
     "显示的一致（例如 1209:0002）：{1}",
     "--loader takes the loader device's vendor and product ID as VID:PID in hexadecimal, as "
     "the job's failure or lsusb shows them (e.g. 1209:0002): {1}"},
    {"cli.udev.install", "",
     "安装方法：\n"
     "  {1} | sudo tee /etc/udev/rules.d/70-velmora.rules >/dev/null\n"
     "  sudo udevadm control --reload-rules && sudo udevadm trigger\n"
     "然后重新插拔手机。通过 SSH 或以服务方式访问时：sudo usermod -aG plugdev 用户名",
     "Install it with:\n"
     "  {1} | sudo tee /etc/udev/rules.d/70-velmora.rules >/dev/null\n"
     "  sudo udevadm control --reload-rules && sudo udevadm trigger\n"
     "then replug the phone. For access over SSH or as a service: sudo usermod -aG plugdev "
     "USER"},

    // log
    {"cli.log.pending_unreadable", "", "无法读取 {1}：{2}", "{1} cannot be read: {2}"},
    {"cli.log.rows_wait", "",
     "有 {1} 行记录在 {2} 中等待：生成时工作站日志未能接收它们。`velmora-cli log --merge-pending` "
     "会把它们加入日志。",
     "{1} row(s) wait in {2}: the station log could not take them when they were made. "
     "`velmora-cli log --merge-pending` adds them."},
    {"cli.log.not_rows", "", "{1} 中有 {2} 行不是记录。",
     "{1} holds {2} line(s) that are not a row."},
    {"cli.log.none_wait", "", "没有等待加入工作站日志 {1} 的记录。",
     "No rows wait for the station log {1}."},
    {"cli.log.still_wait", "", "{1} 中的记录仍在等待：工作站日志无法接收它们（{2}）。",
     "the rows in {1} still wait: the station log cannot take them ({2})."},
    {"cli.log.added", "", "已从 {3} 向工作站日志 {2} 加入 {1} 行记录。",
     "{1} row(s) added to the station log {2} from {3}."},
    {"cli.log.added_already", "",
     "已从 {3} 向工作站日志 {2} 加入 {1} 行记录（另有 {4} 行已在日志中）。",
     "{1} row(s) added to the station log {2} from {3} ({4} more were in it already)."},
    {"cli.log.keeps_not_rows", "", "{1} 保留了 {2} 行不是记录的内容。",
     "{1} keeps {2} line(s) that are not a row."},
    {"cli.log.bad_since", "",
     "--since 接受日期（2026-01-31）、日期和时间（2026-01-31 14:05）或时长（30m、12h、7d）：{1}",
     "--since takes a date (2026-01-31), a date and time (2026-01-31 14:05) or an age (30m, "
     "12h, 7d): {1}"},
    {"cli.log.bad_product", "",
     "--product 接受引导 ROM 发送的产品 ID（52,20,00,01,07）或十位数字（0701002052）：{1}",
     "--product takes a product ID as the boot ROM sends it (52,20,00,01,07) or as ten digits "
     "(0701002052): {1}"},
    {"cli.log.missing", "", "{1} 处没有工作站日志", "no station log at {1}"},
    {"cli.log.not_regular", "", "工作站日志 {1} 不是普通文件",
     "the station log {1} is not a regular file"},
    {"cli.log.read_error", "", "工作站日志 {1}：{2}", "the station log {1}: {2}"},
    {"cli.log.outcome.passed", "", "通过", "passed"},
    {"cli.log.outcome.failed", "", "失败", "failed"},
    {"cli.log.outcome.stopped", "", "已停止", "stopped"},
    {"cli.log.outcome.interrupted", "", "中断", "interrupted"},
    {"cli.log.row", "",
     "{1}  槽位 {2}  {3}  芯片 {4}  产品 {5}  {6} 秒  坏块 {7}  失败块 {8}  {9}  {10}（{11}）",
     "{1}  slot {2}  {3}  chip {4}  product {5}  {6} s  bad {7}  failed {8}  {9}  {10} ({11})"},

    // station
    {"cli.station.state.idle", "", "空闲", "idle"},
    {"cli.station.state.running", "", "运行中", "running"},
    {"cli.station.state.waiting", "", "等待中", "waiting"},
    {"cli.station.state.passed", "", "通过", "passed"},
    {"cli.station.state.failed", "", "失败", "failed"},
    {"cli.station.state.stopped", "", "已停止", "stopped"},
    {"cli.station.ended", "", "{1}：{2}", "{1}: {2}"},
    {"cli.station.slot_line", "", "槽位 {1}：{2}", "slot {1}: {2}"},
    {"cli.station.counts", "", "（槽位：通过 {1}，失败 {2}；工作站：通过 {3}，失败 {4}）",
     "(slot: {1} passed, {2} failed; station: {3} passed, {4} failed)"},
    {"cli.station.log_error", "", "工作站日志：{1}", "station log: {1}"},
    {"cli.station.log_path", "", "工作站日志：{1}", "station log: {1}"},
    {"cli.station.stopped_mark", "", "（已停止）", "  (stopped)"},
    {"cli.station.totals", "", "通过：{1}  失败：{2}", "passed: {1}  failed: {2}"},
    {"cli.station.connect", "", "连接", "connect"},
    {"cli.station.row_counts", "", "成功 {1} 失败 {2}", "{1} ok {2} failed"},
    {"cli.station.last", "", "上次：{1}", "last: {1}"},
    {"cli.station.ref", "", "原因：{1}：{2}", "why: {1}: {2}"},
    {"cli.station.rows_wait", "",
     "{1} 行记录未能写入工作站日志 {2}，正在 {3} 中等待：下次启动工作站或运行 `velmora-cli log "
     "--merge-pending` 时会加入它们。",
     "{1} row(s) could not be written to the station log {2}; they wait in {3}: the next "
     "station start or `velmora-cli log --merge-pending` adds them."},
    {"cli.station.rows_lost", "",
     "{1} 行记录既未能写入工作站日志，也未能写入 {2}：它们已丢失（各槽位的行说明了原因）。",
     "{1} row(s) could be written neither to the station log nor to {2}: they are lost (each "
     "slot's line says why)."},
};

}  // namespace

std::span<const text::Entry> Messages() {
    return kMessages;
}

}  // namespace velmora::cli::sections
