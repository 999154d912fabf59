<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>Application</name>
    <message>
        <source>程序正在运行！</source>
        <translation>The program is already running!</translation>
    </message>
    <message>
        <source>多口下载程序正在运行！</source>
        <translation>The multi-port download program is running!</translation>
    </message>
    <message>
        <source>单口下载程序正在运行，请先关闭它！</source>
        <translation>The single-phone window is running. Close it first!</translation>
    </message>
</context>
<context>
    <name>LanguageMenu</name>
    <message>
        <source>语言 Language</source>
        <translation>Language</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>读FlashChip.ini错误，请检查该文件是否存在或损坏！</source>
        <translation>Cannot read FlashChip.ini. Check that the file exists and is intact.</translation>
    </message>
    <message>
        <source>开始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>无法载入英文界面。</source>
        <translation>The English interface could not be loaded.</translation>
    </message>
    <message>
        <source>目标文件:</source>
        <translation>Target file:</translation>
    </message>
    <message>
        <source>选择</source>
        <translation>Choose</translation>
    </message>
    <message>
        <source>串口：</source>
        <translation>Serial port:</translation>
    </message>
    <message>
        <source>波特率：</source>
        <translation>Baud rate:</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>跟随系统</source>
        <translation>System language</translation>
    </message>
</context>
<context>
    <name>WindowJobs</name>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>读FLASH数据</source>
        <translation>Reading flash</translation>
    </message>
    <message>
        <source>代码升级</source>
        <translation>Code upgrade</translation>
    </message>
    <message>
        <source>备份需要一个文件夹：请选择文件夹，或取消勾选“备份”。</source>
        <translation>A backup needs a folder: choose one, or untick “Back up first”.</translation>
    </message>
    <message>
        <source>NAND 健康</source>
        <translation>NAND health</translation>
    </message>
</context>
<context>
    <name>velmora::app::AboutDialog</name>
    <message>
        <source>关于 Velmora</source>
        <translation>About Velmora</translation>
    </message>
    <message>
        <source>Velmora(中文版) 7.03</source>
        <translation>Velmora</translation>
    </message>
    <message>
        <source>程序版本：%1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>支持 FLASH:</source>
        <translation>Supported flash chips:</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>velmora::app::AreaEraseQuestion</name>
    <message>
        <source>块 0（启动块：擦除后手机在重新升级前无法启动）</source>
        <translation>block 0 (the boot block: the phone will not start until it is upgraded again)</translation>
    </message>
    <message>
        <source>块 %1 到 %2（EEROM 和备用区：射频校准参数、IMEI号码等）</source>
        <translation>blocks %1 to %2 (the EEROM and reservoir: the radio calibration, the IMEI number and more)</translation>
    </message>
    <message>
        <source>%1 和 %2</source>
        <translation>%1 and %2</translation>
    </message>
    <message>
        <source>注意：
指定区域 %1 到 %2 占块 %3 到 %4，其中包括%5。
</source>
        <translation>Note:
The area %1 to %2 covers blocks %3 to %4, which include %5.
</translation>
    </message>
    <message>
        <source>警告！</source>
        <translation>Warning!</translation>
    </message>
    <message>
        <source>确认要擦除?</source>
        <translation>Erase it?</translation>
    </message>
    <message>
        <source>是</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>否</source>
        <translation>No</translation>
    </message>
</context>
<context>
    <name>velmora::app::FailureDialog</name>
    <message>
        <source>失败详情</source>
        <translation>Failure details</translation>
    </message>
    <message>
        <source>结果：</source>
        <translation>Result:</translation>
    </message>
    <message>
        <source>步骤：</source>
        <translation>Step:</translation>
    </message>
    <message>
        <source>含义：</source>
        <translation>Meaning:</translation>
    </message>
    <message>
        <source>原因：</source>
        <translation>Reason:</translation>
    </message>
    <message>
        <source>下一步：</source>
        <translation>Next step:</translation>
    </message>
    <message>
        <source>dl_log.txt 的最后几行：</source>
        <translation>The last lines of dl_log.txt:</translation>
    </message>
    <message>
        <source>作业最后的状态：</source>
        <translation>The job&apos;s last statuses:</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>velmora::app::HealthDialog</name>
    <message>
        <source>NAND 健康</source>
        <translation>NAND health</translation>
    </message>
    <message>
        <source>保存为 JSON...</source>
        <translation>Save as JSON...</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>保存 NAND 健康报告</source>
        <translation>Save the NAND health report</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>无法保存 %1：%2</source>
        <translation>Cannot save %1: %2</translation>
    </message>
</context>
<context>
    <name>velmora::app::MainWindow</name>
    <message>
        <source>串口号：</source>
        <translation>Port number:</translation>
    </message>
    <message>
        <source>读FlashChip.ini错误，请检查该文件是否存在或损坏！</source>
        <translation>Cannot read FlashChip.ini. Check that the file exists and is intact.</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>选择模式错误！</source>
        <translation>Invalid work mode!</translation>
    </message>
    <message>
        <source>开始：</source>
        <translation>Start:</translation>
    </message>
    <message>
        <source>结束：</source>
        <translation>End:</translation>
    </message>
    <message>
        <source>备份文件夹</source>
        <translation>Backup folder</translation>
    </message>
    <message>
        <source>(未选择文件夹)</source>
        <translation>(no folder chosen)</translation>
    </message>
    <message>
        <source>开始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>无法载入英文界面。</source>
        <translation>The English interface could not be loaded.</translation>
    </message>
    <message>
        <source>代码升级</source>
        <translation>Code upgrade</translation>
    </message>
    <message>
        <source>读取代码</source>
        <translation>Read code</translation>
    </message>
    <message>
        <source>擦除</source>
        <translation>Erase</translation>
    </message>
    <message>
        <source>依据分区表</source>
        <translation>By partition table</translation>
    </message>
    <message>
        <source>指定区域</source>
        <translation>Specified area</translation>
    </message>
    <message>
        <source>文件系统</source>
        <translation>File system</translation>
    </message>
    <message>
        <source>代码区域</source>
        <translation>Code area</translation>
    </message>
    <message>
        <source>代码和文件系统</source>
        <translation>Code and file system</translation>
    </message>
    <message>
        <source>读取范围：</source>
        <translation>Read range:</translation>
    </message>
    <message>
        <source>擦除范围：</source>
        <translation>Erase range:</translation>
    </message>
    <message>
        <source> (调试模式)</source>
        <translation> (debug mode)</translation>
    </message>
    <message>
        <source>目标文件:</source>
        <translation>Target file:</translation>
    </message>
    <message>
        <source>选择</source>
        <translation>Choose</translation>
    </message>
    <message>
        <source>串口：</source>
        <translation>Serial port:</translation>
    </message>
    <message>
        <source>波特率：</source>
        <translation>Baud rate:</translation>
    </message>
    <message>
        <source>工作模式：</source>
        <translation>Work mode:</translation>
    </message>
    <message>
        <source>花费时间：</source>
        <translation>Elapsed:</translation>
    </message>
    <message>
        <source>当前进度：</source>
        <translation>Progress:</translation>
    </message>
    <message>
        <source>芯片信息:</source>
        <translation>Chip:</translation>
    </message>
    <message>
        <source>设备:</source>
        <translation>Device:</translation>
    </message>
    <message>
        <source>速率:</source>
        <translation>Rate:</translation>
    </message>
    <message>
        <source>当前状态:</source>
        <translation>Status:</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>备份</source>
        <translation>Back up first</translation>
    </message>
    <message>
        <source>写入前把 EEROM 和将被擦除的块备份到所选文件夹中的新文件夹</source>
        <translation>Before writing, back up the EEROM and the blocks the job will erase into a new folder inside the chosen one</translation>
    </message>
    <message>
        <source>文件夹...</source>
        <translation>Folder...</translation>
    </message>
    <message>
        <source>校验</source>
        <translation>Verify</translation>
    </message>
    <message>
        <source>写入后读回每个写入的块并比较</source>
        <translation>After writing, read back every written block and compare</translation>
    </message>
    <message>
        <source>两次读取 EEROM</source>
        <translation>Read the EEROM twice</translation>
    </message>
    <message>
        <source>备份时把 EEROM 读两遍并比较，读出时翻转的位由第三次读取纠正；921600 波特率下约多 110 秒</source>
        <translation>Back up the EEROM by reading it twice and comparing, so that a bit flipped on its way out of the chip is settled by a third read; about 110 s more at 921600 baud</translation>
    </message>
    <message>
        <source>NAND 健康</source>
        <translation>NAND health</translation>
    </message>
    <message>
        <source>详情...</source>
        <translation>Details...</translation>
    </message>
    <message>
        <source>失败的含义、原因、下一步和作业的最后几行</source>
        <translation>What the failure means, its reason, the next step and the job&apos;s last lines</translation>
    </message>
    <message>
        <source>关于 Velmora</source>
        <translation>About Velmora</translation>
    </message>
</context>
<context>
    <name>velmora::app::PortSearchDialog</name>
    <message>
        <source>搜索计算机可用的串口，请等待:</source>
        <translation>Searching for serial ports, please wait:</translation>
    </message>
</context>
<context>
    <name>velmora::app::RangeDialog</name>
    <message>
        <source>输入地址或块</source>
        <translation>Enter an address or a block</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>块</source>
        <translation>Block</translation>
    </message>
    <message>
        <source>开始：  0X</source>
        <translation>Start:  0X</translation>
    </message>
    <message>
        <source>结束：  0X</source>
        <translation>End:  0X</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>输入参数错误，结束地址小于开始地址！</source>
        <translation>Invalid input: the end address is below the start address!</translation>
    </message>
</context>
<context>
    <name>velmora::app::ReplaceQuestion</name>
    <message>
        <source>文件夹 %1 中已有上次读取的文件：%2。要替换它们吗？</source>
        <translation>The folder %1 holds files of an earlier read: %2. Replace them?</translation>
    </message>
    <message>
        <source>替换</source>
        <translation>Replace</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>velmora::app::StationCell</name>
    <message>
        <source>连接</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>擦除</source>
        <translation>Erase</translation>
    </message>
    <message>
        <source>写入</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>启动块</source>
        <translation>Boot block</translation>
    </message>
    <message>
        <source>读取</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>擦除范围</source>
        <translation>Erase range</translation>
    </message>
    <message>
        <source>备份</source>
        <translation>Back up</translation>
    </message>
    <message>
        <source>校验</source>
        <translation>Verify</translation>
    </message>
    <message>
        <source>通过</source>
        <translation>Passed</translation>
    </message>
    <message>
        <source>失败 · %1</source>
        <translation>Failed · %1</translation>
    </message>
    <message>
        <source>已停止</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>详情...</source>
        <translation>Details...</translation>
    </message>
    <message>
        <source>失败的含义、原因、下一步和最后的状态</source>
        <translation>What the failure means, its reason, the next step and the last statuses</translation>
    </message>
    <message>
        <source>未写入站点日志：%1</source>
        <translation>Not in the station log: %1</translation>
    </message>
</context>
<context>
    <name>velmora::app::StationWindow</name>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>请选择至少一个端口！</source>
        <translation>Tick at least one port!</translation>
    </message>
    <message>
        <source>%1 部手机的记录未能写入站点日志 %2。它们保存在 %3，下次启动多口下载或运行 velmora-cli log --merge-pending 时加入日志。</source>
        <translation>%1 phone row(s) could not be written to the station log %2. They wait in %3 and are added at the next station start or by velmora-cli log --merge-pending.</translation>
    </message>
    <message>
        <source>%1 部手机的记录既未写入站点日志，也未能保存到 %2：这些记录已丢失（见各端口的说明）。</source>
        <translation>%1 phone row(s) could be written neither to the station log nor to %2: they are lost (each slot says why).</translation>
    </message>
    <message>
        <source>站点日志</source>
        <translation>Station log</translation>
    </message>
    <message>
        <source>通过：%1</source>
        <translation>Passed: %1</translation>
    </message>
    <message>
        <source>失败：%1</source>
        <translation>Failed: %1</translation>
    </message>
    <message>
        <source>Velmora 多口下载</source>
        <translation>Velmora station</translation>
    </message>
    <message>
        <source>端口（每个勾选的端口一部手机）：</source>
        <translation>Ports (one phone on each ticked port):</translation>
    </message>
    <message>
        <source>串口、USB 路径或 sim:…</source>
        <translation>Serial port, USB path or sim:…</translation>
    </message>
    <message>
        <source>添加</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>循环（完成后等待下一部手机）</source>
        <translation>Loop (wait for the next phone when done)</translation>
    </message>
    <message>
        <source>写入后校验</source>
        <translation>Verify after writing</translation>
    </message>
</context>
<context>
    <name>velmora::app::StopQuestion</name>
    <message>
        <source>作业正在写入手机。要停止正在运行的作业吗？</source>
        <translation>The job is writing to the phone. Stop the running job?</translation>
    </message>
    <message>
        <source>停止后，手机中的数据可能不完整。正在写入的启动块会先写完。</source>
        <translation>After a stop the phone&apos;s contents may be incomplete. A boot block being written is finished first.</translation>
    </message>
    <message>
        <source>停止作业</source>
        <translation>Stop the job</translation>
    </message>
    <message>
        <source>继续运行</source>
        <translation>Keep running</translation>
    </message>
</context>
<context>
    <name>velmora::app::WarningDialog</name>
    <message>
        <source>警告！</source>
        <translation>Warning!</translation>
    </message>
    <message>
        <source>注意：
选择该项，将擦除手机内部的所有数据，包括射频校准参数、IMEI号码等！
</source>
        <translation>Note:
This choice erases all data inside the phone, including the radio calibration parameters, the IMEI number and more!
</translation>
    </message>
    <message>
        <source>确认要擦除?</source>
        <translation>Erase it?</translation>
    </message>
    <message>
        <source>是</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>否</source>
        <translation>No</translation>
    </message>
</context>
</TS>
