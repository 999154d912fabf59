// The result table's meanings and next steps (ExplainResult), and the words it
// composes them with. The English is the table's own; a composed meaning or next
// step is found part by part through the joins of the last section.
#include "base/texts_sections.h"

namespace velmora::text::sections {

namespace {

constexpr Entry kResults[] = {
    {"meaning.chip-catalogue-check.not_readable",
     "FlashChip.ini, the chip catalogue, cannot be read", "芯片配置文件 FlashChip.ini 无法读取",
     "FlashChip.ini, the chip catalogue, cannot be read"},
    {"next.chip-catalogue-check.not_readable",
     "Put FlashChip.ini into the program's home folder (--home or VELMORA_HOME; else the program's "
     "own folder, or ~/.local/share/velmora, which an installed program fills on first start) and "
     "check that you may read it.",
     "请将 FlashChip.ini 放入程序的主目录（--home 或 VELMORA_HOME；否则为程序所在目录，或 "
     "~/.local/share/velmora，安装版程序首次启动时会填好该目录），并确认有读取权限。",
     "Put FlashChip.ini into the program's home folder (--home or VELMORA_HOME; else the program's "
     "own folder, or ~/.local/share/velmora, which an installed program fills on first start) and "
     "check that you may read it."},
    {"meaning.chip-catalogue-check.damaged",
     "FlashChip.ini is damaged: its [VERSION] section lacks DATE or VER",
     "FlashChip.ini 已损坏：其 [VERSION] 节缺少 DATE 或 VER",
     "FlashChip.ini is damaged: its [VERSION] section lacks DATE or VER"},
    {"next.chip-catalogue-check.damaged",
     "Add DATE and VER to [VERSION], or restore FlashChip.ini from the package the program came "
     "with.",
     "请在 [VERSION] 中补上 DATE 和 VER，或从程序的安装包中恢复 FlashChip.ini。",
     "Add DATE and VER to [VERSION], or restore FlashChip.ini from the package the program came "
     "with."},
    {"meaning.partition-table.no_count",
     "the partition table cannot be read or gives no number_of_partition, or a content file is "
     "larger than its partition (a message names it)",
     "分区表无法读取或未给出 number_of_partition，或某个内容文件大于其分区（另有消息指明）",
     "the partition table cannot be read or gives no number_of_partition, or a content file is "
     "larger than its partition (a message names it)"},
    {"next.partition-table.no_count",
     "Check that you chose the right .ptt file and may read it; a partition named as too large "
     "needs the image file that belongs to this table.",
     "请确认选择了正确的 .ptt 文件且有读取权限；被指出过大的分区需要与此分区表配套的镜像文件。",
     "Check that you chose the right .ptt file and may read it; a partition named as too large "
     "needs the image file that belongs to this table."},
    {"meaning.partition-table.too_many", "number_of_partition is above 16",
     "number_of_partition 大于 16", "number_of_partition is above 16"},
    {"next.partition-table.too_many",
     "Correct number_of_partition (0 to 16), or use the table that came with the firmware.",
     "请更正 number_of_partition（0 到 16），或使用固件附带的分区表。",
     "Correct number_of_partition (0 to 16), or use the table that came with the firmware."},
    {"meaning.partition-table.entry_failed",
     "a partition's entry is incomplete, or its content file cannot be read",
     "某个分区的条目不完整，或其内容文件无法读取",
     "a partition's entry is incomplete, or its content file cannot be read"},
    {"next.partition-table.entry_failed",
     "Mend the partition's section of the .ptt file, or put its content file into the table's "
     "folder.",
     "请修正 .ptt 文件中该分区的节，或将其内容文件放入分区表所在目录。",
     "Mend the partition's section of the .ptt file, or put its content file into the table's "
     "folder."},
    {"meaning.partition-table.no_boot_name", "the table names no boot image (BootNand is missing)",
     "分区表未指定引导镜像（缺少 BootNand）",
     "the table names no boot image (BootNand is missing)"},
    {"next.partition-table.no_boot_name",
     "Add BootNand=FILE to [partition_table_config_start], or use the table that came with the "
     "firmware.",
     "请在 [partition_table_config_start] 中加入 BootNand=文件名，或使用固件附带的分区表。",
     "Add BootNand=FILE to [partition_table_config_start], or use the table that came with the "
     "firmware."},
    {"meaning.partition-table.no_boot_file",
     "the boot image file that BootNand names cannot be opened",
     "BootNand 指定的引导镜像文件无法打开",
     "the boot image file that BootNand names cannot be opened"},
    {"next.partition-table.no_boot_file",
     "Put the boot image into the table's folder under the name BootNand gives, and check that you "
     "may read it.",
     "请按 BootNand 给出的文件名将引导镜像放入分区表所在目录，并确认有读取权限。",
     "Put the boot image into the table's folder under the name BootNand gives, and check that you "
     "may read it."},
    {"meaning.partition-table-entry.no_id", "partition_id is missing or empty",
     "partition_id 缺失或为空", "partition_id is missing or empty"},
    {"next.table_key",
     "Add the key to the partition's section of the .ptt file, or use the table that came with the "
     "firmware.",
     "请在 .ptt 文件中该分区的节里补上此键，或使用固件附带的分区表。",
     "Add the key to the partition's section of the .ptt file, or use the table that came with the "
     "firmware."},
    {"meaning.partition-table-entry.no_name", "partition_name is missing or empty",
     "partition_name 缺失或为空", "partition_name is missing or empty"},
    {"meaning.partition-table-entry.no_path", "partition_path is missing or empty",
     "partition_path 缺失或为空", "partition_path is missing or empty"},
    {"meaning.partition-table-entry.no_size", "partition_size is missing or empty",
     "partition_size 缺失或为空", "partition_size is missing or empty"},
    {"meaning.partition-table-entry.no_offset", "partition_offset is missing or empty",
     "partition_offset 缺失或为空", "partition_offset is missing or empty"},
    {"meaning.partition-table-entry.no_protected", "partition_protected is missing or empty",
     "partition_protected 缺失或为空", "partition_protected is missing or empty"},
    {"meaning.partition-table-entry.cannot_open", "the partition's content file cannot be opened",
     "分区的内容文件无法打开", "the partition's content file cannot be opened"},
    {"next.partition-table-entry.cannot_open",
     "Put the file that partition_path names into the table's folder (the path is taken relative "
     "to it), and check that you may read it.",
     "请将 partition_path 指定的文件放入分区表所在目录（路径相对于该目录），并确认有读取权限。",
     "Put the file that partition_path names into the table's folder (the path is taken relative "
     "to it), and check that you may read it."},
    {"meaning.partition-table-entry.reopen_failed",
     "the content file of a protected partition could not be opened again to fingerprint it",
     "受保护分区的内容文件无法再次打开以计算其指纹",
     "the content file of a protected partition could not be opened again to fingerprint it"},
    {"next.partition-table-entry.reopen_failed",
     "Check that nothing moves or replaces the file while the table loads, then load the table "
     "again.",
     "请确认加载分区表期间没有程序移动或替换该文件，然后重新加载分区表。",
     "Check that nothing moves or replaces the file while the table loads, then load the table "
     "again."},
    {"meaning.partition-table-entry.no_digest",
     "the content file of a protected partition could not be read whole to fingerprint it",
     "受保护分区的内容文件无法完整读取以计算其指纹",
     "the content file of a protected partition could not be read whole to fingerprint it"},
    {"next.partition-table-entry.no_digest",
     "Check the file and the disk it lies on (size, read errors), then load the table again.",
     "请检查该文件及其所在磁盘（大小、读取错误），然后重新加载分区表。",
     "Check the file and the disk it lies on (size, read errors), then load the table again."},
    {"meaning.serial-port.open_port_failed",
     "the serial port could not be opened, or not set to 115200 baud",
     "串口无法打开，或无法设为 115200 波特",
     "the serial port could not be opened, or not set to 115200 baud"},
    {"next.serial-port.open_port_failed",
     "Check the port's path (velmora-cli ports lists the ports; COM3 means /dev/ttyS2), that no "
     "other program holds it (a terminal, ModemManager, another velmora), and that you may open it "
     "(group dialout).",
     "请检查串口路径（velmora-cli ports 可列出串口；COM3 即 "
     "/dev/ttyS2）、确认没有其他程序占用它（终端、ModemManager、另一个 "
     "velmora），并确认有权限打开它（dialout 组）。",
     "Check the port's path (velmora-cli ports lists the ports; COM3 means /dev/ttyS2), that no "
     "other program holds it (a terminal, ModemManager, another velmora), and that you may open it "
     "(group dialout)."},
    {"meaning.wait-for-the-phone.phone_not_connected",
     "the phone's boot ROM did not answer: it announced itself but did not echo the reply, or the "
     "port went away",
     "手机的引导 ROM 没有应答：它发出了通告，但没有回显应答，或串口已消失",
     "the phone's boot ROM did not answer: it announced itself but did not echo the reply, or the "
     "port went away"},
    {"next.wait-for-the-phone.phone_not_connected",
     "Switch the phone off, check that the cable sits firmly and that no other program writes to "
     "the port; start the job and switch the phone on when asked.",
     "请关闭手机，确认数据线插牢且没有其他程序向该串口写数据；启动作业，并在提示时打开手机。",
     "Switch the phone off, check that the cable sits firmly and that no other program writes to "
     "the port; start the job and switch the phone on when asked."},
    {"meaning.boot-rom-handshake.no_timeout_ack",
     "the boot ROM did not acknowledge the time-out command ('T')",
     "引导 ROM 没有确认超时命令（'T'）",
     "the boot ROM did not acknowledge the time-out command ('T')"},
    {"next.replug_serial",
     "Switch the phone off, check that the cable sits firmly, start the job and switch the phone "
     "on when asked.",
     "请关闭手机，确认数据线插牢，启动作业，并在提示时打开手机。",
     "Switch the phone off, check that the cable sits firmly, start the job and switch the phone "
     "on when asked."},
    {"meaning.boot-rom-handshake.no_product_id", "the boot ROM did not send its product ID ('P')",
     "引导 ROM 没有发送其产品 ID（'P'）", "the boot ROM did not send its product ID ('P')"},
    {"meaning.boot-rom-handshake.no_answer",
     "the boot ROM did not answer a later command of the handshake",
     "引导 ROM 没有应答握手中的后续命令",
     "the boot ROM did not answer a later command of the handshake"},
    {"meaning.boot-rom-handshake.no_loader_device",
     "the boot ROM's identification over DFU failed so that no RAM loader can be started: the "
     "phone left the bus, did not answer, came back in application mode or stayed in an error "
     "state (the error text says which)",
     "通过 DFU 识别引导 ROM 失败，因而无法启动 RAM "
     "加载程序：手机离开了总线、没有应答、以应用模式返回，或停留在错误状态（错误信息说明是哪一种）",
     "the boot ROM's identification over DFU failed so that no RAM loader can be started: the "
     "phone left the bus, did not answer, came back in application mode or stayed in an error "
     "state (the error text says which)"},
    {"next.line_usb",
     "Check the cable and connect the phone directly, not through a hub; switch it off and on, "
     "replug it and start again.",
     "请检查数据线，并将手机直接连接到电脑而不经过集线器；将手机关机再开机，重新插拔后再次开始。",
     "Check the cable and connect the phone directly, not through a hub; switch it off and on, "
     "replug it and start again."},
    {"meaning.ram-loader-transfer.loader_transfer_failed",
     "the RAM loader could not be sent to the phone", "RAM 加载程序无法发送到手机",
     "the RAM loader could not be sent to the phone"},
    {"meaning.ram-loader-transfer.no_loader_device",
     "the RAM loader could not be sent over DFU, so none can be running (the error text names the "
     "frame and the cause)",
     "RAM 加载程序无法通过 DFU "
     "发送，因此不可能有加载程序在运行（错误信息指明了出错的数据帧及原因）",
     "the RAM loader could not be sent over DFU, so none can be running (the error text names the "
     "frame and the cause)"},
    {"meaning.ram-loader-transfer.image_not_found",
     "the program carries no RAM loader image for this link",
     "程序未带有适用于此连接方式的 RAM 加载程序镜像",
     "the program carries no RAM loader image for this link"},
    {"next.ram-loader-transfer.image_not_found",
     "Put the RAM loader (ramloader_serial.bin for the serial link, ramloader_usb.bin for USB) "
     "into the program's home folder.",
     "请将 RAM 加载程序（串口用 ramloader_serial.bin，USB 用 ramloader_usb.bin）放入程序的主目录。",
     "Put the RAM loader (ramloader_serial.bin for the serial link, ramloader_usb.bin for USB) "
     "into the program's home folder."},
    {"meaning.ram-loader-transfer.image_empty",
     "the RAM loader image is empty, or not a whole number of 32-bit words",
     "RAM 加载程序镜像为空，或其长度不是 32 位字的整数倍",
     "the RAM loader image is empty, or not a whole number of 32-bit words"},
    {"next.ram-loader-transfer.image_empty",
     "Replace ramloader_serial.bin or ramloader_usb.bin in the home folder with the loader that "
     "came with the phone's firmware.",
     "请用手机固件附带的加载程序替换主目录中的 ramloader_serial.bin 或 ramloader_usb.bin。",
     "Replace ramloader_serial.bin or ramloader_usb.bin in the home folder with the loader that "
     "came with the phone's firmware."},
    {"meaning.ram-loader-transfer.image_not_loadable",
     "the RAM loader image in the home folder cannot be read",
     "主目录中的 RAM 加载程序镜像无法读取",
     "the RAM loader image in the home folder cannot be read"},
    {"next.ram-loader-transfer.image_not_loadable",
     "Check that you may read ramloader_serial.bin or ramloader_usb.bin in the home folder, or "
     "remove it to use the loader the program carries.",
     "请确认有权限读取主目录中的 ramloader_serial.bin 或 "
     "ramloader_usb.bin，或将其删除以使用程序自带的加载程序。",
     "Check that you may read ramloader_serial.bin or ramloader_usb.bin in the home folder, or "
     "remove it to use the loader the program carries."},
    {"meaning.ram-loader-transfer.image_not_lockable",
     "the RAM loader image could not be taken into memory", "RAM 加载程序镜像无法载入内存",
     "the RAM loader image could not be taken into memory"},
    {"next.program_fault",
     "Start again; if it comes back, run the job in debug mode and keep dl_log.txt for whoever "
     "supports the tool.",
     "请重新开始；如果问题再次出现，请以调试模式运行作业，并将 dl_log.txt "
     "交给本工具的技术支持人员。",
     "Start again; if it comes back, run the job in debug mode and keep dl_log.txt for whoever "
     "supports the tool."},
    {"meaning.ram-loader-transfer.no_address_ack",
     "the boot ROM did not acknowledge the load address ('S'): it did not take the handshake",
     "引导 ROM 没有确认加载地址（'S'）：它没有接受握手",
     "the boot ROM did not acknowledge the load address ('S'): it did not take the handshake"},
    {"next.ram-loader-transfer.no_address_ack",
     "Check that the port is the phone's and the cable sits firmly; switch the phone off and on "
     "and start again.",
     "请确认该串口属于这部手机且数据线插牢；将手机关机再开机，然后重新开始。",
     "Check that the port is the phone's and the cable sits firmly; switch the phone off and on "
     "and start again."},
    {"meaning.ram-loader-transfer.no_load_ack",
     "the boot ROM did not acknowledge a piece of the RAM loader",
     "引导 ROM 没有确认 RAM 加载程序的某一段",
     "the boot ROM did not acknowledge a piece of the RAM loader"},
    {"next.ram-loader-transfer.no_load_ack",
     "Check the cable: a loose contact or a long cable garbles the boot stage at 115200 baud. "
     "Switch the phone off and on and start again.",
     "请检查数据线：接触不良或线缆过长会在 115200 "
     "波特的引导阶段造成数据错乱。将手机关机再开机，然后重新开始。",
     "Check the cable: a loose contact or a long cable garbles the boot stage at 115200 baud. "
     "Switch the phone off and on and start again."},
    {"meaning.ram-loader-start-and-line-speed.line_format_failed",
     "the port could not be set to 115200 baud, 8N1, for the RAM loader",
     "无法为 RAM 加载程序将串口设为 115200 波特、8N1",
     "the port could not be set to 115200 baud, 8N1, for the RAM loader"},
    {"next.ram-loader-start-and-line-speed.line_format_failed",
     "Check that the port takes 115200 baud (the log names the rate it took); replug a USB serial "
     "adapter and start again.",
     "请确认该串口支持 115200 波特（日志中记有它实际采用的速率）；重新插拔 USB "
     "转串口适配器后再次开始。",
     "Check that the port takes 115200 baud (the log names the rate it took); replug a USB serial "
     "adapter and start again."},
    {"meaning.ram-loader-start-and-line-speed.loader_not_started",
     "the RAM loader did not announce its start: it did not arrive whole, or does not run on this "
     "phone",
     "RAM 加载程序没有通告其已启动：它没有完整送达，或不能在这部手机上运行",
     "the RAM loader did not announce its start: it did not arrive whole, or does not run on this "
     "phone"},
    {"next.wrong_loader",
     "Check that the RAM loader (ramloader_serial.bin or ramloader_usb.bin in the home folder, "
     "else the one the program carries) is the one for this phone; switch the phone off and on and "
     "start again.",
     "请确认 RAM 加载程序（主目录中的 ramloader_serial.bin 或 "
     "ramloader_usb."
     "bin，否则为程序自带的加载程序）适用于这部手机；将手机关机再开机，然后重新开始。",
     "Check that the RAM loader (ramloader_serial.bin or ramloader_usb.bin in the home folder, "
     "else the one the program carries) is the one for this phone; switch the phone off and on and "
     "start again."},
    {"meaning.ram-loader-start-and-line-speed.baud921600_failed",
     "the port could not be set to 921600 baud", "串口无法设为 921600 波特",
     "the port could not be set to 921600 baud"},
    {"next.ram-loader-start-and-line-speed.baud921600_failed",
     "Choose 460800 or 115200 baud: this port or adapter does not take 921600 (the log names the "
     "rate it took).",
     "请选择 460800 或 115200 波特：此串口或适配器不支持 921600（日志中记有它实际采用的速率）。",
     "Choose 460800 or 115200 baud: this port or adapter does not take 921600 (the log names the "
     "rate it took)."},
    {"meaning.ram-loader-start-and-line-speed.baud460800_failed",
     "the port could not be set to 460800 baud", "串口无法设为 460800 波特",
     "the port could not be set to 460800 baud"},
    {"next.ram-loader-start-and-line-speed.baud460800_failed",
     "Choose 115200 baud: this port or adapter does not take 460800 (the log names the rate it "
     "took).",
     "请选择 115200 波特：此串口或适配器不支持 460800（日志中记有它实际采用的速率）。",
     "Choose 115200 baud: this port or adapter does not take 460800 (the log names the rate it "
     "took)."},
    {"meaning.usb-access.usb_unavailable",
     "USB cannot be used: libusb could not be started, or the USB stand-in did not answer",
     "无法使用 USB：libusb 无法启动，或 USB 模拟端没有应答",
     "USB cannot be used: libusb could not be started, or the USB stand-in did not answer"},
    {"next.usb-access.usb_unavailable",
     "The error text gives libusb's reason. Check that libusb-1.0 works on this machine (a "
     "container needs /dev/bus/usb passed through), then start again.",
     "错误信息给出了 libusb 的原因。请确认 libusb-1.0 在本机上工作正常（容器需要映射 "
     "/dev/bus/usb），然后重新开始。",
     "The error text gives libusb's reason. Check that libusb-1.0 works on this machine (a "
     "container needs /dev/bus/usb passed through), then start again."},
    {"meaning.dfu-device-search.no_dfu_device",
     "no phone was taken: the job was stopped while it searched for the boot ROM's DFU device, or "
     "several devices could be the phone (the error text lists them)",
     "没有找到手机：作业在搜索引导 ROM 的 DFU "
     "设备时被停止，或有多个设备都可能是手机（错误信息列出了它们）",
     "no phone was taken: the job was stopped while it searched for the boot ROM's DFU device, or "
     "several devices could be the phone (the error text lists them)"},
    {"next.dfu-device-search.no_dfu_device",
     "Connect or switch on the phone after Start, when the status says \"Searching DFU "
     "device...\". With several candidates, name the phone by its bus path (path=BUS-PORT in the "
     "USB port text) and start again.",
     "请在开始之后、状态栏显示“Searching DFU "
     "device...”时连接手机或将其开机。若有多个候选设备，请用总线路径指定手机（在 USB 端口文本中写 "
     "path=总线-端口）后重新开始。",
     "Connect or switch on the phone after Start, when the status says \"Searching DFU "
     "device...\". With several candidates, name the phone by its bus path (path=BUS-PORT in the "
     "USB port text) and start again."},
    {"meaning.dfu-device-open.dfu_open_failed",
     "the boot ROM's DFU device could not be opened, or its descriptors not read",
     "引导 ROM 的 DFU 设备无法打开，或无法读取其描述符",
     "the boot ROM's DFU device could not be opened, or its descriptors not read"},
    {"next.dfu-device-open.dfu_open_failed",
     "Follow the error text's next step: without access install the udev rule (velmora-cli "
     "udev-rule prints it), or close the program that holds the device; replug the phone and start "
     "again.",
     "请按错误信息中的下一步操作：没有访问权限时安装 udev 规则（velmora-cli udev-rule "
     "会输出它），或关闭占用该设备的程序；重新插拔手机后再次开始。",
     "Follow the error text's next step: without access install the udev rule (velmora-cli "
     "udev-rule prints it), or close the program that holds the device; replug the phone and start "
     "again."},
    {"meaning.boot-rom-over-dfu.not_open",
     "a boot ROM command went to a DFU device that is not open",
     "引导 ROM 命令发给了一个未打开的 DFU 设备",
     "a boot ROM command went to a DFU device that is not open"},
    {"next.descriptors", "Replug the phone, directly rather than through a hub, and start again.",
     "请重新插拔手机，直接连接而不经过集线器，然后重新开始。",
     "Replug the phone, directly rather than through a hub, and start again."},
    {"meaning.boot-rom-over-dfu.already_open", "the DFU device was opened twice in one job",
     "同一个作业中 DFU 设备被打开了两次", "the DFU device was opened twice in one job"},
    {"meaning.boot-rom-over-dfu.open_failed",
     "the DFU device could not be opened (no access, held by another program, or gone)",
     "DFU 设备无法打开（没有访问权限、被其他程序占用，或已断开）",
     "the DFU device could not be opened (no access, held by another program, or gone)"},
    {"next.boot-rom-over-dfu.open_failed",
     "Install the udev rule (velmora-cli udev-rule prints it) or close the program that holds the "
     "device; replug the phone and start again.",
     "请安装 udev 规则（velmora-cli udev-rule "
     "会输出它），或关闭占用该设备的程序；重新插拔手机后再次开始。",
     "Install the udev rule (velmora-cli udev-rule prints it) or close the program that holds the "
     "device; replug the phone and start again."},
    {"meaning.boot-rom-over-dfu.no_device_descriptor",
     "the DFU device's device descriptor could not be read", "无法读取 DFU 设备的设备描述符",
     "the DFU device's device descriptor could not be read"},
    {"meaning.boot-rom-over-dfu.empty_string",
     "the DFU device answered a string descriptor with nothing",
     "DFU 设备对字符串描述符的请求返回了空内容",
     "the DFU device answered a string descriptor with nothing"},
    {"meaning.boot-rom-over-dfu.no_string",
     "a string descriptor of the DFU device could not be read",
     "无法读取 DFU 设备的某个字符串描述符",
     "a string descriptor of the DFU device could not be read"},
    {"meaning.boot-rom-over-dfu.no_configuration",
     "the DFU device's configuration descriptor could not be read", "无法读取 DFU 设备的配置描述符",
     "the DFU device's configuration descriptor could not be read"},
    {"meaning.boot-rom-over-dfu.no_functional", "the DFU device gives no DFU functional descriptor",
     "DFU 设备没有提供 DFU 功能描述符", "the DFU device gives no DFU functional descriptor"},
    {"meaning.boot-rom-over-dfu.transfer_failed",
     "a boot ROM command did not end with the DFU device idle: it reported an error or stopped "
     "answering",
     "某条引导 ROM 命令结束时 DFU 设备未处于空闲状态：它报告了错误或停止了应答",
     "a boot ROM command did not end with the DFU device idle: it reported an error or stopped "
     "answering"},
    {"meaning.boot-rom-over-dfu.bad_arguments",
     "a boot ROM command was built with arguments its rule forbids (a fault of the program)",
     "某条引导 ROM 命令使用了其规则所禁止的参数（程序的缺陷）",
     "a boot ROM command was built with arguments its rule forbids (a fault of the program)"},
    {"meaning.boot-rom-over-dfu.not_done_write",
     "the boot ROM reported a write command as not done (errNOTDONE)",
     "引导 ROM 报告某条写命令未完成（errNOTDONE）",
     "the boot ROM reported a write command as not done (errNOTDONE)"},
    {"meaning.boot-rom-over-dfu.not_done_load",
     "the boot ROM reported a load as not done (errNOTDONE)",
     "引导 ROM 报告某次加载未完成（errNOTDONE）",
     "the boot ROM reported a load as not done (errNOTDONE)"},
    {"meaning.ram-loaders-usb-device.no_loader_device",
     "the RAM loader's USB device did not come up, or would not open: the loader did not arrive or "
     "does not run, or its device is not recognised",
     "RAM 加载程序的 USB 设备没有出现，或无法打开：加载程序未送达或未运行，或其设备未被识别",
     "the RAM loader's USB device did not come up, or would not open: the loader did not arrive or "
     "does not run, or its device is not recognised"},
    {"next.ram-loaders-usb-device.no_loader_device",
     "If the device came but would not open, install the udev rule (velmora-cli udev-rule) or "
     "close the program that holds it. If the loader's device has IDs of its own, name them "
     "(dlv=VID:PID). Else check that ramloader_usb.bin is the loader for this phone. Switch the "
     "phone off and on and start again.",
     "如果设备出现了但无法打开，请安装 udev 规则（velmora-cli "
     "udev-rule）或关闭占用它的程序。如果加载程序的设备有自己的 "
     "ID，请指定它们（dlv=VID:PID）。否则请确认 ramloader_usb.bin "
     "是这部手机的加载程序。将手机关机再开机，然后重新开始。",
     "If the device came but would not open, install the udev rule (velmora-cli udev-rule) or "
     "close the program that holds it. If the loader's device has IDs of its own, name them "
     "(dlv=VID:PID). Else check that ramloader_usb.bin is the loader for this phone. Switch the "
     "phone off and on and start again."},
    {"meaning.ram-loaders-usb-device.no_write_pipe",
     "the RAM loader's device could not be opened, or its OUT pipe not used",
     "RAM 加载程序的设备无法打开，或无法使用其 OUT 管道",
     "the RAM loader's device could not be opened, or its OUT pipe not used"},
    {"next.ram-loaders-usb-device.no_write_pipe",
     "Install the udev rule (velmora-cli udev-rule) or close the program that holds the device "
     "(ModemManager among them); replug the phone and start again.",
     "请安装 udev 规则（velmora-cli udev-rule），或关闭占用该设备的程序（包括 "
     "ModemManager）；重新插拔手机后再次开始。",
     "Install the udev rule (velmora-cli udev-rule) or close the program that holds the device "
     "(ModemManager among them); replug the phone and start again."},
    {"meaning.ram-loaders-usb-device.no_read_pipe", "the RAM loader's device gives no IN pipe",
     "RAM 加载程序的设备没有 IN 管道", "the RAM loader's device gives no IN pipe"},
    {"meaning.usb-bulk-transfer.bulk_no_handle",
     "a transfer was tried on the RAM loader's device while it was closed",
     "在 RAM 加载程序的设备已关闭时尝试了一次传输",
     "a transfer was tried on the RAM loader's device while it was closed"},
    {"meaning.usb-bulk-transfer.bulk_failed",
     "a transfer to or from the RAM loader's device failed or timed out (the error text gives "
     "libusb's reason)",
     "与 RAM 加载程序设备之间的一次传输失败或超时（错误信息给出了 libusb 的原因）",
     "a transfer to or from the RAM loader's device failed or timed out (the error text gives "
     "libusb's reason)"},
    {"meaning.usb-bulk-transfer.bulk_read_failed",
     "a read from the RAM loader's device failed (the error text gives libusb's reason)",
     "从 RAM 加载程序的设备读取失败（错误信息给出了 libusb 的原因）",
     "a read from the RAM loader's device failed (the error text gives libusb's reason)"},
    {"meaning.nand-identification.identify_failed", "the NAND chip could not be identified",
     "无法识别 NAND 芯片", "the NAND chip could not be identified"},
    {"next.nand-identification.identify_failed",
     "The status line says why; switch the phone off and on and start again.",
     "状态栏说明了原因；请将手机关机再开机，然后重新开始。",
     "The status line says why; switch the phone off and on and start again."},
    {"meaning.nand-identification.no_answer",
     "the RAM loader did not answer the NAND ID command (no answer, also after one retry)",
     "RAM 加载程序没有应答 NAND ID 命令（重试一次后仍无应答）",
     "the RAM loader did not answer the NAND ID command (no answer, also after one retry)"},
    {"next.line_both",
     "Check the cable (on the serial link try a lower baud rate, on USB connect the phone "
     "directly, not through a hub); switch the phone off and on and start again.",
     "请检查数据线（串口连接可尝试较低的波特率，USB "
     "连接请将手机直接接到电脑而不经过集线器）；将手机关机再开机，然后重新开始。",
     "Check the cable (on the serial link try a lower baud rate, on USB connect the phone "
     "directly, not through a hub); switch the phone off and on and start again."},
    {"meaning.nand-identification.bad_answer",
     "the RAM loader answered the NAND ID command with a bad header or an error status",
     "RAM 加载程序对 NAND ID 命令的应答帧头错误或状态为错误",
     "the RAM loader answered the NAND ID command with a bad header or an error status"},
    {"meaning.nand-identification.no_chip", "the NAND chip did not answer (maker ID 0xFF)",
     "NAND 芯片没有应答（厂商 ID 为 0xFF）", "the NAND chip did not answer (maker ID 0xFF)"},
    {"next.nand-identification.no_chip",
     "Check that the RAM loader is the one for this phone; a phone whose chip always answers so "
     "needs service.",
     "请确认 RAM 加载程序适用于这部手机；若芯片始终如此应答，手机需要送修。",
     "Check that the RAM loader is the one for this phone; a phone whose chip always answers so "
     "needs service."},
    {"meaning.nand-identification.bad_geometry",
     "the catalogue's entry for this chip holds a value the program cannot serve (a page size that "
     "is not a non-zero multiple of 512, a block size that is not a multiple of 16 KiB and of the "
     "page, or a value out of range; the error text names the key)",
     "配置文件中此芯片的条目含有程序无法支持的值（页大小不是 512 的非零整数倍，块大小不是 16 KiB "
     "和页大小的整数倍，或数值超出范围；错误信息指明了是哪个键）",
     "the catalogue's entry for this chip holds a value the program cannot serve (a page size that "
     "is not a non-zero multiple of 512, a block size that is not a multiple of 16 KiB and of the "
     "page, or a value out of range; the error text names the key)"},
    {"next.nand-identification.bad_geometry",
     "Correct the key the error text names in this chip's entry of FlashChip.ini, from the chip's "
     "data sheet; the catalogue's other chips are served as they are.",
     "请根据芯片数据手册，更正 FlashChip.ini "
     "中此芯片条目里错误信息指明的键；配置文件中的其他芯片不受影响。",
     "Correct the key the error text names in this chip's entry of FlashChip.ini, from the chip's "
     "data sheet; the catalogue's other chips are served as they are."},
    {"meaning.nand-identification.catalogue_base",
     "the chip catalogue has no usable entry for this chip", "芯片配置文件中没有此芯片的可用条目",
     "the chip catalogue has no usable entry for this chip"},
    {"next.nand-identification.catalogue_base",
     "Add or mend the chip's entry in FlashChip.ini; the chip information shows its ID bytes, the "
     "section is [MAKER,DEVICE].",
     "请在 FlashChip.ini 中添加或修正此芯片的条目；芯片信息栏显示其 ID 字节，节名为 [厂商,器件]。",
     "Add or mend the chip's entry in FlashChip.ini; the chip information shows its ID bytes, the "
     "section is [MAKER,DEVICE]."},
    {"meaning.chip-catalogue-lookup.not_readable", "FlashChip.ini cannot be read",
     "FlashChip.ini 无法读取", "FlashChip.ini cannot be read"},
    {"next.chip-catalogue-lookup.not_readable",
     "Put FlashChip.ini back into the program's home folder and check that you may read it.",
     "请将 FlashChip.ini 放回程序的主目录，并确认有读取权限。",
     "Put FlashChip.ini back into the program's home folder and check that you may read it."},
    {"meaning.chip-catalogue-lookup.missing_keys_base",
     "the chip's entry in FlashChip.ini lacks {1} of its six keys (six: the chip is not listed)",
     "FlashChip.ini 中此芯片的条目缺少六个键中的 {1} 个（缺六个：即未收录此芯片）",
     "the chip's entry in FlashChip.ini lacks {1} of its six keys (six: the chip is not listed)"},
    {"next.chip-catalogue-lookup.missing_keys_base",
     "Add the chip to FlashChip.ini: a section [MAKER,DEVICE] with the ID bytes the chip "
     "information shows, and BLOCK_NUM, BLOCK_SIZE, PAGE_SIZE, SPARE_SIZE, ERASE_TIME and "
     "WRITE_TIME from the chip's data sheet.",
     "请将此芯片加入 FlashChip.ini：一个以芯片信息栏所示 ID 字节命名的节 "
     "[厂商,器件]，以及根据芯片数据手册填写的 "
     "BLOCK_NUM、BLOCK_SIZE、PAGE_SIZE、SPARE_SIZE、ERASE_TIME 和 WRITE_TIME。",
     "Add the chip to FlashChip.ini: a section [MAKER,DEVICE] with the ID bytes the chip "
     "information shows, and BLOCK_NUM, BLOCK_SIZE, PAGE_SIZE, SPARE_SIZE, ERASE_TIME and "
     "WRITE_TIME from the chip's data sheet."},
    {"meaning.ibt-read.ibt_failed", "the phone's bad-block table (IBT) could not be read",
     "无法读取手机的坏块表（IBT）", "the phone's bad-block table (IBT) could not be read"},
    {"next.line_serial",
     "Check the cable and that the phone still has power; at 921600 baud try 460800 or 115200. "
     "Switch the phone off and on and start again.",
     "请检查数据线并确认手机仍有电；在 921600 波特下可改用 460800 或 "
     "115200。将手机关机再开机，然后重新开始。",
     "Check the cable and that the phone still has power; at 921600 baud try 460800 or 115200. "
     "Switch the phone off and on and start again."},
    {"meaning.ibt-read.ibt_no_response", "no answer to the IBT command (also after one retry)",
     "IBT 命令没有应答（重试一次后仍无应答）",
     "no answer to the IBT command (also after one retry)"},
    {"meaning.ibt-read.ibt_no_data", "the IBT's 2048 bytes did not come (also after one retry)",
     "IBT 的 2048 字节数据没有收到（重试一次后仍未收到）",
     "the IBT's 2048 bytes did not come (also after one retry)"},
    {"meaning.ibt-read.ibt_bad_response",
     "the answer to the IBT command had a bad header or a status above 20",
     "IBT 命令的应答帧头错误或状态大于 20",
     "the answer to the IBT command had a bad header or a status above 20"},
    {"meaning.nand-parameters.parameters_failed", "the RAM loader did not take the NAND parameters",
     "RAM 加载程序没有接受 NAND 参数", "the RAM loader did not take the NAND parameters"},
    {"meaning.nand-parameters.parameters_no_ack",
     "no acknowledgement of the NAND parameters (also after one retry)",
     "NAND 参数没有得到确认（重试一次后仍未确认）",
     "no acknowledgement of the NAND parameters (also after one retry)"},
    {"meaning.management-record-read.record_failed",
     "the phone's bad-block management record could not be read", "无法读取手机的坏块管理记录",
     "the phone's bad-block management record could not be read"},
    {"meaning.management-record-read.no_record",
     "not a failure: the phone holds no management record (a code upgrade builds one)",
     "并非故障：手机中没有管理记录（代码升级时会建立）",
     "not a failure: the phone holds no management record (a code upgrade builds one)"},
    {"next.management-record-read.no_record", "Nothing to do.", "无需任何操作。", "Nothing to do."},
    {"meaning.management-record-read.record_no_response",
     "no answer to the record command (also after one retry)",
     "记录命令没有应答（重试一次后仍无应答）",
     "no answer to the record command (also after one retry)"},
    {"meaning.management-record-read.record_no_data",
     "the record's 4108 bytes did not come (also after one retry)",
     "记录的 4108 字节数据没有收到（重试一次后仍未收到）",
     "the record's 4108 bytes did not come (also after one retry)"},
    {"meaning.management-record-read.record_bad_header",
     "the answer to the record command had a bad header", "记录命令的应答帧头错误",
     "the answer to the record command had a bad header"},
    {"meaning.management-record-read.record_bad_status",
     "the phone answered the record command with an error status: its record may be damaged",
     "手机对记录命令返回了错误状态：其记录可能已损坏",
     "the phone answered the record command with an error status: its record may be damaged"},
    {"next.management-record-read.record_bad_status",
     "Switch the phone off and on and start again; if it comes back, the phone needs service.",
     "请将手机关机再开机，然后重新开始；如果问题再次出现，手机需要送修。",
     "Switch the phone off and on and start again; if it comes back, the phone needs service."},
    {"meaning.management-record-read.record_crc_mismatch",
     "the record arrived damaged (CRC mismatch)", "记录在传输中损坏（CRC 不符）",
     "the record arrived damaged (CRC mismatch)"},
    {"meaning.sdi-initialisation.init_sdi_failed", "the RAM loader's SDI initialisation failed",
     "RAM 加载程序的 SDI 初始化失败", "the RAM loader's SDI initialisation failed"},
    {"meaning.sdi-initialisation.sdi_send_failed", "the SDI command could not be sent",
     "SDI 命令无法发送", "the SDI command could not be sent"},
    {"meaning.sdi-initialisation.sdi_no_response", "no answer to the SDI command",
     "SDI 命令没有应答", "no answer to the SDI command"},
    {"meaning.sdi-initialisation.sdi_bad_header", "the answer to the SDI command had a bad header",
     "SDI 命令的应答帧头错误", "the answer to the SDI command had a bad header"},
    {"meaning.sdi-initialisation.sdi_word_base",
     "word {1} of the SDI answer is wrong: the RAM loader reports a fault of the phone's SDI",
     "SDI 应答的第 {1} 个字有误：RAM 加载程序报告手机的 SDI 有故障",
     "word {1} of the SDI answer is wrong: the RAM loader reports a fault of the phone's SDI"},
    {"meaning.code-upgrade.code_area_erase_failed",
     "erasing the code area failed (the error text names the block and the erase's code)",
     "擦除代码区失败（错误信息指明了块号和擦除的错误码）",
     "erasing the code area failed (the error text names the block and the erase's code)"},
    {"next.upgrade_again",
     "Until an upgrade completes the phone may not start: run it again before the phone is put "
     "away.",
     "在升级完成之前手机可能无法启动：请在收起手机之前再次运行升级。",
     "Until an upgrade completes the phone may not start: run it again before the phone is put "
     "away."},
    {"meaning.code-upgrade.partition_erase_failed",
     "erasing a partition failed (the error text names the partition)",
     "擦除某个分区失败（错误信息指明了是哪个分区）",
     "erasing a partition failed (the error text names the partition)"},
    {"meaning.code-upgrade.write_failed",
     "a partition or the boot block was not written (the error text names which)",
     "某个分区或引导块未能写入（错误信息指明了是哪一个）",
     "a partition or the boot block was not written (the error text names which)"},
    {"meaning.code-upgrade.upgrade_refused",
     "the upgrade was refused before anything was erased: the firmware does not fit this chip or "
     "its bad blocks, or the chip's block 0, which must hold the boot block, is bad (the error "
     "text names the partition, block or file)",
     "升级在擦除任何内容之前被拒绝：固件与此芯片或其坏块不符，或芯片的块 "
     "0（必须存放引导块）是坏块（错误信息指明了分区、块或文件）",
     "the upgrade was refused before anything was erased: the firmware does not fit this chip or "
     "its bad blocks, or the chip's block 0, which must hold the boot block, is bad (the error "
     "text names the partition, block or file)"},
    {"next.code-upgrade.upgrade_refused",
     "Nothing on the phone was changed. Use the firmware made for this phone, or mend what the "
     "error text names; a phone whose block 0 is bad cannot start from it and needs service.",
     "手机上的内容没有任何改动。请使用为这部手机制作的固件，或修正错误信息所指出的问题；块 0 "
     "损坏的手机无法从中启动，需要送修。",
     "Nothing on the phone was changed. Use the firmware made for this phone, or mend what the "
     "error text names; a phone whose block 0 is bad cannot start from it and needs service."},
    {"meaning.code-upgrade.record_build_base",
     "the bad-block management record could not be built before the first erase",
     "在第一次擦除之前无法建立坏块管理记录",
     "the bad-block management record could not be built before the first erase"},
    {"next.code-upgrade.record_build_base",
     "The record build's code says why; follow its next step.",
     "记录建立的错误码说明了原因；请按其下一步操作。",
     "The record build's code says why; follow its next step."},
    {"meaning.management-record-build.reservoir_exhausted",
     "more blocks are bad than the reservoir can replace; nothing was written",
     "坏块数量超过了备用区所能替换的数量；没有写入任何内容",
     "more blocks are bad than the reservoir can replace; nothing was written"},
    {"next.management-record-build.reservoir_exhausted",
     "The chip has too many bad blocks to be mapped; the phone needs service.",
     "芯片坏块过多，无法全部映射；手机需要送修。",
     "The chip has too many bad blocks to be mapped; the phone needs service."},
    {"meaning.management-record-build.no_record_block",
     "no good reservoir block is left for the record; nothing was written",
     "备用区中已没有可存放记录的好块；没有写入任何内容",
     "no good reservoir block is left for the record; nothing was written"},
    {"next.management-record-build.no_record_block",
     "The top of the chip is worn; the phone needs service.", "芯片顶部区域已磨损；手机需要送修。",
     "The top of the chip is worn; the phone needs service."},
    {"meaning.management-record-build.no_copy_block",
     "no good reservoir block is left for the record's second copy; nothing was written",
     "备用区中已没有可存放记录第二份副本的好块；没有写入任何内容",
     "no good reservoir block is left for the record's second copy; nothing was written"},
    {"meaning.management-record-build.record_erase_failed",
     "a block for the record could not be erased (the error text names it)",
     "用于存放记录的某个块无法擦除（错误信息指明了是哪个块）",
     "a block for the record could not be erased (the error text names it)"},
    {"next.worn_block",
     "Run the job again; if the same block fails each time, it has gone bad and the phone needs "
     "service.",
     "请再次运行作业；如果每次都是同一个块失败，说明该块已损坏，手机需要送修。",
     "Run the job again; if the same block fails each time, it has gone bad and the phone needs "
     "service."},
    {"meaning.management-record-build.record_write_failed",
     "the record could not be written into its block", "记录无法写入其所在的块",
     "the record could not be written into its block"},
    {"meaning.management-record-build.chip_beyond_record",
     "the chip has more blocks than the record can describe (1024); nothing was written",
     "芯片的块数超过了记录所能描述的数量（1024）；没有写入任何内容",
     "the chip has more blocks than the record can describe (1024); nothing was written"},
    {"next.management-record-build.chip_beyond_record",
     "Nothing on the phone was changed. Name the chip (its ID bytes and FlashChip.ini entry) to "
     "whoever supports the tool.",
     "手机上的内容没有任何改动。请将该芯片（其 ID 字节及 FlashChip.ini "
     "条目）告知本工具的技术支持人员。",
     "Nothing on the phone was changed. Name the chip (its ID bytes and FlashChip.ini entry) to "
     "whoever supports the tool."},
    {"meaning.partition-erase.block_failed",
     "a block could not be erased (the error text names the block and the erase's code)",
     "某个块无法擦除（错误信息指明了块号和擦除的错误码）",
     "a block could not be erased (the error text names the block and the erase's code)"},
    {"meaning.block-erase.no_answer", "no answer to the erase command (also after one retry)",
     "擦除命令没有应答（重试一次后仍无应答）",
     "no answer to the erase command (also after one retry)"},
    {"meaning.block-erase.failed", "the phone did not acknowledge the erase (also after one retry)",
     "手机没有确认擦除（重试一次后仍未确认）",
     "the phone did not acknowledge the erase (also after one retry)"},
    {"meaning.block-erase.failed_usb",
     "the phone reported the erase as failed (bad status; or its answer came damaged, also after "
     "one retry): the block may have gone bad",
     "手机报告擦除失败（状态错误；或其应答在传输中损坏，重试一次后仍是如此）：该块可能已损坏",
     "the phone reported the erase as failed (bad status; or its answer came damaged, also after "
     "one retry): the block may have gone bad"},
    {"next.partition-write.file_not_opened",
     "Check that the file the table names is still in the table's folder and that you may read it; "
     "then run the upgrade again.",
     "请确认分区表指定的文件仍在分区表所在目录中且有读取权限；然后再次运行升级。",
     "Check that the file the table names is still in the table's folder and that you may read it; "
     "then run the upgrade again."},
    {"meaning.partition-write.size_mismatch",
     "the content file's length changed since the table was loaded, or the partition ran out of "
     "good blocks",
     "自加载分区表以来内容文件的长度发生了变化，或分区中的好块已不够用",
     "the content file's length changed since the table was loaded, or the partition ran out of "
     "good blocks"},
    {"next.partition-write.size_mismatch",
     "If the file changed, load the table again; if not, the partition's bad blocks leave too "
     "little room and the phone needs service.",
     "如果文件已改变，请重新加载分区表；如果没有改变，说明该分区的坏块使剩余空间不足，手机需要送修"
     "。",
     "If the file changed, load the table again; if not, the partition's bad blocks leave too "
     "little room and the phone needs service."},
    {"meaning.partition-write.short_read", "the content file could not be read to its end",
     "内容文件无法读到末尾", "the content file could not be read to its end"},
    {"next.partition-write.short_read",
     "Check the file and the disk it lies on, then run the upgrade again.",
     "请检查该文件及其所在磁盘，然后再次运行升级。",
     "Check the file and the disk it lies on, then run the upgrade again."},
    {"meaning.partition-write.block_write_base",
     "a block could not be written, also after three retries (each erased it first)",
     "某个块无法写入，重试三次（每次都先擦除）后仍然失败",
     "a block could not be written, also after three retries (each erased it first)"},
    {"meaning.block-write.pages_base", "writing its pages failed", "写入其页失败",
     "writing its pages failed"},
    {"next.block-write.pages_base", "The page write's code says why; follow its next step.",
     "页写入的错误码说明了原因；请按其下一步操作。",
     "The page write's code says why; follow its next step."},
    {"meaning.block-write.small_block_too_long",
     "a block of more than 64 KiB was given to the small-page write (a fault of the program)",
     "一个大于 64 KiB 的块被交给了小页写入（程序的缺陷）",
     "a block of more than 64 KiB was given to the small-page write (a fault of the program)"},
    {"meaning.block-write.small_block_no_ack",
     "the phone did not acknowledge the block's write (no answer)",
     "手机没有确认该块的写入（无应答）",
     "the phone did not acknowledge the block's write (no answer)"},
    {"meaning.page-write.no_answer", "the phone did not answer the write (no answer)",
     "手机没有应答写入（无应答）", "the phone did not answer the write (no answer)"},
    {"meaning.page-write.bad_status",
     "the phone could not program the pages (bad status): the block may have gone bad",
     "手机无法编程这些页（状态错误）：该块可能已损坏",
     "the phone could not program the pages (bad status): the block may have gone bad"},
    {"meaning.page-write.crc_mismatch", "the data arrived damaged (CRC mismatch)",
     "数据在传输中损坏（CRC 不符）", "the data arrived damaged (CRC mismatch)"},
    {"next.page-write.crc_mismatch",
     "The line garbles data: choose a lower baud rate, or a shorter or better cable or adapter, "
     "and start again.",
     "线路使数据错乱：请选择较低的波特率，或更短、更好的数据线或适配器，然后重新开始。",
     "The line garbles data: choose a lower baud rate, or a shorter or better cable or adapter, "
     "and start again."},
    {"meaning.page-write.usb_send_failed", "the write command could not be sent", "写命令无法发送",
     "the write command could not be sent"},
    {"meaning.page-write.usb_no_answer",
     "the phone did not answer the write, or a page could not be read back to be checked (no "
     "answer)",
     "手机没有应答写入，或某页无法读回以进行校验（无应答）",
     "the phone did not answer the write, or a page could not be read back to be checked (no "
     "answer)"},
    {"meaning.page-write.usb_bad_status_or_ecc",
     "bad status or ECC mismatch: the phone could not program the pages, or they hold other data "
     "than was sent",
     "状态错误或 ECC 不符：手机无法编程这些页，或页中的数据与发送的不同",
     "bad status or ECC mismatch: the phone could not program the pages, or they hold other data "
     "than was sent"},
    {"meaning.page-write.usb_no_memory", "the computer had no memory left for the ECC codes",
     "电脑没有足够的内存存放 ECC 校验码", "the computer had no memory left for the ECC codes"},
    {"next.page-write.usb_no_memory", "Close other programs and start again.",
     "请关闭其他程序后重新开始。", "Close other programs and start again."},
    {"meaning.page-write.usb_data_failed", "the data could not be sent to the phone",
     "数据无法发送到手机", "the data could not be sent to the phone"},
    {"meaning.boot-block-write.file_not_opened",
     "the boot image file cannot be opened; block 0 was not touched",
     "引导镜像文件无法打开；块 0 未被改动",
     "the boot image file cannot be opened; block 0 was not touched"},
    {"next.boot_image",
     "Check that the boot image is still in the table's folder, unchanged since the table was "
     "loaded, and that you may read it; then run the upgrade again.",
     "请确认引导镜像仍在分区表所在目录中、自加载分区表以来未被改动且有读取权限；然后再次运行升级。",
     "Check that the boot image is still in the table's folder, unchanged since the table was "
     "loaded, and that you may read it; then run the upgrade again."},
    {"meaning.boot-block-write.size_mismatch",
     "the boot image's length differs from the table's, or exceeds one block; block 0 was not "
     "touched",
     "引导镜像的长度与分区表中的不同，或超过一个块；块 0 未被改动",
     "the boot image's length differs from the table's, or exceeds one block; block 0 was not "
     "touched"},
    {"meaning.boot-block-write.short_read",
     "the boot image could not be read to its end; block 0 was not touched",
     "引导镜像无法读到末尾；块 0 未被改动",
     "the boot image could not be read to its end; block 0 was not touched"},
    {"meaning.boot-block-write.erase_base", "block 0 could not be erased (also after one retry)",
     "块 0 无法擦除（重试一次后仍然失败）", "block 0 could not be erased (also after one retry)"},
    {"next.block_zero_again",
     "Run the upgrade again at once, before the phone is switched off: block 0 holds the phone's "
     "boot code.",
     "请立即再次运行升级，不要关闭手机：块 0 存放着手机的引导代码。",
     "Run the upgrade again at once, before the phone is switched off: block 0 holds the phone's "
     "boot code."},
    {"meaning.boot-block-write.write_base", "block 0 could not be written (also after one retry)",
     "块 0 无法写入（重试一次后仍然失败）", "block 0 could not be written (also after one retry)"},
    {"meaning.boot-block-write.v3_file_not_opened",
     "the version 3 boot image file cannot be opened; block 0 was not touched",
     "第 3 版引导镜像文件无法打开；块 0 未被改动",
     "the version 3 boot image file cannot be opened; block 0 was not touched"},
    {"meaning.boot-block-write.v3_size_mismatch",
     "the version 3 boot image's length differs from the table's, or exceeds one block; block 0 "
     "was not touched",
     "第 3 版引导镜像的长度与分区表中的不同，或超过一个块；块 0 未被改动",
     "the version 3 boot image's length differs from the table's, or exceeds one block; block 0 "
     "was not touched"},
    {"meaning.boot-block-write.v3_short_read",
     "the version 3 boot image could not be read to its end; block 0 was not touched",
     "第 3 版引导镜像无法读到末尾；块 0 未被改动",
     "the version 3 boot image could not be read to its end; block 0 was not touched"},
    {"meaning.boot-block-write.v3_bad_version",
     "the boot image is not of version 3 after all; block 0 was not touched",
     "引导镜像实际上并不是第 3 版；块 0 未被改动",
     "the boot image is not of version 3 after all; block 0 was not touched"},
    {"meaning.boot-block-write.v3_read_failed",
     "block 0 could not be read for its counter (also after one retry); it was not touched",
     "无法读取块 0 以获取其计数器（重试一次后仍然失败）；块 0 未被改动",
     "block 0 could not be read for its counter (also after one retry); it was not touched"},
    {"meaning.read-back.boot_table_failed",
     "the phone's partition table could not be taken from block 0", "无法从块 0 取得手机的分区表",
     "the phone's partition table could not be taken from block 0"},
    {"meaning.read-back.boot_area_failed", "the boot area (the start of block 0) could not be read",
     "无法读取引导区（块 0 的开头部分）", "the boot area (the start of block 0) could not be read"},
    {"meaning.read-back.partition_base",
     "partition {1} could not be read; the files before it are complete",
     "分区 {1} 无法读取；在它之前的文件是完整的",
     "partition {1} could not be read; the files before it are complete"},
    {"meaning.read-back.area_past_chip",
     "the specified area starts beyond the chip's last block (the error text gives the chip's "
     "size); nothing was read",
     "指定区域的起始位置超出了芯片的最后一个块（错误信息给出了芯片容量）；没有读取任何内容",
     "the specified area starts beyond the chip's last block (the error text gives the chip's "
     "size); nothing was read"},
    {"next.read-back.area_past_chip",
     "Enter an area inside the chip: its start below the chip's size.",
     "请输入芯片范围内的区域：起始地址小于芯片容量。",
     "Enter an area inside the chip: its start below the chip's size."},
    {"meaning.read-back.file_not_created",
     "the output file cannot be created or written (the error text names it)",
     "输出文件无法创建或写入（错误信息指明了是哪个文件）",
     "the output file cannot be created or written (the error text names it)"},
    {"next.output_folder",
     "Check that the folder upload_nand in the home folder can be written, and that the disk is "
     "not full.",
     "请确认主目录中的 upload_nand 文件夹可写，且磁盘未满。",
     "Check that the folder upload_nand in the home folder can be written, and that the disk is "
     "not full."},
    {"meaning.read-back.block_read_base",
     "a block could not be read, also after three retries; the file holds the blocks before it",
     "某个块无法读取，重试三次后仍然失败；文件中保存了它之前的各块",
     "a block could not be read, also after three retries; the file holds the blocks before it"},
    {"meaning.phones-partition-table.no_marker",
     "block 0 holds no valid boot block (no marker): the phone carries no firmware of this layout, "
     "or block 0 is damaged",
     "块 0 中没有有效的引导块（没有标记）：手机中没有此布局的固件，或块 0 已损坏",
     "block 0 holds no valid boot block (no marker): the phone carries no firmware of this layout, "
     "or block 0 is damaged"},
    {"next.phones-partition-table.no_marker",
     "Read the EEROM or a specified area instead, or upgrade the phone first.",
     "请改为读取 EEROM 或指定区域，或先升级手机。",
     "Read the EEROM or a specified area instead, or upgrade the phone first."},
    {"meaning.phones-partition-table.report_not_written", "upload.ptt could not be written",
     "无法写入 upload.ptt", "upload.ptt could not be written"},
    {"meaning.phones-partition-table.read_base", "block 0 could not be read (also after one retry)",
     "块 0 无法读取（重试一次后仍然失败）", "block 0 could not be read (also after one retry)"},
    {"meaning.boot-area-read.file_not_created", "boot_nand.bin could not be created or written",
     "无法创建或写入 boot_nand.bin", "boot_nand.bin could not be created or written"},
    {"meaning.boot-area-read.page_read_base",
     "a page of block 0 could not be read (also after one retry)",
     "块 0 的某一页无法读取（重试一次后仍然失败）",
     "a page of block 0 could not be read (also after one retry)"},
    {"meaning.partition-read.file_not_created",
     "the partition's file could not be created or written", "分区的文件无法创建或写入",
     "the partition's file could not be created or written"},
    {"meaning.partition-read.past_last_block",
     "the partition ran past its last block: its bad blocks leave too few good blocks for its "
     "content",
     "读取超出了分区的最后一个块：其坏块使剩余的好块不足以容纳其内容",
     "the partition ran past its last block: its bad blocks leave too few good blocks for its "
     "content"},
    {"next.partition-read.past_last_block",
     "The file holds what was read. Read the partition's blocks as a specified area, or have the "
     "phone serviced.",
     "文件中保存了已读取的内容。请将该分区的各块作为指定区域读取，或将手机送修。",
     "The file holds what was read. Read the partition's blocks as a specified area, or have the "
     "phone serviced."},
    {"meaning.partition-read.block_read_base",
     "a block could not be read, also after three retries", "某个块无法读取，重试三次后仍然失败",
     "a block could not be read, also after three retries"},
    {"meaning.block-read.block_no_answer", "no answer to the block read (no answer)",
     "块读取没有应答（无应答）", "no answer to the block read (no answer)"},
    {"meaning.block-read.block_page_base", "page {1}'s data did not come",
     "第 {1} 页的数据没有收到", "page {1}'s data did not come"},
    {"meaning.block-read.block_bad_answer",
     "the answer to the block read had a bad header or an error status (or, on a chip of more than "
     "9 pages a block, page 9's data did not come)",
     "块读取的应答帧头错误或状态为错误（或者，在每块多于 9 页的芯片上，第 9 页的数据没有收到）",
     "the answer to the block read had a bad header or an error status (or, on a chip of more than "
     "9 pages a block, page 9's data did not come)"},
    {"meaning.block-read.block_crc_mismatch",
     "the block arrived damaged (CRC mismatch; or, on a chip of more than 99 pages a block, page "
     "99's data did not come)",
     "块在传输中损坏（CRC 不符；或者，在每块多于 99 页的芯片上，第 99 页的数据没有收到）",
     "the block arrived damaged (CRC mismatch; or, on a chip of more than 99 pages a block, page "
     "99's data did not come)"},
    {"meaning.block-read.reads_disagree",
     "read twice, the block came back two ways, and a third read agreed with neither at some byte "
     "(the job's end names the block): the chip gives it out unsteadily",
     "读取两次时该块得到两种结果，而第三次读取在某个字节上与两者都不一致（作业结束时会指明该块）："
     "芯片读出的数据不稳定",
     "read twice, the block came back two ways, and a third read agreed with neither at some byte "
     "(the job's end names the block): the chip gives it out unsteadily"},
    {"next.unsteady_read",
     "Read again; if the same block disagrees again the chip is failing: keep what was read and "
     "have the phone serviced.",
     "请再读一次；如果同一个块再次不一致，说明芯片正在失效：请保留已读取的内容并将手机送修。",
     "Read again; if the same block disagrees again the chip is failing: keep what was read and "
     "have the phone serviced."},
    {"meaning.page-read.page_no_answer", "no answer to the page read (no answer)",
     "页读取没有应答（无应答）", "no answer to the page read (no answer)"},
    {"meaning.page-read.page_bad_answer",
     "the answer to the page read had a bad header or an error status",
     "页读取的应答帧头错误或状态为错误",
     "the answer to the page read had a bad header or an error status"},
    {"meaning.page-read.page_crc_mismatch", "the page arrived damaged (CRC mismatch)",
     "页在传输中损坏（CRC 不符）", "the page arrived damaged (CRC mismatch)"},
    {"meaning.page-read.page_data_missing", "the page's data did not come", "页的数据没有收到",
     "the page's data did not come"},
    {"meaning.page-read.reads_disagree",
     "read twice, the page came back two ways, and a third read agreed with neither at some byte: "
     "the chip gives it out unsteadily",
     "读取两次时该页得到两种结果，而第三次读取在某个字节上与两者都不一致：芯片读出的数据不稳定",
     "read twice, the page came back two ways, and a third read agreed with neither at some byte: "
     "the chip gives it out unsteadily"},
    {"meaning.erase.bad_range", "the range to erase ends before it starts; nothing was erased",
     "要擦除的范围终点在起点之前；没有擦除任何内容",
     "the range to erase ends before it starts; nothing was erased"},
    {"next.erase.bad_range", "Enter an area whose end lies above its start.",
     "请输入终点在起点之后的区域。", "Enter an area whose end lies above its start."},
    {"meaning.erase.no_code_area",
     "the phone's partition table gives no code area (block 0 holds no valid boot block, or no "
     "partition above offset 0; over USB also an unknown erase range); nothing was erased",
     "手机的分区表没有给出代码区（块 0 中没有有效的引导块，或没有偏移量大于 0 的分区；通过 USB "
     "时也可能是未知的擦除范围）；没有擦除任何内容",
     "the phone's partition table gives no code area (block 0 holds no valid boot block, or no "
     "partition above offset 0; over USB also an unknown erase range); nothing was erased"},
    {"next.erase.no_code_area",
     "Erase a specified area, or the code and file system, instead; or upgrade the phone first.",
     "请改为擦除指定区域，或擦除代码和文件系统；或者先升级手机。",
     "Erase a specified area, or the code and file system, instead; or upgrade the phone first."},
    {"meaning.erase.area_not_confirmed",
     "the area covers block 0 or the EEROM and reservoir (the top 74 blocks) and the erase was not "
     "confirmed; nothing was erased",
     "该区域包含块 0 或 EEROM 及备用区（最高的 74 个块），而擦除未经确认；没有擦除任何内容",
     "the area covers block 0 or the EEROM and reservoir (the top 74 blocks) and the erase was not "
     "confirmed; nothing was erased"},
    {"next.erase.area_not_confirmed",
     "If that is meant, confirm it (--yes on the command line, Yes to the window's question): it "
     "erases the boot code, or the phone's calibration and IMEI.",
     "如果确实要这样做，请确认（命令行加 "
     "--yes，或在窗口的询问中选择“是”）：这会擦除引导代码，或手机的校准数据和 IMEI。",
     "If that is meant, confirm it (--yes on the command line, Yes to the window's question): it "
     "erases the boot code, or the phone's calibration and IMEI."},
    {"meaning.erase.area_past_chip",
     "the specified area starts beyond the chip's last block (the error text gives the chip's "
     "size); nothing was erased",
     "指定区域的起始位置超出了芯片的最后一个块（错误信息给出了芯片容量）；没有擦除任何内容",
     "the specified area starts beyond the chip's last block (the error text gives the chip's "
     "size); nothing was erased"},
    {"meaning.erase.block_erase_base",
     "a block could not be erased; the blocks before it are erased (over USB, any block of the "
     "range may be)",
     "某个块无法擦除；它之前的各块已被擦除（通过 USB 时，范围内任何块都可能已被擦除）",
     "a block could not be erased; the blocks before it are erased (over USB, any block of the "
     "range may be)"},
    {"meaning.erase.boot_table_read_base",
     "block 0 could not be read for the phone's partition table (also after one retry); nothing "
     "was erased",
     "无法读取块 0 以获取手机的分区表（重试一次后仍然失败）；没有擦除任何内容",
     "block 0 could not be read for the phone's partition table (also after one retry); nothing "
     "was erased"},
    {"meaning.backup.backup_failed",
     "the backup could not be completed (a block could not be read, or a file in the backup folder "
     "could not be written); nothing was erased",
     "备份无法完成（某个块无法读取，或备份文件夹中的某个文件无法写入）；没有擦除任何内容",
     "the backup could not be completed (a block could not be read, or a file in the backup folder "
     "could not be written); nothing was erased"},
    {"next.backup.backup_failed",
     "Nothing on the phone was changed. Check the backup folder's disk and the cable, then start "
     "again.",
     "手机上的内容没有任何改动。请检查备份文件夹所在磁盘和数据线，然后重新开始。",
     "Nothing on the phone was changed. Check the backup folder's disk and the cable, then start "
     "again."},
    {"meaning.verify.verify_mismatch",
     "blocks read back after the write differ from what was sent (the error text names them): the "
     "chip did not keep what it was given",
     "写入后读回的块与发送的内容不同（错误信息指明了它们）：芯片没有保存写入的数据",
     "blocks read back after the write differ from what was sent (the error text names them): the "
     "chip did not keep what it was given"},
    {"next.verify.verify_mismatch",
     "Write the phone again. If the same blocks differ again, they are worn: the phone needs "
     "service (velmora-cli health shows its bad blocks).",
     "请重新写入手机。如果同样的块再次不同，说明它们已磨损：手机需要送修（velmora-cli health "
     "可显示其坏块）。",
     "Write the phone again. If the same blocks differ again, they are worn: the phone needs "
     "service (velmora-cli health shows its bad blocks)."},
    {"meaning.verify.verify_read_failed", "a written block could not be read back to verify it",
     "某个已写入的块无法读回进行校验", "a written block could not be read back to verify it"},
    {"meaning.restore.restore_refused",
     "the restore was refused once the chip was known, before anything was erased: the backup does "
     "not belong to this phone's chip, its manifest puts a file where it does not belong, a file "
     "changed since the job started, or a block it must write has gone bad (the error text says "
     "which). A backup whose manifest cannot be read or whose files do not match their sums is "
     "refused before the phone is asked, as is a restore without confirmation (the command line's "
     "exit status 2)",
     "在得知芯片之后、擦除任何内容之前，恢复被拒绝：备份不属于这部手机的芯片、其清单把某个文件放到"
     "了不该放的位置、某个文件在作业开始后被改动，或某个必须写入的块已损坏（错误信息说明是哪一种）"
     "。清单无法读取或文件与校验和不符的备份，在询问手机之前就会被拒绝；未经确认的恢复也是如此（命"
     "令行退出状态为 2）",
     "the restore was refused once the chip was known, before anything was erased: the backup does "
     "not belong to this phone's chip, its manifest puts a file where it does not belong, a file "
     "changed since the job started, or a block it must write has gone bad (the error text says "
     "which). A backup whose manifest cannot be read or whose files do not match their sums is "
     "refused before the phone is asked, as is a restore without confirmation (the command line's "
     "exit status 2)"},
    {"next.restore.restore_refused",
     "Nothing on the phone was changed. Restore a backup made of this phone, from an undamaged "
     "copy of its folder.",
     "手机上的内容没有任何改动。请从其文件夹未损坏的副本中恢复这部手机的备份。",
     "Nothing on the phone was changed. Restore a backup made of this phone, from an undamaged "
     "copy of its folder."},
    {"meaning.restore.restore_write_failed",
     "a block of the backup could not be written back (the error text names it)",
     "备份中的某个块无法写回（错误信息指明了是哪个块）",
     "a block of the backup could not be written back (the error text names it)"},
    {"next.restore.restore_write_failed",
     "Start the restore again; a block that fails again is worn.",
     "请重新开始恢复；再次失败的块已经磨损。",
     "Start the restore again; a block that fails again is worn."},
    {"meaning.health-report.health_read_failed",
     "a block the report needs (block 0 or a record copy) could not be read",
     "报告所需的某个块（块 0 或某份记录副本）无法读取",
     "a block the report needs (block 0 or a record copy) could not be read"},

    // What ExplainResult adds to a row's words, and a code it does not know.
    {"meaning.inner_unknown_of_two", "{1}: inner code {2}, not a known code of the {3} or the {4}",
     "{1}：内部代码 {2} 不是{3}或{4}的已知代码",
     "{1}: inner code {2}, not a known code of the {3} or the {4}"},
    {"meaning.inner_unknown", "{1}: inner code {2}, not a known code of the {3}",
     "{1}：内部代码 {2} 不是{3}的已知代码", "{1}: inner code {2}, not a known code of the {3}"},
    {"meaning.with_inner_code", "{1} (inner code {2})", "{1}（内部代码 {2}）",
     "{1} (inner code {2})"},
    {"meaning.unknown_code", "result {1} is not a known code of the {2}",
     "结果 {1} 不是{2}的已知代码", "result {1} is not a known code of the {2}"},
    {"next.unknown_code",
     "Note the result and the step; switch the phone off and on and start again. If it comes "
     "back, run the job in debug mode (--debug, or Ctrl+D in the window) and keep dl_log.txt for "
     "whoever supports the tool.",
     "请记下结果和步骤；将手机关机再开机，然后重新开始。如果问题再次出现，请以调试模式运行作业"
     "（--debug，或在窗口中按 Ctrl+D），并将 dl_log.txt 交给本工具的技术支持人员。",
     "Note the result and the step; switch the phone off and on and start again. If it comes "
     "back, run the job in debug mode (--debug, or Ctrl+D in the window) and keep dl_log.txt for "
     "whoever supports the tool."},
};

}  // namespace

std::span<const Entry> Results() {
    return kResults;
}

}  // namespace velmora::text::sections
