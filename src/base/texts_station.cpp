// Notes after a success, and the station's texts: its refusals and notes, its
// log's troubles, and the slots' states and endings.
#include "base/texts_sections.h"

namespace velmora::text::sections {

namespace {

constexpr Entry kEntries[] = {
    // Notes after a job that succeeded (also shown as its last statuses).
    {"note.stopped_after_last_step",
     "Stopped after the last step: every partition and the boot block were written.",
     "在最后一步之后停止：所有分区和引导块都已写入。",
     "Stopped after the last step: every partition and the boot block were written."},
    {"note.read_incomplete", "{1} is incomplete: the read ended before the file was whole.",
     "{1} 不完整：读取在文件完成之前就结束了。",
     "{1} is incomplete: the read ended before the file was whole."},
    {"note.read_as_it_is", "Block {1} is bad and has no replacement; it was read as it is.",
     "块 {1} 是坏块且没有替换块；已按原样读取。",
     "Block {1} is bad and has no replacement; it was read as it is."},
    {"note.reads_disagree",
     "Block {1} read three times gave three different values of its byte {2}: no two reads agree.",
     "块 {1} 读取三次，其第 {2} 字节得到三个不同的值：没有两次读取一致。",
     "Block {1} read three times gave three different values of its byte {2}: no two reads agree."},
    {"note.third_read_settled",
     "Block {1} read differently twice; a third read settled it byte by byte.",
     "块 {1} 两次读取结果不同；第三次读取逐字节裁定了结果。",
     "Block {1} read differently twice; a third read settled it byte by byte."},
    {"note.reservoir_not_restored",
     "The reservoir was not restored: the phone's bad-block record differs from the backup's.",
     "备用区没有恢复：手机的坏块记录与备份中的不同。",
     "The reservoir was not restored: the phone's bad-block record differs from the backup's."},
    {"note.bad_then_and_now", "Block {1} was bad at the backup and still is; it was left as it is.",
     "块 {1} 在备份时就是坏块，现在仍是；已保持原样。",
     "Block {1} was bad at the backup and still is; it was left as it is."},
    // The station: its refusals, its notes, its slots and their endings.
    {"station.running", "The station is already running.", "工作站已在运行。",
     "The station is already running."},
    {"station.no_port", "A station needs at least one port (--port, once per slot).",
     "工作站至少需要一个端口（--port，每个槽位一个）。",
     "A station needs at least one port (--port, once per slot)."},
    {"station.display_per_slot", "A station needs one display per slot.",
     "工作站的每个槽位需要一个显示。", "A station needs one display per slot."},
    {"station.upgrades_only", "A station runs code upgrades only.", "工作站只运行代码升级。",
     "A station runs code upgrades only."},
    {"station.no_debug",
     "A station runs without debug mode: every slot would write the same dl_log.txt and "
     "bbm_rcb.bin. Debug one phone with a single job (velmora-cli --debug upgrade --port PORT).",
     "工作站不以调试模式运行：每个槽位都会写同一个 dl_log.txt 和 "
     "bbm_rcb.bin。请用单个作业调试一部手机（velmora-cli --debug upgrade --port 端口）。",
     "A station runs without debug mode: every slot would write the same dl_log.txt and "
     "bbm_rcb.bin. Debug one phone with a single job (velmora-cli --debug upgrade --port PORT)."},
    {"station.port_twice", "The port {1} is given twice; each slot needs its own.",
     "端口 {1} 被指定了两次；每个槽位需要自己的端口。",
     "The port {1} is given twice; each slot needs its own."},
    {"station.ports_one_device",
     "The ports {1} (slot {2}) and {3} (slot {4}) are one device; each slot needs its own.",
     "端口 {1}（槽位 {2}）和 {3}（槽位 {4}）是同一个设备；每个槽位需要自己的端口。",
     "The ports {1} (slot {2}) and {3} (slot {4}) are one device; each slot needs its own."},
    {"station.usb_slot_path",
     "Slot {1} ({2}): a USB slot is named by its bus path (path=BUS-PORT[.PORT...], as "
     "`velmora-cli ports` lists it).",
     "槽位 {1}（{2}）：USB 槽位需用总线路径指定（path=总线-端口[.端口...]，即 `velmora-cli ports` "
     "列出的形式）。",
     "Slot {1} ({2}): a USB slot is named by its bus path (path=BUS-PORT[.PORT...], as "
     "`velmora-cli ports` lists it)."},
    {"station.slot_port", "Slot {1} ({2}): {3}", "槽位 {1}（{2}）：{3}", "Slot {1} ({2}): {3}"},
    {"station.slot", "Slot {1}: {2}", "槽位 {1}：{2}", "Slot {1}: {2}"},
    {"station.rows_merged",
     "{1} row(s) that an earlier station could not write were added to the station log from {2}.",
     "先前的工作站未能写入的 {1} 行已从 {2} 添加到工作站日志中。",
     "{1} row(s) that an earlier station could not write were added to the station log from {2}."},
    {"station.rows_waiting",
     "{1} row(s) of an earlier station still wait in {2}: the station log cannot take them ({3}).",
     "先前工作站的 {1} 行仍在 {2} 中等待：工作站日志无法接收它们（{3}）。",
     "{1} row(s) of an earlier station still wait in {2}: the station log cannot take them ({3})."},
    {"station.lines_not_rows", "{1} holds {2} line(s) that are not a row; they are kept there.",
     "{1} 中有 {2} 行不是日志行；它们被保留在那里。",
     "{1} holds {2} line(s) that are not a row; they are kept there."},
    {"station.log_unwritable",
     "The station log {1} cannot be written ({2}): each phone's row will wait in {3}.",
     "工作站日志 {1} 无法写入（{2}）：每部手机的日志行将在 {3} 中等待。",
     "The station log {1} cannot be written ({2}): each phone's row will wait in {3}."},
    {"station.log_cannot_open", "Cannot open the station log {1}: {2}",
     "无法打开工作站日志 {1}：{2}", "Cannot open the station log {1}: {2}"},
    {"station.log_cannot_use", "Cannot use the station log {1}: {2}", "无法使用工作站日志 {1}：{2}",
     "Cannot use the station log {1}: {2}"},
    {"station.log_cannot_read", "Cannot read the station log {1}: {2}",
     "无法读取工作站日志 {1}：{2}", "Cannot read the station log {1}: {2}"},
    {"station.log_newer",
     "a newer velmora wrote it (format {1}; this one knows formats up to {2}). Use that velmora "
     "with this log, or give this one another log.",
     "它是由较新的 velmora 写入的（格式 {1}；本程序只认识到格式 {2}）。请用那个 velmora "
     "处理此日志，或为本程序另指定一个日志。",
     "a newer velmora wrote it (format {1}; this one knows formats up to {2}). Use that velmora "
     "with this log, or give this one another log."},
    {"station.row_waits", "not in the station log ({1}); the row waits in {2}",
     "未写入工作站日志（{1}）；该行在 {2} 中等待",
     "not in the station log ({1}); the row waits in {2}"},
    {"station.row_lost",
     "not in the station log ({1}), and {2} cannot be written ({3}): the row is lost",
     "未写入工作站日志（{1}），且 {2} 无法写入（{3}）：该行已丢失",
     "not in the station log ({1}), and {2} cannot be written ({3}): the row is lost"},
    {"station.file_unreadable", "{1} cannot be read: {2}", "{1} 无法读取：{2}",
     "{1} cannot be read: {2}"},
    {"station.log_not_open", "the station log is not open", "工作站日志未打开",
     "the station log is not open"},
    {"station.not_regular_file", "not a regular file", "不是普通文件", "not a regular file"},
    {"station.file_replaced", "the file keeps being replaced", "该文件不断被替换",
     "the file keeps being replaced"},
    {"station.out_of_memory", "out of memory", "内存不足", "out of memory"},
    {"station.log_format", "it cannot be brought up to this version's format: {1}",
     "无法将其升级到本版本的格式：{1}", "it cannot be brought up to this version's format: {1}"},
    {"station.log_read_only", "the file is read-only", "该文件是只读的", "the file is read-only"},
    {"settings.save_failed", "Could not save Ini file!", "无法保存 Ini 文件！",
     "Could not save Ini file!"},
    {"health.no_table", "Block 0 holds no partition table.", "块 0 中没有分区表。",
     "Block 0 holds no partition table."},
    {"health.unreadable", "The health report cannot be read.", "无法读取健康报告。",
     "The health report cannot be read."},
    // The phases of a job and the states of its blocks, as progress lines and summaries name them.
    {"phase.connect", "connect", "连接", "connect"},
    {"phase.write", "write", "写入", "write"},
    {"phase.boot_block", "boot block", "引导块", "boot block"},
    {"phase.read", "read", "读取", "read"},
    {"phase.erase_range", "erase range", "擦除范围", "erase range"},
    {"block.erased", "erased", "已擦除", "erased"},
    {"block.programmed", "programmed", "已编程", "programmed"},
    {"block.bad", "bad", "坏块", "bad"},
    {"block.replaced", "replaced", "已替换", "replaced"},
    {"block.skipped", "skipped", "已跳过", "skipped"},
    {"block.erase_failed", "erase failed", "擦除失败", "erase failed"},
    {"slot.idle", "idle", "空闲", "idle"},
    {"slot.running", "running", "运行中", "running"},
    {"slot.waiting", "waiting", "等待中", "waiting"},
    {"slot.passed", "passed", "通过", "passed"},
    {"slot.failed", "failed", "失败", "failed"},
    {"slot.stopped", "stopped", "已停止", "stopped"},
};

}  // namespace

std::span<const Entry> Station() {
    return kEntries;
}

}  // namespace velmora::text::sections
