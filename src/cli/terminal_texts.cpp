// The terminal display's own texts: the progress line, the closing line, the
// block summary and what a stopped job leaves on the phone.
#include "cli/terminal_view.h"

namespace velmora::cli {
namespace {

constexpr text::Entry kTerminal[] = {
    {"term.phase.connect", "", "连接", "connect"},
    {"term.phase.erase", "", "擦除", "erase"},
    {"term.phase.write", "", "写入", "write"},
    {"term.phase.boot_block", "", "引导块", "boot block"},
    {"term.phase.read", "", "读取", "read"},
    {"term.phase.erase_range", "", "擦除范围", "erase range"},
    {"term.phase.backup", "", "备份", "backup"},
    {"term.phase.verify", "", "校验", "verify"},

    {"term.count.bytes", "", "{1} / {2}", "{1} of {2}"},
    {"term.count.blocks", "", "{1}/{2} 块", "{1}/{2} blocks"},
    {"term.rate.bytes", "", "{1}/秒", "{1}/s"},
    {"term.rate.blocks", "", "{1} 块/秒", "{1} blocks/s"},
    {"term.left", "", "剩余 {1}", "{1} left"},
    {"term.seconds", "", "{1} 秒", "{1} s"},
    {"term.minutes", "", "{1} 分 {2} 秒", "{1} min {2} s"},
    {"term.list", "", "，", ", "},
    {"term.clauses", "", "；", "; "},
    {"term.sentences", "", "{1}。{2}", "{1}. {2}"},

    {"term.line.phase", "", "阶段：{1}", "phase: {1}"},
    {"term.line.progress", "", "进度：{1}", "progress: {1}"},

    {"term.summary.blocks", "", "块：{1}", "blocks: {1}"},
    {"term.summary.none", "", "均未触及", "none touched"},
    {"term.summary.item", "", "{1} {2}", "{1} {2}"},
    {"term.summary.failed", "", "失败的块：{1}", "failed blocks: {1}"},
    {"term.summary.ng", "", "NG 块：{1}", "NG blocks: {1}"},
    {"term.summary.interrupted", "", "被停止打断的块：{1}", "interrupted block: {1}"},
    {"term.state.erased", "", "已擦除", "erased"},
    {"term.state.programmed", "", "已编程", "programmed"},
    {"term.state.read", "", "已读取", "read"},
    {"term.state.failed", "", "失败", "failed"},
    {"term.state.interrupted", "", "被打断", "interrupted"},

    {"term.close.wrote", "", "写入 {1}", "Wrote {1}"},
    {"term.close.read", "", "读取 {1}", "Read {1}"},
    {"term.close.erased_one", "", "擦除 {1} 块", "Erased {1} block"},
    {"term.close.erased_many", "", "擦除 {1} 块", "Erased {1} blocks"},
    {"term.close.backup", "", "备份 {1}", "Backed up {1}"},
    {"term.close.backed_up", "", "备份 {1}", "backed up {1}"},
    {"term.close.verified", "", "校验 {1}", "verified {1}"},
    {"term.close.in", "", "{1}，用时 {2}", "{1} in {2}"},
    {"term.close.figures", "", "{1}（{2}）", "{1} ({2})"},
    {"term.close.of_line", "", "线路速率的 {1}", "{1} of the line"},

    {"term.stop.phone", "", "手机现状：{1}", "phone: {1}"},
    {"term.stop.next", "", "下一步：{1}", "next: {1}"},
    {"term.stop.unchanged", "", "未做任何改动", "nothing on it was changed"},
    {"term.stop.boot_kept", "", "保留原引导块", "old boot block kept"},
    {"term.stop.boot_written", "", "新引导块已写入", "new boot block written"},
    {"term.stop.boot_erased", "", "块 0 已擦除，手机无法启动", "block 0 erased: it will not start"},
    {"term.stop.all_written", "", "所有分区和新引导块均已写入，回读校验未完成",
     "every partition and the new boot block written; the read-back did not finish"},
    {"term.stop.written_one", "", "分区 {1} 已写入", "partition {1} written"},
    {"term.stop.written_many", "", "分区 {1} 已写入", "partitions {1} written"},
    {"term.stop.partly_written_one", "", "分区 {1} 只写入了一部分", "partition {1} partly written"},
    {"term.stop.partly_written_many", "", "分区 {1} 只写入了一部分",
     "partitions {1} partly written"},
    {"term.stop.erased_one", "", "分区 {1} 已擦除", "partition {1} erased"},
    {"term.stop.erased_many", "", "分区 {1} 已擦除", "partitions {1} erased"},
    {"term.stop.partly_erased_one", "", "分区 {1} 部分擦除", "partition {1} partly erased"},
    {"term.stop.partly_erased_many", "", "分区 {1} 部分擦除", "partitions {1} partly erased"},
    {"term.stop.blocks_erased_one", "", "块 {1} 已擦除", "block {1} erased"},
    {"term.stop.blocks_erased_many", "", "块 {1} 已擦除", "blocks {1} erased"},
    {"term.stop.restored_one", "", "块 {1} 已写回", "block {1} written back"},
    {"term.stop.restored_many", "", "块 {1} 已写回", "blocks {1} written back"},

    {"term.next.upgrade_again", "", "关机之前请重新升级：升级完成之前手机无法启动",
     "run the upgrade again before switching the phone off: until it completes, the phone "
     "cannot start"},
    {"term.next.upgrade_whole", "", "无需重做：升级已完整，只是回读校验被打断",
     "nothing to redo: the upgrade is whole, only its read-back was cut short"},
    {"term.next.erase_again", "", "再擦除一次，擦完其余的块",
     "run the erase again to erase the rest"},
    {"term.next.restore_again", "", "关机之前请重新恢复",
     "run the restore again before switching the phone off"},
    {"term.next.read_again", "", "读出的文件不完整：请重新读取",
     "the files read are incomplete: run the read again"},
    {"term.next.backup_again", "", "备份不完整：请重新备份到一个空文件夹",
     "the backup is incomplete: run it again into an empty folder"},
    {"term.next.unchanged", "", "手机可以关机；准备好后再运行一次",
     "the phone may be switched off; run the job again when ready"},
    {"term.next.backup_kept", "", "手机原有的内容保存在备份 {1} 中。",
     "The backup in {1} keeps what the phone held before."},
};

}  // namespace

std::span<const text::Entry> TerminalTexts() {
    return kTerminal;
}

}  // namespace velmora::cli
