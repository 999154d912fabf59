// The texts a failing step leaves for the job's end: the error texts of the
// phone's tools and logs, kept as they are ("fial", "unmacth", "Rang"), and the
// program's own. A longer source comes before a shorter one it begins with.
#include "base/texts_sections.h"

namespace velmora::text::sections {

namespace {

constexpr Entry kEntries[] = {
    // The serial boot stage.
    {"error.open_port_reason", "打开串口失败！ {1}. {2}", "打开串口失败！ {1}。{2}",
     "Cannot open the serial port! {1}. {2}"},
    {"error.loader_not_loaded",
     "The RAM loader image could not be loaded (#{1}): nothing was sent to the phone.",
     "无法载入 RAM 加载程序镜像（#{1}）：没有向手机发送任何内容。",
     "The RAM loader image could not be loaded (#{1}): nothing was sent to the phone."},
    {"error.loader_empty_builtin",
     "The RAM loader built into the program is empty or not a whole number of 32-bit words.",
     "程序自带的 RAM 加载程序为空，或其长度不是 32 位字的整数倍。",
     "The RAM loader built into the program is empty or not a whole number of 32-bit words."},
    {"error.loader_empty", "The RAM loader {1} is empty or not a whole number of 32-bit words.",
     "RAM 加载程序 {1} 为空，或其长度不是 32 位字的整数倍。",
     "The RAM loader {1} is empty or not a whole number of 32-bit words."},
    {"error.loader_handshake_before", "{1} Before that, the handshake failed: {2} (#{3}).",
     "{1} 在此之前握手已失败：{2}（#{3}）。", "{1} Before that, the handshake failed: {2} (#{3})."},
    {"error.handshake_timeout", "the boot ROM did not acknowledge its time-out ('T')",
     "引导 ROM 没有确认其超时命令（'T'）", "the boot ROM did not acknowledge its time-out ('T')"},
    {"error.handshake_product_id", "the boot ROM sent no product ID ('P')",
     "引导 ROM 没有发送产品 ID（'P'）", "the boot ROM sent no product ID ('P')"},
    {"error.handshake_later", "a step after the product ID got no answer from the boot ROM",
     "产品 ID 之后的某一步没有得到引导 ROM 的应答",
     "a step after the product ID got no answer from the boot ROM"},
    {"error.loader_no_address_ack",
     "The boot ROM did not acknowledge the RAM loader's load address ('S'): nothing of the loader "
     "was sent.",
     "引导 ROM 没有确认 RAM 加载程序的加载地址（'S'）：加载程序一点也没有发送。",
     "The boot ROM did not acknowledge the RAM loader's load address ('S'): nothing of the loader "
     "was sent."},
    {"error.loader_no_part_ack",
     "The boot ROM did not acknowledge part {1} of {2} of the RAM loader ('L'): the loader was not "
     "sent whole.",
     "引导 ROM 没有确认 RAM 加载程序 {2} 段中的第 {1} 段（'L'）：加载程序没有完整发送。",
     "The boot ROM did not acknowledge part {1} of {2} of the RAM loader ('L'): the loader was not "
     "sent whole."},
    {"error.loader_no_start_ack",
     "The RAM loader was sent, but the boot ROM did not acknowledge its start address ('S'), so it "
     "was not started.",
     "RAM 加载程序已发送，但引导 ROM 没有确认其起始地址（'S'），因此没有启动它。",
     "The RAM loader was sent, but the boot ROM did not acknowledge its start address ('S'), so it "
     "was not started."},
    // Identification and the chip catalogue.
    {"error.catalogue_unreadable", "Cannot read the chip catalogue {1}", "无法读取芯片配置文件 {1}",
     "Cannot read the chip catalogue {1}"},
    {"error.catalogue_entry_unservable",
     "参数定义错误！ The catalogue entry [{1}] in {2} cannot be served: {3}.",
     "参数定义错误！ 配置文件 {2} 中的条目 [{1}] 无法使用：{3}。",
     "Invalid parameters! The catalogue entry [{1}] in {2} cannot be served: {3}."},
    {"reason.catalogue_entry_unservable", "the catalogue entry [{1}] in {2} cannot be served: {3}",
     "配置文件 {2} 中的条目 [{1}] 无法使用：{3}",
     "the catalogue entry [{1}] in {2} cannot be served: {3}"},
    {"next.catalogue_page_size",
     "Correct {1} of [{2}] from the chip's data sheet (a page's main bytes only, 512 or 2048: a "
     "page of 528 bytes is 512 with SPARE_SIZE=16). The catalogue's other chips are served as they "
     "are.",
     "请根据芯片数据手册更正 [{2}] 的 {1}（只计页的主数据字节，512 或 2048：528 字节的页应写作 "
     "512，并写 SPARE_SIZE=16）。配置文件中的其他芯片不受影响。",
     "Correct {1} of [{2}] from the chip's data sheet (a page's main bytes only, 512 or 2048: a "
     "page of 528 bytes is 512 with SPARE_SIZE=16). The catalogue's other chips are served as they "
     "are."},
    {"next.catalogue_key",
     "Correct {1} of [{2}] from the chip's data sheet. The catalogue's other chips are served as "
     "they are.",
     "请根据芯片数据手册更正 [{2}] 的 {1}。配置文件中的其他芯片不受影响。",
     "Correct {1} of [{2}] from the chip's data sheet. The catalogue's other chips are served as "
     "they are."},
    {"problem.kib_out_of_range", "{1}={2} KiB is out of range ({3} to {4} KiB)",
     "{1}={2} KiB 超出范围（{3} 到 {4} KiB）", "{1}={2} KiB is out of range ({3} to {4} KiB)"},
    {"problem.out_of_range", "{1}={2} is out of range ({3} to {4})",
     "{1}={2} 超出范围（{3} 到 {4}）", "{1}={2} is out of range ({3} to {4})"},
    {"problem.chip_too_large", "BLOCK_NUM={1} blocks of BLOCK_SIZE={2} KiB make more than 2 GiB",
     "BLOCK_NUM={1} 个 BLOCK_SIZE={2} KiB 的块超过了 2 GiB",
     "BLOCK_NUM={1} blocks of BLOCK_SIZE={2} KiB make more than 2 GiB"},
    {"problem.page_size", "PAGE_SIZE={1} is not a non-zero multiple of 512",
     "PAGE_SIZE={1} 不是 512 的非零整数倍", "PAGE_SIZE={1} is not a non-zero multiple of 512"},
    {"problem.block_size",
     "BLOCK_SIZE={1} KiB is not a non-zero multiple of 16 KiB and of PAGE_SIZE={2}",
     "BLOCK_SIZE={1} KiB 不是 16 KiB 和 PAGE_SIZE={2} 的非零整数倍",
     "BLOCK_SIZE={1} KiB is not a non-zero multiple of 16 KiB and of PAGE_SIZE={2}"},
    {"problem.lacks_keys", "lacks {1}", "缺少 {1}", "lacks {1}"},
    // The RAM loader's answers.
    {"error.ibt_no_response", "Wait for ibt command response fail!", "等待 IBT 命令应答失败！",
     "Wait for ibt command response fail!"},
    {"error.ibt_bad_response", "Get IBT fail, {1}, {2}", "获取 IBT 失败，{1}，{2}",
     "Get IBT fail, {1}, {2}"},
    {"error.ibt_no_data", "Wait for ibt fail!", "等待 IBT 数据失败！", "Wait for ibt fail!"},
    {"error.parameters_serial", "Set Nanf Flash Parameter fail!", "设置 NAND 闪存参数失败！",
     "Set Nanf Flash Parameter fail!"},
    {"error.parameters_usb", "Set Nand Flash Parameter fail!", "设置 NAND 闪存参数失败！",
     "Set Nand Flash Parameter fail!"},
    {"error.record_read", "Get MangrBlk Fail, #{1}!", "获取坏块管理记录失败，#{1}！",
     "Get MangrBlk Fail, #{1}!"},
    {"error.sdi_send", "USB send Init_sdi command fail!", "USB 发送 Init_sdi 命令失败！",
     "USB send Init_sdi command fail!"},
    {"error.sdi_no_response", "Wait for SDI init command response fail!",
     "等待 SDI 初始化命令应答失败！", "Wait for SDI init command response fail!"},
    {"error.sdi_bad_header", "SDI init return command fail, cmd.header = 0x{1}",
     "SDI 初始化返回命令失败，cmd.header = 0x{1}",
     "SDI init return command fail, cmd.header = 0x{1}"},
    {"error.sdi_word",
     "The answer to SDI init carries 0x{1} in its word at offset {2} where the RAM loader puts "
     "0x{3}: it was damaged on the way, or the phone runs another loader",
     "SDI 初始化的应答在偏移 {2} 处的字为 0x{1}，而 RAM 加载程序在此处放的是 "
     "0x{3}：应答在传输中损坏，或手机运行的是另一个加载程序",
     "The answer to SDI init carries 0x{1} in its word at offset {2} where the RAM loader puts "
     "0x{3}: it was damaged on the way, or the phone runs another loader"},
    {"error.usb_read_id", "read usb dlv error, #{1}", "读取 USB 下载设备出错，#{1}",
     "read usb dlv error, #{1}"},
    {"error.read_flash_parameter", "Read flash parameter error #{1}", "读取闪存参数出错 #{1}",
     "Read flash parameter error #{1}"},
    {"error.erase_range", "Erase Rang error #{1}", "擦除范围错误 #{1}", "Erase Rang error #{1}"},
    // Erases and the bad-block record.
    {"error.erase_block_replacement",
     "Erase block{1} fail, #{2} (reservoir block #{3}, its replacement)",
     "擦除块{1}失败，#{2}（失败的是其替换块：备用块 #{3}）",
     "Erase block{1} fail, #{2} (reservoir block #{3}, its replacement)"},
    {"error.erase_block", "Erase block{1} fail, #{2}", "擦除块{1}失败，#{2}",
     "Erase block{1} fail, #{2}"},
    {"error.erase_block_status", "Erase block{1} fail, 0x{2}", "擦除块{1}失败，0x{2}",
     "Erase block{1} fail, 0x{2}"},
    {"error.erase_block_serial", "Erase block{1} fail.", "擦除块{1}失败。", "Erase block{1} fail."},
    {"error.erase_range_one_step",
     "Erase of blocks {1} to {2} fail, #{3}: the phone erases them in one step and stopped on a "
     "failure, so any of them may have been erased.",
     "擦除块 {1} 到 {2} "
     "失败，#{3}：手机一次性擦除这些块，并在出错时停止，因此其中任何一块都可能已被擦除。",
     "Erase of blocks {1} to {2} fail, #{3}: the phone erases them in one step and stopped on a "
     "failure, so any of them may have been erased."},
    {"error.record_write_detail",
     "The bad-block management record could not be written to block {1}, #{2}: {3}",
     "坏块管理记录无法写入块 {1}，#{2}：{3}",
     "The bad-block management record could not be written to block {1}, #{2}: {3}"},
    {"error.record_write",
     "The bad-block management record could not be written to block {1}, #{2}",
     "坏块管理记录无法写入块 {1}，#{2}",
     "The bad-block management record could not be written to block {1}, #{2}"},
    {"error.chip_beyond_record",
     "The chip has {1} blocks, but the bad-block management record describes at most {2}: no "
     "record is built and nothing was written.",
     "芯片有 {1} 个块，但坏块管理记录最多只能描述 {2} 个：不建立记录，也没有写入任何内容。",
     "The chip has {1} blocks, but the bad-block management record describes at most {2}: no "
     "record is built and nothing was written."},
    {"error.reservoir_exhausted",
     "Too many bad blocks: no reservoir block is left to replace block {1}. Nothing was written.",
     "坏块过多：备用区中已没有可替换块 {1} 的块。没有写入任何内容。",
     "Too many bad blocks: no reservoir block is left to replace block {1}. Nothing was written."},
    {"error.no_record_block", "No good reservoir block is left for the management record.",
     "备用区中已没有可存放管理记录的好块。",
     "No good reservoir block is left for the management record."},
    {"error.no_record_copy_block",
     "No good reservoir block is left for the management record's copy.",
     "备用区中已没有可存放管理记录副本的好块。",
     "No good reservoir block is left for the management record's copy."},
    {"error.erase_partition_detail", "Erase partition {1} fail, #{2}: {3}",
     "擦除分区 {1} 失败，#{2}：{3}", "Erase partition {1} fail, #{2}: {3}"},
    {"error.erase_partition", "Erase partition {1} fail, #{2}", "擦除分区 {1} 失败，#{2}",
     "Erase partition {1} fail, #{2}"},
    // Writes.
    {"error.partition_write", "Write partition_#{1} fail, #{2}", "写入分区 #{1} 失败，#{2}",
     "Write partition_#{1} fail, #{2}"},
    {"error.boot_write", "Write boot nand fail, #{1}", "写入引导块失败，#{1}",
     "Write boot nand fail, #{1}"},
    {"error.write_status", "Write nb fial {1}, {2}", "写入失败，{1}，{2}",
     "Write nb fial {1}, {2}"},
    {"error.write_crc", "CRC32 Check Exp: 0x{1}, Act: 0x{2}",
     "CRC32 校验不符：应为 0x{1}，实为 0x{2}", "CRC32 Check Exp: 0x{1}, Act: 0x{2}"},
    {"error.small_page_write", "program(sp) block{1} fail.", "编程（小页）块{1}失败。",
     "program(sp) block{1} fail."},
    {"error.usb_write_data", "USB device write error(write_nf_multi_page), #{1}",
     "USB 设备写入错误（write_nf_multi_page），#{1}",
     "USB device write error(write_nf_multi_page), #{1}"},
    {"error.usb_rx_command", "usb rx command fail, error code #{1}!",
     "USB 接收命令失败，错误码 #{1}！", "usb rx command fail, error code #{1}!"},
    {"error.usb_rx_ecc", "usb rx ecc code fail, error code #{1}!",
     "USB 接收 ECC 校验码失败，错误码 #{1}！", "usb rx ecc code fail, error code #{1}!"},
    {"error.ecc_mismatch", "ECC code unmatch, wrong in program or data transfer!",
     "ECC 校验码不符，编程或数据传输出错！",
     "ECC code unmatch, wrong in program or data transfer!"},
    {"error.page_read_back", "Block {1} page {2} could not be read back to check it, #{3}",
     "块 {1} 第 {2} 页无法读回进行检查，#{3}",
     "Block {1} page {2} could not be read back to check it, #{3}"},
    {"error.page_differs", "Block {1} page {2} reads back different from what was written",
     "块 {1} 第 {2} 页读回的内容与写入的不同",
     "Block {1} page {2} reads back different from what was written"},
    {"error.boot_erase", "Erase block #0 fail, error code {1}.", "擦除块 #0 失败，错误码 {1}。",
     "Erase block #0 fail, error code {1}."},
    {"error.boot_write_block", "Write block #0 fail, error code {1}.",
     "写入块 #0 失败，错误码 {1}。", "Write block #0 fail, error code {1}."},
    {"error.boot_size", "BOOT_NAND file size unmacth, boot_nand file size: 0x{1}!",
     "BOOT_NAND 文件大小不符，boot_nand 文件大小：0x{1}！",
     "BOOT_NAND file size unmacth, boot_nand file size: 0x{1}!"},
    {"error.boot_version", "Bootnand Major Version not compatible Version :{1}",
     "引导镜像主版本不兼容，版本：{1}", "Bootnand Major Version not compatible Version :{1}"},
    {"error.boot_read", "Read FB from NAND fail :{1}", "从 NAND 读取首块失败：{1}",
     "Read FB from NAND fail :{1}"},
    {"note.boot_counter_reset", "FirstBlock counter = {1}", "首块计数器 = {1}",
     "FirstBlock counter = {1}"},
    {"note.boot_counter", "FirstBlock counter : {1}", "首块计数器：{1}",
     "FirstBlock counter : {1}"},
    // Two answers to one command, and what was asked.
    {"error.two_answers",
     "{1}: two answers came to one command. The phone answered late, after the command was sent "
     "again, and which answer belongs to which cannot be told, so neither is used.",
     "{1}"
     "：一条命令收到了两个应答。手机在命令重发之后才迟迟应答，无法分辨哪个应答属于哪次命令，因此两"
     "个都不采用。",
     "{1}: two answers came to one command. The phone answered late, after the command was sent "
     "again, and which answer belongs to which cannot be told, so neither is used."},
    {"what.read_id", "Read NAND ID", "读取 NAND ID", "Read NAND ID"},
    {"what.get_ibt", "Get IBT", "获取 IBT", "Get IBT"},
    {"what.set_parameters", "Set NAND parameters", "设置 NAND 参数", "Set NAND parameters"},
    {"what.read_record", "Read the management record", "读取管理记录",
     "Read the management record"},
    {"what.read_record_copy", "Read record copy in block {1}", "读取块 {1} 中的记录副本",
     "Read record copy in block {1}"},
    {"what.read_back_page", "Read back block #{1} page {2}", "回读块 #{1} 第 {2} 页",
     "Read back block #{1} page {2}"},
    {"what.read_page", "Read block #{1} page {2}", "读取块 #{1} 第 {2} 页",
     "Read block #{1} page {2}"},
    {"what.read_block", "Read block #{1}", "读取块 #{1}", "Read block #{1}"},
    {"what.erase_blocks", "Erase blocks #{1} to #{2}", "擦除块 #{1} 到 #{2}",
     "Erase blocks #{1} to #{2}"},
    {"what.erase_block", "Erase block #{1}", "擦除块 #{1}", "Erase block #{1}"},
    {"what.write_block", "Write block #{1}", "写入块 #{1}", "Write block #{1}"},
    // Reads.
    {"error.cannot_write", "Cannot write {1}: {2}", "无法写入 {1}：{2}", "Cannot write {1}: {2}"},
    {"error.cannot_write_plain", "Cannot write {1}", "无法写入 {1}", "Cannot write {1}"},
    {"error.block_read_detail", "Block {1} could not be read, #{2}: {3}",
     "块 {1} 无法读取，#{2}：{3}", "Block {1} could not be read, #{2}: {3}"},
    {"error.block_read", "Block {1} could not be read, #{2}", "块 {1} 无法读取，#{2}",
     "Block {1} could not be read, #{2}"},
    {"error.boot_area_read", "Read BOOT_NAND error #{1}", "读取 BOOT_NAND 出错 #{1}",
     "Read BOOT_NAND error #{1}"},
    {"error.partition_read_block_detail", "Read Partition{1} error #{2}, block {3}: {4}",
     "读取分区{1}出错 #{2}，块 {3}：{4}", "Read Partition{1} error #{2}, block {3}: {4}"},
    {"error.partition_read_block", "Read Partition{1} error #{2}, block {3}",
     "读取分区{1}出错 #{2}，块 {3}", "Read Partition{1} error #{2}, block {3}"},
    {"error.partition_read_detail", "Read Partition{1} error #{2}: {3}",
     "读取分区{1}出错 #{2}：{3}", "Read Partition{1} error #{2}: {3}"},
    {"error.partition_read", "Read Partition{1} error #{2}", "读取分区{1}出错 #{2}",
     "Read Partition{1} error #{2}"},
    {"error.reads_disagree",
     "Block {1} read three times gave three different values of its byte {2}: no two reads agree",
     "块 {1} 读取三次，其第 {2} 字节得到三个不同的值：没有两次读取一致",
     "Block {1} read three times gave three different values of its byte {2}: no two reads agree"},
    {"error.area_past_chip",
     "The area 0x{1} to 0x{2} starts beyond the chip, which holds {3} MiB (0x{4} bytes, blocks 0 "
     "to {5}). {6}",
     "区域 0x{1} 到 0x{2} 的起点超出了芯片范围，芯片容量为 {3} MiB（0x{4} 字节，块 0 到 {5}）。{6}",
     "The area 0x{1} to 0x{2} starts beyond the chip, which holds {3} MiB (0x{4} bytes, blocks 0 "
     "to {5}). {6}"},
    {"error.nothing_read", "Nothing was read.", "没有读取任何内容。", "Nothing was read."},
    {"error.nothing_erased", "Nothing was erased.", "没有擦除任何内容。", "Nothing was erased."},
    {"error.area_not_confirmed_asked",
     "The area 0x{1} to 0x{2} covers blocks {3} to {4}, which include {5}: the erase was not "
     "confirmed. Nothing was erased.",
     "区域 0x{1} 到 0x{2} 覆盖块 {3} 到 {4}，其中包括{5}：擦除未经确认。没有擦除任何内容。",
     "The area 0x{1} to 0x{2} covers blocks {3} to {4}, which include {5}: the erase was not "
     "confirmed. Nothing was erased."},
    {"error.area_not_confirmed",
     "The area 0x{1} to 0x{2} covers blocks {3} to {4}, which include {5}: erasing it needs "
     "confirmation (--yes). Nothing was erased.",
     "区域 0x{1} 到 0x{2} 覆盖块 {3} 到 "
     "{4}，其中包括{5}：擦除它需要确认（--yes）。没有擦除任何内容。",
     "The area 0x{1} to 0x{2} covers blocks {3} to {4}, which include {5}: erasing it needs "
     "confirmation (--yes). Nothing was erased."},
    {"what.boot_and_eerom",
     "block 0 (the boot block) and blocks {1} to {2} (the EEROM and reservoir)",
     "块 0（引导块）以及块 {1} 到 {2}（EEROM 和备用区）",
     "block 0 (the boot block) and blocks {1} to {2} (the EEROM and reservoir)"},
    {"what.boot_block", "block 0 (the boot block)", "块 0（引导块）", "block 0 (the boot block)"},
    {"what.eerom_blocks", "blocks {1} to {2} (the EEROM and reservoir)",
     "块 {1} 到 {2}（EEROM 和备用区）", "blocks {1} to {2} (the EEROM and reservoir)"},
    {"error.no_code_area",
     "The phone's partition table has no partition above offset 0: the code area is unknown, "
     "nothing was erased!",
     "手机的分区表中没有偏移量大于 0 的分区：代码区未知，没有擦除任何内容！",
     "The phone's partition table has no partition above offset 0: the code area is unknown, "
     "nothing was erased!"},
    // Verify.
    {"error.verify_read", "Verify: block {1} could not be read back, #{2}",
     "校验：块 {1} 无法读回，#{2}", "Verify: block {1} could not be read back, #{2}"},
    {"error.verify_blocks", "Verify failed: blocks {1} read back unlike what was written.",
     "校验失败：块 {1} 读回的内容与写入的不同。",
     "Verify failed: blocks {1} read back unlike what was written."},
    {"error.verify_block", "Verify failed: block {1} read back unlike what was written.",
     "校验失败：块 {1} 读回的内容与写入的不同。",
     "Verify failed: block {1} read back unlike what was written."},
};

}  // namespace

std::span<const Entry> Errors() {
    return kEntries;
}

}  // namespace velmora::text::sections
