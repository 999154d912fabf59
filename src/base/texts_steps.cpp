// The names of the steps a result is told in (StepName); ids "step." and the
// step's key (StepKey).
#include "base/texts_sections.h"

namespace velmora::text::sections {

namespace {

constexpr Entry kSteps[] = {
    {"step.chip-catalogue-check", "chip catalogue check", "芯片配置文件检查",
     "chip catalogue check"},
    {"step.partition-table", "partition table", "分区表", "partition table"},
    {"step.partition-table-entry", "partition table entry", "分区表条目", "partition table entry"},
    {"step.serial-port", "serial port", "串口", "serial port"},
    {"step.wait-for-the-phone", "wait for the phone", "等待手机", "wait for the phone"},
    {"step.boot-rom-handshake", "boot ROM handshake", "引导 ROM 握手", "boot ROM handshake"},
    {"step.ram-loader-transfer", "RAM loader transfer", "RAM 加载程序传输", "RAM loader transfer"},
    {"step.ram-loader-start-and-line-speed", "RAM loader start and line speed",
     "RAM 加载程序启动与线路速率", "RAM loader start and line speed"},
    {"step.usb-access", "USB access", "USB 访问", "USB access"},
    {"step.dfu-device-search", "DFU device search", "DFU 设备搜索", "DFU device search"},
    {"step.dfu-device-open", "DFU device open", "DFU 设备打开", "DFU device open"},
    {"step.boot-rom-over-dfu", "boot ROM over DFU", "经 DFU 的引导 ROM 通信", "boot ROM over DFU"},
    {"step.ram-loaders-usb-device", "RAM loader's USB device", "RAM 加载程序的 USB 设备",
     "RAM loader's USB device"},
    {"step.usb-bulk-transfer", "USB bulk transfer", "USB 批量传输", "USB bulk transfer"},
    {"step.nand-identification", "NAND identification", "NAND 识别", "NAND identification"},
    {"step.chip-catalogue-lookup", "chip catalogue lookup", "芯片配置文件查找",
     "chip catalogue lookup"},
    {"step.ibt-read", "IBT read", "IBT 读取", "IBT read"},
    {"step.nand-parameters", "NAND parameters", "NAND 参数设置", "NAND parameters"},
    {"step.management-record-read", "management record read", "管理记录读取",
     "management record read"},
    {"step.sdi-initialisation", "SDI initialisation", "SDI 初始化", "SDI initialisation"},
    {"step.code-upgrade", "code upgrade", "代码升级", "code upgrade"},
    {"step.management-record-build", "management record build", "管理记录建立",
     "management record build"},
    {"step.partition-erase", "partition erase", "分区擦除", "partition erase"},
    {"step.block-erase", "block erase", "块擦除", "block erase"},
    {"step.partition-write", "partition write", "分区写入", "partition write"},
    {"step.block-write", "block write", "块写入", "block write"},
    {"step.page-write", "page write", "页写入", "page write"},
    {"step.boot-block-write", "boot block write", "引导块写入", "boot block write"},
    {"step.read-back", "read-back", "回读", "read-back"},
    {"step.phones-partition-table", "phone's partition table", "手机分区表",
     "phone's partition table"},
    {"step.boot-area-read", "boot area read", "引导区读取", "boot area read"},
    {"step.partition-read", "partition read", "分区读取", "partition read"},
    {"step.block-read", "block read", "块读取", "block read"},
    {"step.page-read", "page read", "页读取", "page read"},
    {"step.erase", "erase", "擦除", "erase"},
    {"step.backup", "backup", "备份", "backup"},
    {"step.verify", "verify", "校验", "verify"},
    {"step.restore", "restore", "恢复", "restore"},
    {"step.health-report", "health report", "健康报告", "health report"},
    {"step.unknown-step", "unknown step", "未知步骤", "unknown step"},
};

}  // namespace

std::span<const Entry> Steps() {
    return kSteps;
}

}  // namespace velmora::text::sections
