// The statuses a job shows while it runs: the Chinese texts of the phone's tools
// are the sources, exactly as dl_log.txt keeps them ("FLash" included), and so
// are the English ones of its logs ("aprameter", "MangrBlk").
#include "base/texts_sections.h"

namespace velmora::text::sections {

namespace {

constexpr Entry kEntries[] = {
    // The job sequences' statuses, with the phone tools' Chinese texts.
    {"status.switch_on_phone", "请打开手机！", "请打开手机！", "Switch on the phone!"},
    {"status.code_upgrade", "代码升级！", "代码升级！", "Code upgrade!"},
    {"status.reading_flash", "读取FLASH数据！", "读取FLASH数据！", "Reading flash data!"},
    {"status.reading_eerom", "读取EEROM数据！", "读取EEROM数据！", "Reading EEROM data!"},
    {"error.open_port", "打开串口失败！", "打开串口失败！", "Cannot open the serial port!"},
    {"error.connect_phone", "连接手机失败！", "连接手机失败！", "Cannot connect to the phone!"},
    {"error.bootloader", "BootLoader启动失败!", "BootLoader启动失败!",
     "The boot loader did not start!"},
    {"error.nand_id", "读NAND FLash ID错误！", "读NAND FLash ID错误！",
     "Cannot read the NAND flash ID!"},
    {"error.unknown_chip", "未知芯片类型！", "未知芯片类型！", "Unknown chip type!"},
    {"error.wrong_chip", "芯片类型错误！", "芯片类型错误！", "Wrong chip type!"},
    {"error.parameters", "参数定义错误！", "参数定义错误！", "Invalid parameters!"},
    {"error.create_folder", "创建目录失败！", "创建目录失败！", "Cannot create the folder!"},
    {"error.no_ptt", "请选择PTT文件！", "请选择PTT文件！", "Choose a PTT file!"},
    {"error.parse_ptt", "解析PTT文件错误！", "解析PTT文件错误！", "Cannot parse the PTT file!"},
    {"error.open_ptt", "不能打开PTT文件，请确认该文件是否存在！",
     "不能打开PTT文件，请确认该文件是否存在！", "Cannot open the PTT file. Check that it exists!"},
    {"status.baud_115200", "改变波特率到115200！", "改变波特率到115200！",
     "Changing the baud rate to 115200!"},
    {"status.baud_460800", "改变波特率到460800!", "改变波特率到460800!",
     "Changing the baud rate to 460800!"},
    {"status.baud_921600", "改变波特率到921600!", "改变波特率到921600!",
     "Changing the baud rate to 921600!"},
    {"error.baud_115200", "改变波特率到115200失败！", "改变波特率到115200失败！",
     "Cannot change the baud rate to 115200!"},
    {"error.baud_460800", "改变波特率到460800失败！", "改变波特率到460800失败！",
     "Cannot change the baud rate to 460800!"},
    {"error.baud_921600", "改变波特率到921600失败！", "改变波特率到921600失败！",
     "Cannot change the baud rate to 921600!"},
    {"caption.error", "错误", "错误", "Error"},
    {"status.done", "完成", "完成", "Done"},
    {"status.catalogue_version_date", "配置文件：{1}(V{2})", "配置文件：{1}(V{2})",
     "Catalogue: {1} (V{2})"},
    {"status.catalogue_version", "配置文件：{1}", "配置文件：{1}", "Catalogue: {1}"},
    {"notice.read_file", "读取代码文件存储为: {1}", "读取代码文件存储为: {1}",
     "The code read is stored as: {1}"},
    {"error.open_file", "不能打开文件: {1}", "不能打开文件: {1}", "Cannot open the file: {1}"},
    // The English statuses of the phone's tools and logs, kept as they are.
    {"status.open_port_failed", "Open COMPort Fail", "打开串口失败", "Open COMPort Fail"},
    {"status.get_flash_information", "Get Flash information!", "获取闪存信息！",
     "Get Flash information!"},
    {"status.get_flash_ibt", "Get Flash IBT!", "获取闪存坏块表（IBT）！", "Get Flash IBT!"},
    {"status.get_management_block", "Get MangrBlk!", "获取坏块管理记录！", "Get MangrBlk!"},
    {"status.erase_flash", "ERASE FLASH!", "擦除闪存！", "ERASE FLASH!"},
    {"status.erasing_blocks", "Erase nand flash blocks... ...", "正在擦除 NAND 闪存块……",
     "Erase nand flash blocks... ..."},
    {"status.writing_partition", "Write partition_#{1}...", "正在写入分区 #{1}...",
     "Write partition_#{1}..."},
    {"status.writing_boot", "Write nand_boot file...", "正在写入引导文件 nand_boot...",
     "Write nand_boot file..."},
    {"status.reading_parameters", "Get nand flash aprameter...", "正在获取 NAND 闪存参数...",
     "Get nand flash aprameter..."},
    {"status.reading_boot", "Read NAND_BOOT...", "正在读取 NAND_BOOT...", "Read NAND_BOOT..."},
    {"status.reading_partition", "Read partition_#{1}...", "正在读取分区 #{1}...",
     "Read partition_#{1}..."},
    {"status.usb_read_error", "USB device read error", "USB 设备读取错误", "USB device read error"},
    {"status.searching_dfu", "Searching DFU device...", "正在搜索 DFU 设备...",
     "Searching DFU device..."},
    {"status.target_information", "get target information...", "正在获取目标信息...",
     "get target information..."},
    {"status.sending_loader", "send ram loader...", "正在发送 RAM 加载程序...",
     "send ram loader..."},
    {"status.searching_dlv", "search usb dlv device...", "正在搜索 USB 下载设备...",
     "search usb dlv device..."},
    // The statuses of the safety net and of the waits.
    {"status.backing_up", "Backing up to {1}...", "正在备份到 {1} ...", "Backing up to {1}..."},
    {"status.restoring", "Restoring from {1}...", "正在从 {1} 恢复...", "Restoring from {1}..."},
    {"status.verifying", "Verifying {1} written blocks...", "正在校验写入的 {1} 个块...",
     "Verifying {1} written blocks..."},
    {"status.health", "NAND health...", "正在检查 NAND 健康状况...", "NAND health..."},
    {"status.phone_asks_wait", "The phone asks to wait: {1} s...", "手机要求等待：{1} 秒...",
     "The phone asks to wait: {1} s..."},
    {"status.waiting_for_phone_limit",
     "Waiting for the phone on {1} ({2} s of {3} s): switch it on in download mode",
     "正在 {1} 上等待手机（已等 {2} 秒，最多 {3} 秒）：请以下载模式打开手机",
     "Waiting for the phone on {1} ({2} s of {3} s): switch it on in download mode"},
    {"status.waiting_for_phone",
     "Waiting for the phone on {1} ({2} s): switch it on in download mode",
     "正在 {1} 上等待手机（已等 {2} 秒）：请以下载模式打开手机",
     "Waiting for the phone on {1} ({2} s): switch it on in download mode"},
    {"status.passing_over_device",
     "Passing over {1}: it was on the bus before Start. Replug the phone, or name it (path={2}).",
     "跳过 {1}：它在开始之前就已在总线上。请重新插拔手机，或指定它（path={2}）。",
     "Passing over {1}: it was on the bus before Start. Replug the phone, or name it (path={2})."},
    {"status.stopped_during", "Stopped during the {1}.", "在{1}期间已停止。",
     "Stopped during the {1}."},
    {"status.no_phone", "no phone within {1} s on {2}", "{1} 秒内在 {2} 上没有等到手机",
     "no phone within {1} s on {2}"},
    {"next.no_phone",
     "Check that the phone is switched on in download mode, the cable, and that the port is the "
     "phone's; a longer --timeout gives more time.",
     "请确认手机已以下载模式开机、数据线连接正常，且该端口确实属于这部手机；加长 --timeout "
     "可以等待更久。",
     "Check that the phone is switched on in download mode, the cable, and that the port is the "
     "phone's; a longer --timeout gives more time."},
};

}  // namespace

std::span<const Entry> Status() {
    return kEntries;
}

}  // namespace velmora::text::sections
