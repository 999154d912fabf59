// The links' texts: the serial port's and the USB devices' failures, the boot
// ROM's over DFU, and what to do next. libusb's own descriptions are here too,
// as they come inside them.
#include "base/texts_sections.h"

namespace velmora::text::sections {

namespace {

constexpr Entry kEntries[] = {
    // Opening the phone's USB devices.
    {"usb.open_dfu_ids_detail", "Cannot open the phone's DFU device {1} ({2}): {3} ({4}). {5}",
     "无法打开手机的DFU 设备 {1}（{2}）：{3}（{4}）。{5}",
     "Cannot open the phone's DFU device {1} ({2}): {3} ({4}). {5}"},
    {"usb.open_dfu_ids", "Cannot open the phone's DFU device {1} ({2}): {3}. {4}",
     "无法打开手机的DFU 设备 {1}（{2}）：{3}。{4}",
     "Cannot open the phone's DFU device {1} ({2}): {3}. {4}"},
    {"usb.open_dfu_detail", "Cannot open the phone's DFU device {1}: {2} ({3}). {4}",
     "无法打开手机的DFU 设备 {1}：{2}（{3}）。{4}",
     "Cannot open the phone's DFU device {1}: {2} ({3}). {4}"},
    {"usb.open_dfu", "Cannot open the phone's DFU device {1}: {2}. {3}",
     "无法打开手机的DFU 设备 {1}：{2}。{3}", "Cannot open the phone's DFU device {1}: {2}. {3}"},
    {"usb.open_bulk_ids_detail", "Cannot open the phone's bulk device {1} ({2}): {3} ({4}). {5}",
     "无法打开手机的批量传输设备 {1}（{2}）：{3}（{4}）。{5}",
     "Cannot open the phone's bulk device {1} ({2}): {3} ({4}). {5}"},
    {"usb.open_bulk_ids", "Cannot open the phone's bulk device {1} ({2}): {3}. {4}",
     "无法打开手机的批量传输设备 {1}（{2}）：{3}。{4}",
     "Cannot open the phone's bulk device {1} ({2}): {3}. {4}"},
    {"usb.open_bulk_detail", "Cannot open the phone's bulk device {1}: {2} ({3}). {4}",
     "无法打开手机的批量传输设备 {1}：{2}（{3}）。{4}",
     "Cannot open the phone's bulk device {1}: {2} ({3}). {4}"},
    {"usb.open_bulk", "Cannot open the phone's bulk device {1}: {2}. {3}",
     "无法打开手机的批量传输设备 {1}：{2}。{3}",
     "Cannot open the phone's bulk device {1}: {2}. {3}"},
    {"usb.dfu_descriptors", "Cannot read the descriptors of the phone's DFU device {1} (#{2}). {3}",
     "无法读取手机 DFU 设备 {1} 的描述符（#{2}）。{3}",
     "Cannot read the descriptors of the phone's DFU device {1} (#{2}). {3}"},
    {"usb.cannot_use", "Cannot use USB: {1} ({2}). {3}", "无法使用 USB：{1}（{2}）。{3}",
     "Cannot use USB: {1} ({2}). {3}"},
    {"next.usb_access",
     "Next step: install the udev rule (\"velmora-cli udev-rule\" prints it with the command that "
     "installs it), then replug the phone and start again.",
     "下一步：安装 udev 规则（“velmora-cli "
     "udev-rule”会输出该规则及安装它的命令），然后重新插拔手机并再次开始。",
     "Next step: install the udev rule (\"velmora-cli udev-rule\" prints it with the command that "
     "installs it), then replug the phone and start again."},
    {"next.usb_busy",
     "Next step: another program holds the device; close it (another velmora, a flashing or modem "
     "tool), then start again.",
     "下一步：另一个程序占用了该设备；请关闭它（另一个 "
     "velmora、刷机工具或调制解调器工具），然后重新开始。",
     "Next step: another program holds the device; close it (another velmora, a flashing or modem "
     "tool), then start again."},
    {"next.usb_gone",
     "Next step: the device left the bus; check the cable, replug the phone and start again.",
     "下一步：设备已离开总线；请检查数据线，重新插拔手机后再次开始。",
     "Next step: the device left the bus; check the cable, replug the phone and start again."},
    {"next.usb_replug", "Next step: replug the phone and start again.",
     "下一步：重新插拔手机，然后再次开始。", "Next step: replug the phone and start again."},
    {"next.usb_loader_rule",
     "Next step: install the udev rule with a line for this loader device (\"velmora-cli udev-rule "
     "--loader {1}:{2}\" prints it with the command that installs it), then replug the phone and "
     "start again.",
     "下一步：安装包含此加载程序设备条目的 udev 规则（“velmora-cli udev-rule --loader "
     "{1}:{2}”会输出该规则及安装它的命令），然后重新插拔手机并再次开始。",
     "Next step: install the udev rule with a line for this loader device (\"velmora-cli udev-rule "
     "--loader {1}:{2}\" prints it with the command that installs it), then replug the phone and "
     "start again."},
    {"next.usb_timeout",
     "Next step: the phone stopped answering; switch it off and on, replug it and start again.",
     "下一步：手机已停止应答；请将其关机再开机，重新插拔后再次开始。",
     "Next step: the phone stopped answering; switch it off and on, replug it and start again."},
    {"usb.transfer_failed_path", "USB: {1} on the bulk device {2}. {3}",
     "USB：批量传输设备 {2} 上出现 {1}。{3}", "USB: {1} on the bulk device {2}. {3}"},
    {"usb.transfer_failed", "USB: {1} on the bulk device. {2}", "USB：批量传输设备上出现 {1}。{2}",
     "USB: {1} on the bulk device. {2}"},
    {"usb.several_devices",
     "Several USB devices could be the phone:{1}. Next step: name the phone by its bus path "
     "(path={2} in the USB port text) and start again.",
     "有多个 USB 设备都可能是手机：{1}。下一步：用总线路径指定手机（在 USB 端口文本中写 "
     "path={2}），然后重新开始。",
     "Several USB devices could be the phone:{1}. Next step: name the phone by its bus path "
     "(path={2} in the USB port text) and start again."},
    {"usb.describe_run_time_serial", "{1} {2} run-time DFU, serial {3}",
     "{1} {2} 运行时 DFU，序列号 {3}", "{1} {2} run-time DFU, serial {3}"},
    {"usb.describe_run_time", "{1} {2} run-time DFU, no serial number",
     "{1} {2} 运行时 DFU，无序列号", "{1} {2} run-time DFU, no serial number"},
    {"usb.describe_dfu_serial", "{1} {2} DFU mode, serial {3}", "{1} {2} DFU 模式，序列号 {3}",
     "{1} {2} DFU mode, serial {3}"},
    {"usb.describe_dfu", "{1} {2} DFU mode, no serial number", "{1} {2} DFU 模式，无序列号",
     "{1} {2} DFU mode, no serial number"},
    {"usb.describe_bulk_serial", "{1} {2} bulk device, serial {3}",
     "{1} {2} 批量传输设备，序列号 {3}", "{1} {2} bulk device, serial {3}"},
    {"usb.describe_bulk", "{1} {2} bulk device, no serial number", "{1} {2} 批量传输设备，无序列号",
     "{1} {2} bulk device, no serial number"},
    {"usb.describe_other_serial", "{1} {2} other, serial {3}", "{1} {2} 其他设备，序列号 {3}",
     "{1} {2} other, serial {3}"},
    {"usb.describe_other", "{1} {2} other, no serial number", "{1} {2} 其他设备，无序列号",
     "{1} {2} other, no serial number"},
    {"usb.link_item",
     "unknown USB link item \"{1}\" (expected path=BUS-PORT[.PORT...], dfu=VID[:PID], "
     "dlv=VID[:PID] or unix:PATH)",
     "未知的 USB 连接项“{1}”（应为 path=总线-端口[.端口...]、dfu=VID[:PID]、dlv=VID[:PID] 或 "
     "unix:路径）",
     "unknown USB link item \"{1}\" (expected path=BUS-PORT[.PORT...], dfu=VID[:PID], "
     "dlv=VID[:PID] or unix:PATH)"},
    {"usb.no_simulated_phone", "no simulated phone in this program", "本程序中没有模拟手机",
     "no simulated phone in this program"},
    {"usb.simulated_phone_folder", "simulated phone: no folder for its USB stand-in",
     "模拟手机：没有可供其 USB 模拟端使用的文件夹",
     "simulated phone: no folder for its USB stand-in"},
    {"usb.simulated_phone", "simulated phone: {1}", "模拟手机：{1}", "simulated phone: {1}"},
    // What the devices' openings say.
    {"usb.no_dfu_interface", "no DFU interface at {1}", "{1} 上没有 DFU 接口",
     "no DFU interface at {1}"},
    {"usb.no_bulk_interface", "no bulk interface at {1}", "{1} 上没有批量传输接口",
     "no bulk interface at {1}"},
    {"usb.not_back_after_reset_detail",
     "did not come back at {1} within {2} s after its reset: {3}",
     "复位后 {2} 秒内没有在 {1} 重新出现：{3}",
     "did not come back at {1} within {2} s after its reset: {3}"},
    {"usb.not_back_after_reset", "did not come back at {1} within {2} s after its reset",
     "复位后 {2} 秒内没有在 {1} 重新出现", "did not come back at {1} within {2} s after its reset"},
    {"usb.stand_in_unreachable", "cannot reach the USB stand-in at {1}",
     "无法连接到 {1} 处的 USB 模拟端", "cannot reach the USB stand-in at {1}"},
    {"usb.stand_in_silent", "the USB stand-in did not answer", "USB 模拟端没有应答",
     "the USB stand-in did not answer"},
    {"libusb.access", "Access denied (insufficient permissions)", "拒绝访问（权限不足）",
     "Access denied (insufficient permissions)"},
    {"libusb.busy", "Resource busy", "资源忙", "Resource busy"},
    {"libusb.no_device", "No such device (it may have been disconnected)",
     "没有此设备（可能已断开连接）", "No such device (it may have been disconnected)"},
    {"libusb.not_found", "Entity not found", "未找到实体", "Entity not found"},
    {"libusb.io", "Input/Output Error", "输入/输出错误", "Input/Output Error"},
    {"libusb.timeout", "Operation timed out", "操作超时", "Operation timed out"},
    {"libusb.pipe", "Pipe error", "管道错误", "Pipe error"},
    {"libusb.overflow", "Overflow", "溢出", "Overflow"},
    {"libusb.interrupted", "System call interrupted (perhaps due to signal)",
     "系统调用被中断（可能是由于信号）", "System call interrupted (perhaps due to signal)"},
    {"libusb.no_mem", "Insufficient memory", "内存不足", "Insufficient memory"},
    {"libusb.not_supported", "Operation not supported or unimplemented on this platform",
     "此平台不支持或未实现该操作", "Operation not supported or unimplemented on this platform"},
    {"libusb.invalid_param", "Invalid parameter", "参数无效", "Invalid parameter"},
    {"libusb.other", "Other error", "其他错误", "Other error"},
    // The boot ROM over DFU: what failed, and why.
    {"boot.not_started", "The phone's RAM loader was not started: {1}. Next step: {2}",
     "手机的 RAM 加载程序没有启动：{1}。下一步：{2}",
     "The phone's RAM loader was not started: {1}. Next step: {2}"},
    {"boot.no_dlv_device_before", "{1}. Before that, the boot ROM's DFU device: {2} ({3})",
     "{1}。在此之前，引导 ROM 的 DFU 设备：{2}（{3}）",
     "{1}. Before that, the boot ROM's DFU device: {2} ({3})"},
    {"boot.jump_then_no_dlv",
     "The jump into the RAM loader ('J') failed: {1}. The phone's RAM loader did not come up on "
     "USB: no dlv device found. Next step: {2}",
     "跳转到 RAM 加载程序（'J'）失败：{1}。手机的 RAM 加载程序没有在 USB "
     "上出现：未找到下载设备。下一步：{2}",
     "The jump into the RAM loader ('J') failed: {1}. The phone's RAM loader did not come up on "
     "USB: no dlv device found. Next step: {2}"},
    {"boot.no_dlv_device", "The phone's RAM loader did not come up on USB: no dlv device found",
     "手机的 RAM 加载程序没有在 USB 上出现：未找到下载设备",
     "The phone's RAM loader did not come up on USB: no dlv device found"},
    {"boot.jump_and_no_dlv", "{1}, and the RAM loader's USB device did not come up",
     "{1}，而且 RAM 加载程序的 USB 设备没有出现",
     "{1}, and the RAM loader's USB device did not come up"},
    {"boot.address_failed", "the load address ('S') failed: {1}", "加载地址（'S'）失败：{1}",
     "the load address ('S') failed: {1}"},
    {"boot.timeout_failed", "the time-out command ('T') failed: {1}", "超时命令（'T'）失败：{1}",
     "the time-out command ('T') failed: {1}"},
    {"boot.product_id_failed", "the product ID read ('P') failed: {1}",
     "读取产品 ID（'P'）失败：{1}", "the product ID read ('P') failed: {1}"},
    {"boot.version_failed", "the version read ('V') failed: {1}", "读取版本（'V'）失败：{1}",
     "the version read ('V') failed: {1}"},
    {"boot.q_failed", "the 'Q' read failed: {1}", "'Q' 读取失败：{1}", "the 'Q' read failed: {1}"},
    {"boot.dongle_failed", "the host dongle response ('D') failed: {1}",
     "主机加密狗应答（'D'）失败：{1}", "the host dongle response ('D') failed: {1}"},
    {"boot.frame_failed", "frame {1} of {2} of the RAM loader ('L', bytes {3} to {4}) failed: {5}",
     "RAM 加载程序 {2} 帧中的第 {1} 帧（'L'，字节 {3} 到 {4}）失败：{5}",
     "frame {1} of {2} of the RAM loader ('L', bytes {3} to {4}) failed: {5}"},
    {"boot.one_frame_failed", "the RAM loader's one frame ('L') failed: {1}",
     "RAM 加载程序的唯一一帧（'L'）失败：{1}", "the RAM loader's one frame ('L') failed: {1}"},
    {"boot.jump_failed", "the jump into the RAM loader ('J') failed: {1}",
     "跳转到 RAM 加载程序（'J'）失败：{1}", "the jump into the RAM loader ('J') failed: {1}"},
    {"boot.cause_lost_after_reset_detail",
     "the phone did not come back at {1} within {2} s after its reset: {3} ({4})",
     "手机复位后 {2} 秒内没有在 {1} 重新出现：{3}（{4}）",
     "the phone did not come back at {1} within {2} s after its reset: {3} ({4})"},
    {"boot.cause_lost_after_reset",
     "the phone did not come back at {1} within {2} s after its reset ({3})",
     "手机复位后 {2} 秒内没有在 {1} 重新出现（{3}）",
     "the phone did not come back at {1} within {2} s after its reset ({3})"},
    {"boot.cause_gone", "the phone left the bus ({1} on {2})", "手机离开了总线（{2} 上出现 {1}）",
     "the phone left the bus ({1} on {2})"},
    {"boot.cause_silent", "the boot ROM did not answer ({1} on {2})",
     "引导 ROM 没有应答（{2} 上出现 {1}）", "the boot ROM did not answer ({1} on {2})"},
    {"boot.cause_application_mode",
     "the phone came back in application mode (appIDLE) after the DFU detach and reset",
     "DFU 分离并复位后，手机以应用模式（appIDLE）返回",
     "the phone came back in application mode (appIDLE) after the DFU detach and reset"},
    {"boot.cause_error_state", "the boot ROM stayed in dfuERROR ({1}) after its clear",
     "清除后引导 ROM 仍停留在 dfuERROR（{1}）",
     "the boot ROM stayed in dfuERROR ({1}) after its clear"},
    {"boot.cause_awaits_reset",
     "the boot ROM waits for a USB reset (dfuMANIFEST-WAIT-RESET): it is not manifestation "
     "tolerant",
     "引导 ROM 在等待 USB 复位（dfuMANIFEST-WAIT-RESET）：它在固件生效阶段之后不能不经复位继续通信",
     "the boot ROM waits for a USB reset (dfuMANIFEST-WAIT-RESET): it is not manifestation "
     "tolerant"},
    {"boot.cause_not_done", "the boot ROM reported it as not done (errNOTDONE)",
     "引导 ROM 报告其未完成（errNOTDONE）", "the boot ROM reported it as not done (errNOTDONE)"},
    {"boot.cause_not_idle_bus", "the DFU transfer did not end in dfuIDLE (state {1}, {2} on {3})",
     "DFU 传输结束时未处于 dfuIDLE（状态 {1}，{3} 上出现 {2}）",
     "the DFU transfer did not end in dfuIDLE (state {1}, {2} on {3})"},
    {"boot.cause_not_idle", "the DFU transfer did not end in dfuIDLE (state {1})",
     "DFU 传输结束时未处于 dfuIDLE（状态 {1}）",
     "the DFU transfer did not end in dfuIDLE (state {1})"},
    {"next.boot_gone",
     "Check the cable and connect the phone directly, not through a hub; switch it off, start the "
     "job and connect it when asked.",
     "请检查数据线，并将手机直接连接到电脑而不经过集线器；将手机关机，启动作业，并在提示时连接手机"
     "。",
     "Check the cable and connect the phone directly, not through a hub; switch it off, start the "
     "job and connect it when asked."},
    {"next.boot_silent",
     "Switch the phone off, start the job and connect it (or switch it on) when asked, directly "
     "rather than through a hub; a phone whose boot ROM never answers needs service.",
     "请将手机关机，启动作业，并在提示时直接（而不经过集线器）连接手机或将其开机；引导 ROM "
     "始终不应答的手机需要送修。",
     "Switch the phone off, start the job and connect it (or switch it on) when asked, directly "
     "rather than through a hub; a phone whose boot ROM never answers needs service."},
    {"next.boot_application_mode",
     "The phone runs its own software instead of its boot ROM: switch it off, start the job, then "
     "switch it on (or connect it) when asked.",
     "手机运行的是自身的软件而不是引导 ROM：请将其关机，启动作业，然后在提示时将其开机（或连接）。",
     "The phone runs its own software instead of its boot ROM: switch it off, start the job, then "
     "switch it on (or connect it) when asked."},
    {"next.boot_error_state",
     "Unplug the phone and switch it off for a moment to reset its boot ROM, then start the job "
     "and connect it when asked.",
     "请拔下手机并关机片刻以复位其引导 ROM，然后启动作业，并在提示时连接手机。",
     "Unplug the phone and switch it off for a moment to reset its boot ROM, then start the job "
     "and connect it when asked."},
    {"next.boot_loader",
     "Check that the RAM loader (ramloader_usb.bin in the home folder, else the one the program "
     "carries) is the one for this phone; switch the phone off and on and start again.",
     "请确认 RAM 加载程序（主目录中的 "
     "ramloader_usb."
     "bin，否则为程序自带的加载程序）适用于这部手机；将手机关机再开机，然后重新开始。",
     "Check that the RAM loader (ramloader_usb.bin in the home folder, else the one the program "
     "carries) is the one for this phone; switch the phone off and on and start again."},
    {"next.boot_other",
     "Replug the phone, directly rather than through a hub, switch it off and on and start again.",
     "请重新插拔手机，直接连接而不经过集线器，将其关机再开机，然后重新开始。",
     "Replug the phone, directly rather than through a hub, switch it off and on and start again."},
    // The serial port: why it did not open, and what to do.
    {"port.no_path", "\"{1}\" names no serial port", "“{1}”不是串口名称",
     "\"{1}\" names no serial port"},
    {"port.format", "{1}: the port did not take 115200 baud, 8 data bits, even parity",
     "{1}：该串口不支持 115200 波特、8 个数据位、偶校验",
     "{1}: the port did not take 115200 baud, 8 data bits, even parity"},
    {"port.held_by", "{1}: {2}, held by {3}", "{1}：{2}，被 {3} 占用", "{1}: {2}, held by {3}"},
    {"next.port_no_path",
     "Give the port as a device path (/dev/ttyUSB0) or as COM1 to COM1024; `velmora-cli ports` "
     "lists the ports.",
     "请以设备路径（/dev/ttyUSB0）或 COM1 到 COM1024 的形式给出串口；`velmora-cli ports` "
     "可列出串口。",
     "Give the port as a device path (/dev/ttyUSB0) or as COM1 to COM1024; `velmora-cli ports` "
     "lists the ports."},
    {"next.port_missing", "Check the cable/adapter; `velmora-cli ports` lists the ports.",
     "请检查数据线或适配器；`velmora-cli ports` 可列出串口。",
     "Check the cable/adapter; `velmora-cli ports` lists the ports."},
    {"next.port_not_tty", "This is not a serial port; `velmora-cli ports` lists the ports.",
     "这不是串口；`velmora-cli ports` 可列出串口。",
     "This is not a serial port; `velmora-cli ports` lists the ports."},
    {"next.port_busy",
     "Close the other program that uses the port (a terminal, ModemManager, another velmora), then "
     "start again.",
     "请关闭使用该串口的其他程序（终端、ModemManager、另一个 velmora），然后重新开始。",
     "Close the other program that uses the port (a terminal, ModemManager, another velmora), then "
     "start again."},
    {"next.port_held", "Close {1}, which holds the port, then start again.",
     "请关闭占用该串口的 {1}，然后重新开始。",
     "Close {1}, which holds the port, then start again."},
    {"next.port_group",
     "Join the port's group: `sudo usermod -aG {1} $USER`, then log out and in again (the group "
     "takes effect at a new login).",
     "请加入该串口所属的组：`sudo usermod -aG {1} "
     "$USER`，然后注销并重新登录（组在重新登录后生效）。",
     "Join the port's group: `sudo usermod -aG {1} $USER`, then log out and in again (the group "
     "takes effect at a new login)."},
    {"next.port_access",
     "Ask the administrator for read and write access to the port (a udev rule).",
     "请向管理员申请该串口的读写权限（一条 udev 规则）。",
     "Ask the administrator for read and write access to the port (a udev rule)."},
    {"next.port_other",
     "Check the port's path (`velmora-cli ports` lists the ports) and that the adapter works; "
     "unplug and replug it and start again.",
     "请检查串口路径（`velmora-cli ports` "
     "可列出串口）以及适配器是否正常；拔下后重新插上，然后再次开始。",
     "Check the port's path (`velmora-cli ports` lists the ports) and that the adapter works; "
     "unplug and replug it and start again."},
    {"port.udev_list", "udev cannot list the tty devices ({1})", "udev 无法列出 tty 设备（{1}）",
     "udev cannot list the tty devices ({1})"},
    {"port.only_root", "only root may open it; a udev rule can give it a group such as dialout",
     "只有 root 可以打开它；可用 udev 规则把它分给 dialout 之类的组",
     "only root may open it; a udev rule can give it a group such as dialout"},
    {"port.join_group", "sudo usermod -aG {1} $USER, then log out and in again",
     "sudo usermod -aG {1} $USER，然后注销并重新登录",
     "sudo usermod -aG {1} $USER, then log out and in again"},
};

}  // namespace

std::span<const Entry> Links() {
    return kEntries;
}

}  // namespace velmora::text::sections
