// The statuses and errors a job shows while it runs and when it ends. The
// Chinese texts of the phone's tools are the sources, exactly as dl_log.txt
// keeps them ("FLash" included).
#include "base/texts_sections.h"

namespace velmora::text::sections {

namespace {

constexpr Entry kStatus[] = {
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
    {"status.backing_up", "Backing up to {1}...", "正在备份到 {1} ...", "Backing up to {1}..."},
    {"status.verifying", "Verifying {1} written blocks...", "正在校验写入的 {1} 个块...",
     "Verifying {1} written blocks..."},
    {"status.health", "NAND health...", "正在检查 NAND 健康...", "NAND health..."},
    {"status.phone_asks_wait", "The phone asks to wait: {1} s...", "手机要求等待：{1} 秒...",
     "The phone asks to wait: {1} s..."},
    {"unit.seconds", "{1}秒", "{1}秒", "{1} s"},
    {"status.catalogue_version", "配置文件：{1}", "配置文件：{1}", "Catalogue: {1}"},
};

}  // namespace

std::span<const Entry> Status() {
    return kStatus;
}

}  // namespace velmora::text::sections
