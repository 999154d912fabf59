#include "base/results.h"

#include <cctype>
#include <cstdint>
#include <vector>

namespace velmora {
namespace {

using L = ResultLink;
using S = JobStep;

constexpr ResultEntry Plain(S step, L link, int code, std::string_view name,
                            std::string_view meaning, std::string_view next_step) {
    ResultEntry e{};
    e.step = step;
    e.link = link;
    e.code = code;
    e.name = name;
    e.meaning = meaning;
    e.next_step = next_step;
    return e;
}

// base + a code of `part`.
constexpr ResultEntry AddCode(S step, L link, int base, std::string_view name, S part,
                              std::string_view meaning, std::string_view next_step) {
    ResultEntry e = Plain(step, link, base, name, meaning, next_step);
    e.form = ResultForm::kAddCode;
    e.part_step = part;
    return e;
}

// base + an index from first to last, shown as index + shown_from.
constexpr ResultEntry AddIndex(S step, L link, int base, std::string_view name, int first, int last,
                               int shown_from, std::string_view meaning,
                               std::string_view next_step) {
    ResultEntry e = Plain(step, link, base, name, meaning, next_step);
    e.form = ResultForm::kAddIndex;
    e.first = first;
    e.last = last;
    e.shown_from = shown_from;
    return e;
}

// The inner code that the error text carries is a code of `a` (or else of `b`).
constexpr ResultEntry Wraps(ResultEntry e, S a, std::optional<S> b = std::nullopt) {
    e.wraps = {a, b};
    return e;
}

// The value and the name of a constant, so that the two cannot drift apart.
#define VELMORA_CODE(ns, constant) result::ns::constant, #constant

// Advice that several rows share.
constexpr std::string_view kReplugSerial =
    "Switch the phone off, check that the cable sits firmly, start the job and switch the phone "
    "on when asked.";
constexpr std::string_view kLineSerial =
    "Check the cable and that the phone still has power; at 921600 baud try 460800 or 115200. "
    "Switch the phone off and on and start again.";
constexpr std::string_view kLineUsb =
    "Check the cable and connect the phone directly, not through a hub; switch it off and on, "
    "replug it and start again.";
constexpr std::string_view kLineBoth =
    "Check the cable (on the serial link try a lower baud rate, on USB connect the phone "
    "directly, not through a hub); switch the phone off and on and start again.";
constexpr std::string_view kWrongLoader =
    "Check that the RAM loader (ramloader_serial.bin or ramloader_usb.bin in the home folder, "
    "else the one the program carries) is the one for this phone; switch the phone off and on "
    "and start again.";
constexpr std::string_view kWornBlock =
    "Run the job again; if the same block fails each time, it has gone bad and the phone needs "
    "service.";
constexpr std::string_view kUnsteadyRead =
    "Read again; if the same block disagrees again the chip is failing: keep what was read "
    "and have the phone serviced.";
constexpr std::string_view kDescriptors =
    "Replug the phone, directly rather than through a hub, and start again.";
constexpr std::string_view kProgramFault =
    "Start again; if it comes back, run the job in debug mode and keep dl_log.txt for whoever "
    "supports the tool.";
constexpr std::string_view kUpgradeAgain =
    "Until an upgrade completes the phone may not start: run it again before the phone is put "
    "away.";
constexpr std::string_view kBlockZeroAgain =
    "Run the upgrade again at once, before the phone is switched off: block 0 holds the phone's "
    "boot code.";
constexpr std::string_view kOutputFolder =
    "Check that the folder upload_nand in the home folder can be written, and that the disk is "
    "not full.";
constexpr std::string_view kTableKey =
    "Add the key to the partition's section of the .ptt file, or use the table that came with "
    "the firmware.";
constexpr std::string_view kBootImage =
    "Check that the boot image is still in the table's folder, unchanged since the table was "
    "loaded, and that you may read it; then run the upgrade again.";

constexpr ResultEntry kTable[] = {
    // --- the request's files --------------------------------------------------------
    Plain(S::kCatalogueCheck, L::kBoth, VELMORA_CODE(catalogue, kNotReadable),
          "FlashChip.ini, the chip catalogue, cannot be read",
          "Put FlashChip.ini into the program's home folder (--home or VELMORA_HOME; else the "
          "program's own folder, or ~/.local/share/velmora, which an installed program fills on "
          "first start) and check that you may read it."),
    Plain(S::kCatalogueCheck, L::kBoth, VELMORA_CODE(catalogue, kDamaged),
          "FlashChip.ini is damaged: its [VERSION] section lacks DATE or VER",
          "Add DATE and VER to [VERSION], or restore FlashChip.ini from the package the program "
          "came with."),

    Plain(S::kTable, L::kBoth, VELMORA_CODE(partition_table, kNoCount),
          "the partition table cannot be read or gives no number_of_partition, or a content file "
          "is larger than its partition (a message names it)",
          "Check that you chose the right .ptt file and may read it; a partition named as too "
          "large needs the image file that belongs to this table."),
    Plain(S::kTable, L::kBoth, VELMORA_CODE(partition_table, kTooMany),
          "number_of_partition is above 16",
          "Correct number_of_partition (0 to 16), or use the table that came with the firmware."),
    Wraps(Plain(S::kTable, L::kBoth, VELMORA_CODE(partition_table, kEntryFailed),
                "a partition's entry is incomplete, or its content file cannot be read",
                "Mend the partition's section of the .ptt file, or put its content file into the "
                "table's folder."),
          S::kTableEntry),
    Plain(S::kTable, L::kBoth, VELMORA_CODE(partition_table, kNoBootName),
          "the table names no boot image (BootNand is missing)",
          "Add BootNand=FILE to [partition_table_config_start], or use the table that came with "
          "the firmware."),
    Plain(S::kTable, L::kBoth, VELMORA_CODE(partition_table, kNoBootFile),
          "the boot image file that BootNand names cannot be opened",
          "Put the boot image into the table's folder under the name BootNand gives, and check "
          "that you may read it."),

    Plain(S::kTableEntry, L::kBoth, VELMORA_CODE(partition_entry, kNoId),
          "partition_id is missing or empty", kTableKey),
    Plain(S::kTableEntry, L::kBoth, VELMORA_CODE(partition_entry, kNoName),
          "partition_name is missing or empty", kTableKey),
    Plain(S::kTableEntry, L::kBoth, VELMORA_CODE(partition_entry, kNoPath),
          "partition_path is missing or empty", kTableKey),
    Plain(S::kTableEntry, L::kBoth, VELMORA_CODE(partition_entry, kNoSize),
          "partition_size is missing or empty", kTableKey),
    Plain(S::kTableEntry, L::kBoth, VELMORA_CODE(partition_entry, kNoOffset),
          "partition_offset is missing or empty", kTableKey),
    Plain(S::kTableEntry, L::kBoth, VELMORA_CODE(partition_entry, kNoProtected),
          "partition_protected is missing or empty", kTableKey),
    Plain(S::kTableEntry, L::kBoth, VELMORA_CODE(partition_entry, kCannotOpen),
          "the partition's content file cannot be opened",
          "Put the file that partition_path names into the table's folder (the path is taken "
          "relative to it), and check that you may read it."),
    Plain(S::kTableEntry, L::kBoth, VELMORA_CODE(partition_entry, kReopenFailed),
          "the content file of a protected partition could not be opened again to fingerprint it",
          "Check that nothing moves or replaces the file while the table loads, then load the "
          "table again."),
    Plain(S::kTableEntry, L::kBoth, VELMORA_CODE(partition_entry, kNoDigest),
          "the content file of a protected partition could not be read whole to fingerprint it",
          "Check the file and the disk it lies on (size, read errors), then load the table "
          "again."),

    // --- the serial boot stage -------------------------------------------------------
    Plain(S::kOpenPort, L::kSerial, VELMORA_CODE(serial_job, kOpenPortFailed),
          "the serial port could not be opened, or not set to 115200 baud",
          "Check the port's path (velmora-cli ports lists the ports; COM3 means /dev/ttyS2), that "
          "no other program holds it (a terminal, ModemManager, another velmora), and that you "
          "may open it (group dialout)."),
    Plain(S::kWaitPhone, L::kSerial, VELMORA_CODE(serial_job, kPhoneNotConnected),
          "the phone's boot ROM did not answer: it announced itself but did not echo the reply, "
          "or the port went away",
          "Switch the phone off, check that the cable sits firmly and that no other program "
          "writes to the port; start the job and switch the phone on when asked."),
    Plain(S::kBootRom, L::kSerial, VELMORA_CODE(serial_boot, kNoTimeoutAck),
          "the boot ROM did not acknowledge the time-out command ('T')", kReplugSerial),
    Plain(S::kBootRom, L::kSerial, VELMORA_CODE(serial_boot, kNoProductId),
          "the boot ROM did not send its product ID ('P')", kReplugSerial),
    Plain(S::kBootRom, L::kSerial, VELMORA_CODE(serial_boot, kNoAnswer),
          "the boot ROM did not answer a later command of the handshake", kReplugSerial),
    Wraps(Plain(S::kBootRom, L::kUsb, VELMORA_CODE(usb_job, kNoLoaderDevice),
                "the boot ROM's identification over DFU failed so that no RAM loader can be "
                "started: the phone left the bus, did not answer, came back in application mode "
                "or stayed in an error state (the error text says which)",
                kLineUsb),
          S::kDfu),

    Wraps(Plain(S::kLoader, L::kSerial, VELMORA_CODE(serial_job, kLoaderTransferFailed),
                "the RAM loader could not be sent to the phone", kReplugSerial),
          S::kLoader),
    Wraps(Plain(S::kLoader, L::kUsb, VELMORA_CODE(usb_job, kNoLoaderDevice),
                "the RAM loader could not be sent over DFU, so none can be running (the error "
                "text names the frame and the cause)",
                kLineUsb),
          S::kDfu),
    Plain(S::kLoader, L::kBoth, VELMORA_CODE(ram_loader, kImageNotFound),
          "the program carries no RAM loader image for this link",
          "Put the RAM loader (ramloader_serial.bin for the serial link, ramloader_usb.bin for "
          "USB) into the program's home folder."),
    Plain(S::kLoader, L::kBoth, VELMORA_CODE(ram_loader, kImageEmpty),
          "the RAM loader image is empty, or not a whole number of 32-bit words",
          "Replace ramloader_serial.bin or ramloader_usb.bin in the home folder with the loader "
          "that came with the phone's firmware."),
    Plain(S::kLoader, L::kBoth, VELMORA_CODE(ram_loader, kImageNotLoadable),
          "the RAM loader image in the home folder cannot be read",
          "Check that you may read ramloader_serial.bin or ramloader_usb.bin in the home folder, "
          "or remove it to use the loader the program carries."),
    Plain(S::kLoader, L::kBoth, VELMORA_CODE(ram_loader, kImageNotLockable),
          "the RAM loader image could not be taken into memory", kProgramFault),
    Plain(S::kLoader, L::kSerial, VELMORA_CODE(serial_boot, kNoAddressAck),
          "the boot ROM did not acknowledge the load address ('S'): it did not take the "
          "handshake",
          "Check that the port is the phone's and the cable sits firmly; switch the phone off "
          "and on and start again."),
    Plain(S::kLoader, L::kSerial, VELMORA_CODE(serial_boot, kNoLoadAck),
          "the boot ROM did not acknowledge a piece of the RAM loader",
          "Check the cable: a loose contact or a long cable garbles the boot stage at 115200 "
          "baud. Switch the phone off and on and start again."),

    Plain(S::kBaudSwitch, L::kSerial, VELMORA_CODE(serial_job, kLineFormatFailed),
          "the port could not be set to 115200 baud, 8N1, for the RAM loader",
          "Check that the port takes 115200 baud (the log names the rate it took); replug a USB "
          "serial adapter and start again."),
    Plain(S::kBaudSwitch, L::kSerial, VELMORA_CODE(serial_job, kLoaderNotStarted),
          "the RAM loader did not announce its start: it did not arrive whole, or does not run "
          "on this phone",
          kWrongLoader),
    Plain(S::kBaudSwitch, L::kSerial, VELMORA_CODE(serial_job, kBaud921600Failed),
          "the port could not be set to 921600 baud",
          "Choose 460800 or 115200 baud: this port or adapter does not take 921600 (the log "
          "names the rate it took)."),
    Plain(S::kBaudSwitch, L::kSerial, VELMORA_CODE(serial_job, kBaud460800Failed),
          "the port could not be set to 460800 baud",
          "Choose 115200 baud: this port or adapter does not take 460800 (the log names the rate "
          "it took)."),

    // --- the USB boot stage ----------------------------------------------------------
    Plain(S::kUsbBus, L::kUsb, VELMORA_CODE(usb_job, kUsbUnavailable),
          "USB cannot be used: libusb could not be started, or the USB stand-in did not answer",
          "The error text gives libusb's reason. Check that libusb-1.0 works on this machine (a "
          "container needs /dev/bus/usb passed through), then start again."),
    Plain(S::kUsbSearch, L::kUsb, VELMORA_CODE(usb_job, kNoDfuDevice),
          "no phone was taken: the job was stopped while it searched for the boot ROM's DFU "
          "device, or several devices could be the phone (the error text lists them)",
          "Connect or switch on the phone after Start, when the status says \"Searching DFU "
          "device...\". With several candidates, name the phone by its bus path (path=BUS-PORT "
          "in the USB port text) and start again."),
    Wraps(Plain(S::kUsbOpen, L::kUsb, VELMORA_CODE(usb_job, kDfuOpenFailed),
                "the boot ROM's DFU device could not be opened, or its descriptors not read",
                "Follow the error text's next step: without access install the udev rule "
                "(velmora-cli udev-rule prints it), or close the program that holds the device; "
                "replug the phone and start again."),
          S::kDfu),

    Plain(S::kDfu, L::kUsb, VELMORA_CODE(dfu, kNotOpen),
          "a boot ROM command went to a DFU device that is not open", kDescriptors),
    Plain(S::kDfu, L::kUsb, VELMORA_CODE(dfu, kAlreadyOpen),
          "the DFU device was opened twice in one job", kProgramFault),
    Plain(S::kDfu, L::kUsb, VELMORA_CODE(dfu, kOpenFailed),
          "the DFU device could not be opened (no access, held by another program, or gone)",
          "Install the udev rule (velmora-cli udev-rule prints it) or close the program that "
          "holds the device; replug the phone and start again."),
    Plain(S::kDfu, L::kUsb, VELMORA_CODE(dfu, kNoDeviceDescriptor),
          "the DFU device's device descriptor could not be read", kDescriptors),
    Plain(S::kDfu, L::kUsb, VELMORA_CODE(dfu, kEmptyString),
          "the DFU device answered a string descriptor with nothing", kDescriptors),
    Plain(S::kDfu, L::kUsb, VELMORA_CODE(dfu, kNoString),
          "a string descriptor of the DFU device could not be read", kDescriptors),
    Plain(S::kDfu, L::kUsb, VELMORA_CODE(dfu, kNoConfiguration),
          "the DFU device's configuration descriptor could not be read", kDescriptors),
    Plain(S::kDfu, L::kUsb, VELMORA_CODE(dfu, kNoFunctional),
          "the DFU device gives no DFU functional descriptor", kDescriptors),
    Plain(S::kDfu, L::kUsb, VELMORA_CODE(dfu, kTransferFailed),
          "a boot ROM command did not end with the DFU device idle: it reported an error or "
          "stopped answering",
          kLineUsb),
    Plain(S::kDfu, L::kUsb, VELMORA_CODE(dfu, kBadArguments),
          "a boot ROM command was built with arguments its rule forbids (a fault of the program)",
          kProgramFault),
    Plain(S::kDfu, L::kUsb, VELMORA_CODE(dfu, kNotDoneWrite),
          "the boot ROM reported a write command as not done (errNOTDONE)", kLineUsb),
    Plain(S::kDfu, L::kUsb, VELMORA_CODE(dfu, kNotDoneLoad),
          "the boot ROM reported a load as not done (errNOTDONE)", kLineUsb),

    Wraps(Plain(S::kDlvSearch, L::kUsb, VELMORA_CODE(usb_job, kNoLoaderDevice),
                "the RAM loader's USB device did not come up, or would not open: the loader did "
                "not arrive or does not run, or its device is not recognised",
                "If the device came but would not open, install the udev rule (velmora-cli "
                "udev-rule) or close the program that holds it. If the loader's device has IDs "
                "of its own, name them (dlv=VID:PID). Else check that ramloader_usb.bin is the "
                "loader for this phone. Switch the phone off and on and start again."),
          S::kDlvSearch),
    Plain(S::kDlvSearch, L::kUsb, VELMORA_CODE(usb_device, kNoWritePipe),
          "the RAM loader's device could not be opened, or its OUT pipe not used",
          "Install the udev rule (velmora-cli udev-rule) or close the program that holds the "
          "device (ModemManager among them); replug the phone and start again."),
    Plain(S::kDlvSearch, L::kUsb, VELMORA_CODE(usb_device, kNoReadPipe),
          "the RAM loader's device gives no IN pipe", kDescriptors),

    Plain(S::kBulk, L::kUsb, VELMORA_CODE(usb_device, kBulkNoHandle),
          "a transfer was tried on the RAM loader's device while it was closed", kProgramFault),
    Plain(S::kBulk, L::kUsb, VELMORA_CODE(usb_device, kBulkFailed),
          "a transfer to or from the RAM loader's device failed or timed out (the error text "
          "gives libusb's reason)",
          kLineUsb),
    Plain(S::kBulk, L::kUsb, VELMORA_CODE(usb_device, kBulkReadFailed),
          "a read from the RAM loader's device failed (the error text gives libusb's reason)",
          kLineUsb),

    // --- the RAM loader's first commands --------------------------------------------
    Wraps(Plain(S::kIdentify, L::kBoth, VELMORA_CODE(serial_job, kIdentifyFailed),
                "the NAND chip could not be identified",
                "The status line says why; switch the phone off and on and start again."),
          S::kIdentify),
    Plain(S::kIdentify, L::kBoth, VELMORA_CODE(identify, kNoAnswer),
          "the RAM loader did not answer the NAND ID command (no answer, also after one retry)",
          kLineBoth),
    Plain(S::kIdentify, L::kBoth, VELMORA_CODE(identify, kBadAnswer),
          "the RAM loader answered the NAND ID command with a bad header or an error status",
          kWrongLoader),
    Plain(S::kIdentify, L::kBoth, VELMORA_CODE(identify, kNoChip),
          "the NAND chip did not answer (maker ID 0xFF)",
          "Check that the RAM loader is the one for this phone; a phone whose chip always "
          "answers so needs service."),
    Plain(S::kIdentify, L::kBoth, VELMORA_CODE(identify, kBadGeometry),
          "the catalogue's entry for this chip holds a value the program cannot serve (a page "
          "size that is not a non-zero multiple of 512, a block size that is not a multiple of "
          "16 KiB and of the page, or a value out of range; the error text names the key)",
          "Correct the key the error text names in this chip's entry of FlashChip.ini, from the "
          "chip's data sheet; the catalogue's other chips are served as they are."),
    AddCode(S::kIdentify, L::kBoth, VELMORA_CODE(identify, kCatalogueBase), S::kCatalogue,
            "the chip catalogue has no usable entry for this chip",
            "Add or mend the chip's entry in FlashChip.ini; the chip information shows its ID "
            "bytes, the section is [MAKER,DEVICE]."),

    Plain(S::kCatalogue, L::kBoth, VELMORA_CODE(catalogue, kNotReadable),
          "FlashChip.ini cannot be read",
          "Put FlashChip.ini back into the program's home folder and check that you may read "
          "it."),
    AddIndex(S::kCatalogue, L::kBoth, VELMORA_CODE(catalogue, kMissingKeysBase), 1, 6, 0,
             "the chip's entry in FlashChip.ini lacks {n} of its six keys (six: the chip is not "
             "listed)",
             "Add the chip to FlashChip.ini: a section [MAKER,DEVICE] with the ID bytes the chip "
             "information shows, and BLOCK_NUM, BLOCK_SIZE, PAGE_SIZE, SPARE_SIZE, ERASE_TIME "
             "and WRITE_TIME from the chip's data sheet."),

    Wraps(Plain(S::kIbt, L::kSerial, VELMORA_CODE(serial_job, kIbtFailed),
                "the phone's bad-block table (IBT) could not be read", kLineSerial),
          S::kIbt),
    Wraps(Plain(S::kIbt, L::kUsb, VELMORA_CODE(usb_job, kIbtFailed),
                "the phone's bad-block table (IBT) could not be read", kLineUsb),
          S::kIbt),
    Plain(S::kIbt, L::kBoth, VELMORA_CODE(target, kIbtNoResponse),
          "no answer to the IBT command (also after one retry)", kLineBoth),
    Plain(S::kIbt, L::kBoth, VELMORA_CODE(target, kIbtNoData),
          "the IBT's 2048 bytes did not come (also after one retry)", kLineBoth),
    Plain(S::kIbt, L::kBoth, VELMORA_CODE(target, kIbtBadResponse),
          "the answer to the IBT command had a bad header or a status above 20", kWrongLoader),

    Wraps(Plain(S::kParameters, L::kSerial, VELMORA_CODE(serial_job, kParametersFailed),
                "the RAM loader did not take the NAND parameters", kLineSerial),
          S::kParameters),
    Wraps(Plain(S::kParameters, L::kUsb, VELMORA_CODE(usb_job, kParametersFailed),
                "the RAM loader did not take the NAND parameters", kLineUsb),
          S::kParameters),
    Plain(S::kParameters, L::kBoth, VELMORA_CODE(target, kParametersNoAck),
          "no acknowledgement of the NAND parameters (also after one retry)", kLineBoth),

    Wraps(Plain(S::kRecord, L::kBoth, VELMORA_CODE(serial_job, kRecordFailed),
                "the phone's bad-block management record could not be read", kLineBoth),
          S::kRecord),
    Plain(S::kRecord, L::kBoth, VELMORA_CODE(target, kNoRecord),
          "not a failure: the phone holds no management record (a code upgrade builds one)",
          "Nothing to do."),
    Plain(S::kRecord, L::kBoth, VELMORA_CODE(target, kRecordNoResponse),
          "no answer to the record command (also after one retry)", kLineBoth),
    Plain(S::kRecord, L::kBoth, VELMORA_CODE(target, kRecordNoData),
          "the record's 4108 bytes did not come (also after one retry)", kLineBoth),
    Plain(S::kRecord, L::kBoth, VELMORA_CODE(target, kRecordBadHeader),
          "the answer to the record command had a bad header", kWrongLoader),
    Plain(S::kRecord, L::kBoth, VELMORA_CODE(target, kRecordBadStatus),
          "the phone answered the record command with an error status: its record may be "
          "damaged",
          "Switch the phone off and on and start again; if it comes back, the phone needs "
          "service."),
    Plain(S::kRecord, L::kBoth, VELMORA_CODE(target, kRecordCrcMismatch),
          "the record arrived damaged (CRC mismatch)", kLineBoth),

    Wraps(Plain(S::kInitSdi, L::kUsb, VELMORA_CODE(usb_job, kInitSdiFailed),
                "the RAM loader's SDI initialisation failed", kLineUsb),
          S::kInitSdi),
    Plain(S::kInitSdi, L::kUsb, VELMORA_CODE(target, kSdiSendFailed),
          "the SDI command could not be sent", kLineUsb),
    Plain(S::kInitSdi, L::kUsb, VELMORA_CODE(target, kSdiNoResponse),
          "no answer to the SDI command", kLineUsb),
    Plain(S::kInitSdi, L::kUsb, VELMORA_CODE(target, kSdiBadHeader),
          "the answer to the SDI command had a bad header", kWrongLoader),
    AddIndex(S::kInitSdi, L::kUsb, VELMORA_CODE(target, kSdiWordBase), 0, 11, 0,
             "word {n} of the SDI answer is wrong: the RAM loader reports a fault of the phone's "
             "SDI",
             kWrongLoader),

    // --- code upgrade ------------------------------------------------------------------
    Wraps(Plain(S::kUpgrade, L::kBoth, VELMORA_CODE(download, kCodeAreaEraseFailed),
                "erasing the code area failed (the error text names the block and the erase's "
                "code)",
                kUpgradeAgain),
          S::kBlockErase),
    Wraps(Plain(S::kUpgrade, L::kBoth, VELMORA_CODE(download, kPartitionEraseFailed),
                "erasing a partition failed (the error text names the partition)", kUpgradeAgain),
          S::kPartitionErase),
    Wraps(Plain(S::kUpgrade, L::kBoth, VELMORA_CODE(download, kWriteFailed),
                "a partition or the boot block was not written (the error text names which)",
                kUpgradeAgain),
          S::kPartitionWrite, S::kBootBlock),
    Plain(S::kUpgrade, L::kBoth, VELMORA_CODE(download, kUpgradeRefused),
          "the upgrade was refused before anything was erased: the firmware does not fit this "
          "chip or its bad blocks, or the chip's block 0, which must hold the boot block, is "
          "bad (the error text names the partition, block or file)",
          "Nothing on the phone was changed. Use the firmware made for this phone, or mend what "
          "the error text names; a phone whose block 0 is bad cannot start from it and needs "
          "service."),
    AddCode(S::kUpgrade, L::kBoth, VELMORA_CODE(download, kRecordBuildBase), S::kRecordBuild,
            "the bad-block management record could not be built before the first erase",
            "The record build's code says why; follow its next step."),

    Plain(S::kRecordBuild, L::kBoth, VELMORA_CODE(erase, kReservoirExhausted),
          "more blocks are bad than the reservoir can replace; nothing was written",
          "The chip has too many bad blocks to be mapped; the phone needs service."),
    Plain(S::kRecordBuild, L::kBoth, VELMORA_CODE(erase, kNoRecordBlock),
          "no good reservoir block is left for the record; nothing was written",
          "The top of the chip is worn; the phone needs service."),
    Plain(S::kRecordBuild, L::kBoth, VELMORA_CODE(erase, kNoCopyBlock),
          "no good reservoir block is left for the record's second copy; nothing was written",
          "The top of the chip is worn; the phone needs service."),
    Wraps(Plain(S::kRecordBuild, L::kBoth, VELMORA_CODE(erase, kRecordEraseFailed),
                "a block for the record could not be erased (the error text names it)", kWornBlock),
          S::kBlockErase),
    Wraps(Plain(S::kRecordBuild, L::kBoth, VELMORA_CODE(erase, kRecordWriteFailed),
                "the record could not be written into its block", kWornBlock),
          S::kBlockWrite),
    Plain(S::kRecordBuild, L::kBoth, VELMORA_CODE(erase, kChipBeyondRecord),
          "the chip has more blocks than the record can describe (1024); nothing was written",
          "Nothing on the phone was changed. Name the chip (its ID bytes and FlashChip.ini "
          "entry) to whoever supports the tool."),

    Wraps(Plain(S::kPartitionErase, L::kBoth, VELMORA_CODE(erase, kBlockFailed),
                "a block could not be erased (the error text names the block and the erase's "
                "code)",
                kWornBlock),
          S::kBlockErase),

    Plain(S::kBlockErase, L::kUsb, VELMORA_CODE(erase, kNoAnswer),
          "no answer to the erase command (also after one retry)", kLineUsb),
    Plain(S::kBlockErase, L::kSerial, VELMORA_CODE(erase, kFailed),
          "the phone did not acknowledge the erase (also after one retry)", kLineSerial),
    Plain(S::kBlockErase, L::kUsb, VELMORA_CODE(erase, kFailed),
          "the phone reported the erase as failed (bad status; or its answer came damaged, also "
          "after one retry): the block may have gone bad",
          kWornBlock),

    Plain(S::kPartitionWrite, L::kBoth, VELMORA_CODE(download, kFileNotOpened),
          "the partition's content file cannot be opened",
          "Check that the file the table names is still in the table's folder and that you may "
          "read it; then run the upgrade again."),
    Plain(S::kPartitionWrite, L::kBoth, VELMORA_CODE(download, kSizeMismatch),
          "the content file's length changed since the table was loaded, or the partition ran "
          "out of good blocks",
          "If the file changed, load the table again; if not, the partition's bad blocks leave "
          "too little room and the phone needs service."),
    Plain(S::kPartitionWrite, L::kBoth, VELMORA_CODE(download, kShortRead),
          "the content file could not be read to its end",
          "Check the file and the disk it lies on, then run the upgrade again."),
    AddCode(S::kPartitionWrite, L::kBoth, VELMORA_CODE(download, kBlockWriteBase), S::kBlockWrite,
            "a block could not be written, also after three retries (each erased it first)",
            kUpgradeAgain),

    AddCode(S::kBlockWrite, L::kBoth, VELMORA_CODE(page_program, kPagesBase), S::kPageWrite,
            "writing its pages failed", "The page write's code says why; follow its next step."),
    Plain(S::kBlockWrite, L::kBoth, VELMORA_CODE(page_program, kSmallBlockTooLong),
          "a block of more than 64 KiB was given to the small-page write (a fault of the "
          "program)",
          kProgramFault),
    Plain(S::kBlockWrite, L::kBoth, VELMORA_CODE(page_program, kSmallBlockNoAck),
          "the phone did not acknowledge the block's write (no answer)", kLineBoth),

    Plain(S::kPageWrite, L::kSerial, VELMORA_CODE(page_program, kNoAnswer),
          "the phone did not answer the write (no answer)", kLineSerial),
    Plain(S::kPageWrite, L::kSerial, VELMORA_CODE(page_program, kBadStatus),
          "the phone could not program the pages (bad status): the block may have gone bad",
          kWornBlock),
    Plain(S::kPageWrite, L::kSerial, VELMORA_CODE(page_program, kCrcMismatch),
          "the data arrived damaged (CRC mismatch)",
          "The line garbles data: choose a lower baud rate, or a shorter or better cable or "
          "adapter, and start again."),
    Plain(S::kPageWrite, L::kUsb, VELMORA_CODE(page_program, kUsbSendFailed),
          "the write command could not be sent", kLineUsb),
    Plain(S::kPageWrite, L::kUsb, VELMORA_CODE(page_program, kUsbNoAnswer),
          "the phone did not answer the write, or a page could not be read back to be checked "
          "(no answer)",
          kLineUsb),
    Plain(S::kPageWrite, L::kUsb, VELMORA_CODE(page_program, kUsbBadStatusOrEcc),
          "bad status or ECC mismatch: the phone could not program the pages, or they hold "
          "other data than was sent",
          kWornBlock),
    Plain(S::kPageWrite, L::kUsb, VELMORA_CODE(page_program, kUsbNoMemory),
          "the computer had no memory left for the ECC codes",
          "Close other programs and start again."),
    Plain(S::kPageWrite, L::kUsb, VELMORA_CODE(page_program, kUsbDataFailed),
          "the data could not be sent to the phone", kLineUsb),

    Plain(S::kBootBlock, L::kBoth, VELMORA_CODE(boot_block, kFileNotOpened),
          "the boot image file cannot be opened; block 0 was not touched", kBootImage),
    Plain(S::kBootBlock, L::kBoth, VELMORA_CODE(boot_block, kSizeMismatch),
          "the boot image's length differs from the table's, or exceeds one block; block 0 was "
          "not touched",
          kBootImage),
    Plain(S::kBootBlock, L::kBoth, VELMORA_CODE(boot_block, kShortRead),
          "the boot image could not be read to its end; block 0 was not touched", kBootImage),
    AddCode(S::kBootBlock, L::kBoth, VELMORA_CODE(boot_block, kEraseBase), S::kBlockErase,
            "block 0 could not be erased (also after one retry)", kBlockZeroAgain),
    AddCode(S::kBootBlock, L::kBoth, VELMORA_CODE(boot_block, kWriteBase), S::kBlockWrite,
            "block 0 could not be written (also after one retry)", kBlockZeroAgain),
    Plain(S::kBootBlock, L::kBoth, VELMORA_CODE(boot_block, kV3FileNotOpened),
          "the version 3 boot image file cannot be opened; block 0 was not touched", kBootImage),
    Plain(S::kBootBlock, L::kBoth, VELMORA_CODE(boot_block, kV3SizeMismatch),
          "the version 3 boot image's length differs from the table's, or exceeds one block; "
          "block 0 was not touched",
          kBootImage),
    Plain(S::kBootBlock, L::kBoth, VELMORA_CODE(boot_block, kV3ShortRead),
          "the version 3 boot image could not be read to its end; block 0 was not touched",
          kBootImage),
    Plain(S::kBootBlock, L::kBoth, VELMORA_CODE(boot_block, kV3BadVersion),
          "the boot image is not of version 3 after all; block 0 was not touched", kBootImage),
    Wraps(Plain(S::kBootBlock, L::kBoth, VELMORA_CODE(boot_block, kV3ReadFailed),
                "block 0 could not be read for its counter (also after one retry); it was not "
                "touched",
                kLineBoth),
          S::kBlockRead),
    AddCode(S::kBootBlock, L::kBoth, VELMORA_CODE(boot_block, kV3EraseBase), S::kBlockErase,
            "block 0 could not be erased (also after one retry)", kBlockZeroAgain),
    AddCode(S::kBootBlock, L::kBoth, VELMORA_CODE(boot_block, kV3WriteBase), S::kBlockWrite,
            "block 0 could not be written (also after one retry)", kBlockZeroAgain),

    // --- read code ---------------------------------------------------------------------
    Wraps(Plain(S::kRead, L::kBoth, VELMORA_CODE(read_back, kBootTableFailed),
                "the phone's partition table could not be taken from block 0", kLineBoth),
          S::kBootTable),
    Wraps(Plain(S::kRead, L::kBoth, VELMORA_CODE(read_back, kBootAreaFailed),
                "the boot area (the start of block 0) could not be read", kLineBoth),
          S::kBootArea),
    Wraps(AddIndex(S::kRead, L::kBoth, VELMORA_CODE(read_back, kPartitionBase), 0, 15, 1,
                   "partition {n} could not be read; the files before it are complete", kLineBoth),
          S::kPartitionRead),
    Plain(S::kRead, L::kBoth, VELMORA_CODE(read_back, kAreaPastChip),
          "the specified area starts beyond the chip's last block (the error text gives the "
          "chip's size); nothing was read",
          "Enter an area inside the chip: its start below the chip's size."),
    Plain(S::kRead, L::kBoth, VELMORA_CODE(read_back, kFileNotCreated),
          "the output file cannot be created or written (the error text names it)", kOutputFolder),
    AddCode(S::kRead, L::kBoth, VELMORA_CODE(read_back, kBlockReadBase), S::kBlockRead,
            "a block could not be read, also after three retries; the file holds the blocks "
            "before it",
            kLineBoth),

    Plain(S::kBootTable, L::kBoth, VELMORA_CODE(boot_table, kNoMarker),
          "block 0 holds no valid boot block (no marker): the phone carries no firmware of this "
          "layout, or block 0 is damaged",
          "Read the EEROM or a specified area instead, or upgrade the phone first."),
    Plain(S::kBootTable, L::kBoth, VELMORA_CODE(boot_table, kReportNotWritten),
          "upload.ptt could not be written", kOutputFolder),
    AddCode(S::kBootTable, L::kBoth, VELMORA_CODE(boot_table, kReadBase), S::kBlockRead,
            "block 0 could not be read (also after one retry)", kLineBoth),

    Plain(S::kBootArea, L::kBoth, VELMORA_CODE(read_back, kFileNotCreated),
          "boot_nand.bin could not be created or written", kOutputFolder),
    AddCode(S::kBootArea, L::kBoth, VELMORA_CODE(read_back, kPageReadBase), S::kPageRead,
            "a page of block 0 could not be read (also after one retry)", kLineBoth),

    Plain(S::kPartitionRead, L::kBoth, VELMORA_CODE(read_back, kFileNotCreated),
          "the partition's file could not be created or written", kOutputFolder),
    Plain(S::kPartitionRead, L::kBoth, VELMORA_CODE(read_back, kPastLastBlock),
          "the partition ran past its last block: its bad blocks leave too few good blocks for "
          "its content",
          "The file holds what was read. Read the partition's blocks as a specified area, or "
          "have the phone serviced."),
    AddCode(S::kPartitionRead, L::kBoth, VELMORA_CODE(read_back, kBlockReadBase), S::kBlockRead,
            "a block could not be read, also after three retries", kLineBoth),

    Plain(S::kBlockRead, L::kBoth, VELMORA_CODE(read_back, kBlockNoAnswer),
          "no answer to the block read (no answer)", kLineBoth),
    // Page k's code runs into 1010 and 1100 on chips of many pages a block: those two
    // numbers keep their own meaning and say so.
    AddIndex(S::kBlockRead, L::kBoth, VELMORA_CODE(read_back, kBlockPageBase), 0, 8, 0,
             "page {n}'s data did not come", kLineBoth),
    AddIndex(S::kBlockRead, L::kBoth, VELMORA_CODE(read_back, kBlockPageBase), 10, 98, 0,
             "page {n}'s data did not come", kLineBoth),
    AddIndex(S::kBlockRead, L::kBoth, VELMORA_CODE(read_back, kBlockPageBase), 100, 8191, 0,
             "page {n}'s data did not come", kLineBoth),
    Plain(S::kBlockRead, L::kBoth, VELMORA_CODE(read_back, kBlockBadAnswer),
          "the answer to the block read had a bad header or an error status (or, on a chip of "
          "more than 9 pages a block, page 9's data did not come)",
          kLineBoth),
    Plain(S::kBlockRead, L::kBoth, VELMORA_CODE(read_back, kBlockCrcMismatch),
          "the block arrived damaged (CRC mismatch; or, on a chip of more than 99 pages a block, "
          "page 99's data did not come)",
          kLineBoth),

    Plain(S::kBlockRead, L::kBoth, VELMORA_CODE(read_back, kReadsDisagree),
          "read twice, the block came back two ways, and a third read agreed with neither at "
          "some byte (the job's end names the block): the chip gives it out unsteadily",
          kUnsteadyRead),

    Plain(S::kPageRead, L::kBoth, VELMORA_CODE(read_back, kPageNoAnswer),
          "no answer to the page read (no answer)", kLineBoth),
    Plain(S::kPageRead, L::kBoth, VELMORA_CODE(read_back, kPageBadAnswer),
          "the answer to the page read had a bad header or an error status", kLineBoth),
    Plain(S::kPageRead, L::kBoth, VELMORA_CODE(read_back, kPageCrcMismatch),
          "the page arrived damaged (CRC mismatch)", kLineBoth),
    Plain(S::kPageRead, L::kBoth, VELMORA_CODE(read_back, kPageDataMissing),
          "the page's data did not come", kLineBoth),
    Plain(S::kPageRead, L::kBoth, VELMORA_CODE(read_back, kReadsDisagree),
          "read twice, the page came back two ways, and a third read agreed with neither at "
          "some byte: the chip gives it out unsteadily",
          kUnsteadyRead),

    // --- erase ---------------------------------------------------------------------------
    Plain(S::kErase, L::kBoth, VELMORA_CODE(erase, kBadRange),
          "the range to erase ends before it starts; nothing was erased",
          "Enter an area whose end lies above its start."),
    Plain(S::kErase, L::kBoth, VELMORA_CODE(erase_mode, kNoCodeArea),
          "the phone's partition table gives no code area (block 0 holds no valid boot block, "
          "or no partition above offset 0; over USB also an unknown erase range); nothing was "
          "erased",
          "Erase a specified area, or the code and file system, instead; or upgrade the phone "
          "first."),
    Plain(S::kErase, L::kBoth, VELMORA_CODE(erase_mode, kAreaNotConfirmed),
          "the area covers block 0 or the EEROM and reservoir (the top 74 blocks) and the erase "
          "was not confirmed; nothing was erased",
          "If that is meant, confirm it (--yes on the command line, Yes to the window's question): "
          "it erases the boot code, or "
          "the phone's calibration and IMEI."),
    Plain(S::kErase, L::kBoth, VELMORA_CODE(erase_mode, kAreaPastChip),
          "the specified area starts beyond the chip's last block (the error text gives the "
          "chip's size); nothing was erased",
          "Enter an area inside the chip: its start below the chip's size."),
    AddCode(S::kErase, L::kBoth, VELMORA_CODE(erase_mode, kBlockEraseBase), S::kBlockErase,
            "a block could not be erased; the blocks before it are erased (over USB, any block "
            "of the range may be)",
            kWornBlock),
    AddCode(S::kErase, L::kBoth, VELMORA_CODE(erase_mode, kBootTableReadBase), S::kBlockRead,
            "block 0 could not be read for the phone's partition table (also after one retry); "
            "nothing was erased",
            kLineBoth),

    // --- backup, verify, restore, health ---------------------------------------------------
    Wraps(Plain(S::kBackup, L::kBoth, VELMORA_CODE(safety_net, kBackupFailed),
                "the backup could not be completed (a block could not be read, or a file in the "
                "backup folder could not be written); nothing was erased",
                "Nothing on the phone was changed. Check the backup folder's disk and the "
                "cable, then start again."),
          S::kBlockRead),
    Plain(S::kVerify, L::kBoth, VELMORA_CODE(safety_net, kVerifyMismatch),
          "blocks read back after the write differ from what was sent (the error text names "
          "them): the chip did not keep what it was given",
          "Write the phone again. If the same blocks differ again, they are worn: the phone "
          "needs service (velmora-cli health shows its bad blocks)."),
    Wraps(Plain(S::kVerify, L::kBoth, VELMORA_CODE(safety_net, kVerifyReadFailed),
                "a written block could not be read back to verify it", kLineBoth),
          S::kBlockRead),
    Plain(S::kRestore, L::kBoth, VELMORA_CODE(safety_net, kRestoreRefused),
          "the restore was refused once the chip was known, before anything was erased: the "
          "backup does not belong to this phone's chip, its manifest puts a file where it does "
          "not belong, a file changed since the job started, or a block it must write has gone "
          "bad (the error text says which). A backup whose manifest cannot be read or whose "
          "files do not match their sums is refused before the phone is asked, as is a restore "
          "without confirmation (the command line's exit status 2)",
          "Nothing on the phone was changed. Restore a backup made of this phone, from an "
          "undamaged copy of its folder."),
    Wraps(Plain(S::kRestore, L::kBoth, VELMORA_CODE(safety_net, kRestoreWriteFailed),
                "a block of the backup could not be written back (the error text names it)",
                "Start the restore again; a block that fails again is worn."),
          S::kBlockWrite),
    Wraps(Plain(S::kHealth, L::kBoth, VELMORA_CODE(safety_net, kHealthReadFailed),
                "a block the report needs (block 0 or a record copy) could not be read", kLineBoth),
          S::kBlockRead),
};

#undef VELMORA_CODE

// What each producer returns, by the names above: the test walks it against kTable.
namespace code = result;
constexpr ProducedCode kProduced[] = {
    // The request's files.
    {S::kCatalogueCheck, L::kBoth, code::catalogue::kNotReadable},
    {S::kCatalogueCheck, L::kBoth, code::catalogue::kDamaged},
    {S::kTable, L::kBoth, code::partition_table::kNoCount},
    {S::kTable, L::kBoth, code::partition_table::kTooMany},
    {S::kTable, L::kBoth, code::partition_table::kEntryFailed},
    {S::kTable, L::kBoth, code::partition_table::kNoBootName},
    {S::kTable, L::kBoth, code::partition_table::kNoBootFile},
    {S::kTableEntry, L::kBoth, code::partition_entry::kNoId},
    {S::kTableEntry, L::kBoth, code::partition_entry::kNoName},
    {S::kTableEntry, L::kBoth, code::partition_entry::kNoPath},
    {S::kTableEntry, L::kBoth, code::partition_entry::kNoSize},
    {S::kTableEntry, L::kBoth, code::partition_entry::kNoOffset},
    {S::kTableEntry, L::kBoth, code::partition_entry::kNoProtected},
    {S::kTableEntry, L::kBoth, code::partition_entry::kCannotOpen},
    {S::kTableEntry, L::kBoth, code::partition_entry::kReopenFailed},
    {S::kTableEntry, L::kBoth, code::partition_entry::kNoDigest},
    // The serial boot stage.
    {S::kOpenPort, L::kSerial, code::serial_job::kOpenPortFailed},
    {S::kWaitPhone, L::kSerial, code::serial_job::kPhoneNotConnected},
    {S::kBootRom, L::kSerial, code::serial_boot::kNoTimeoutAck},
    {S::kBootRom, L::kSerial, code::serial_boot::kNoProductId},
    {S::kBootRom, L::kSerial, code::serial_boot::kNoAnswer},
    {S::kLoader, L::kSerial, code::serial_job::kLoaderTransferFailed},
    {S::kLoader, L::kSerial, code::serial_boot::kNoAddressAck},
    {S::kLoader, L::kSerial, code::serial_boot::kNoLoadAck},
    {S::kLoader, L::kBoth, code::ram_loader::kImageNotFound},
    {S::kLoader, L::kBoth, code::ram_loader::kImageEmpty},
    {S::kLoader, L::kBoth, code::ram_loader::kImageNotLoadable},
    {S::kBaudSwitch, L::kSerial, code::serial_job::kLineFormatFailed},
    {S::kBaudSwitch, L::kSerial, code::serial_job::kLoaderNotStarted},
    {S::kBaudSwitch, L::kSerial, code::serial_job::kBaud921600Failed},
    {S::kBaudSwitch, L::kSerial, code::serial_job::kBaud460800Failed},
    // The USB boot stage.
    {S::kUsbBus, L::kUsb, code::usb_job::kUsbUnavailable},
    {S::kUsbSearch, L::kUsb, code::usb_job::kNoDfuDevice},
    {S::kUsbOpen, L::kUsb, code::usb_job::kDfuOpenFailed},
    {S::kBootRom, L::kUsb, code::usb_job::kNoLoaderDevice},
    {S::kLoader, L::kUsb, code::usb_job::kNoLoaderDevice},
    {S::kDlvSearch, L::kUsb, code::usb_job::kNoLoaderDevice},
    {S::kDfu, L::kUsb, code::dfu::kNotOpen},
    {S::kDfu, L::kUsb, code::dfu::kAlreadyOpen},
    {S::kDfu, L::kUsb, code::dfu::kOpenFailed},
    {S::kDfu, L::kUsb, code::dfu::kNoDeviceDescriptor},
    {S::kDfu, L::kUsb, code::dfu::kEmptyString},
    {S::kDfu, L::kUsb, code::dfu::kNoString},
    {S::kDfu, L::kUsb, code::dfu::kNoConfiguration},
    {S::kDfu, L::kUsb, code::dfu::kNoFunctional},
    {S::kDfu, L::kUsb, code::dfu::kTransferFailed},
    {S::kDfu, L::kUsb, code::dfu::kBadArguments},
    {S::kDfu, L::kUsb, code::dfu::kNotDoneWrite},
    {S::kDfu, L::kUsb, code::dfu::kNotDoneLoad},
    {S::kDlvSearch, L::kUsb, code::usb_device::kNoWritePipe},
    {S::kDlvSearch, L::kUsb, code::usb_device::kNoReadPipe},
    {S::kBulk, L::kUsb, code::usb_device::kBulkNoHandle},
    {S::kBulk, L::kUsb, code::usb_device::kBulkFailed},
    {S::kBulk, L::kUsb, code::usb_device::kBulkReadFailed},
    // The RAM loader's first commands, and the operations they wrap.
    {S::kIdentify, L::kSerial, code::serial_job::kIdentifyFailed},
    {S::kIdentify, L::kUsb, code::usb_job::kIdentifyFailed},
    {S::kIdentify, L::kBoth, code::identify::kNoAnswer},
    {S::kIdentify, L::kBoth, code::identify::kBadAnswer},
    {S::kIdentify, L::kBoth, code::identify::kNoChip},
    {S::kIdentify, L::kBoth, code::identify::kBadGeometry},
    {S::kIdentify, L::kBoth, code::CatalogueFailure(code::catalogue::kNotReadable)},
    {S::kIdentify, L::kBoth, code::CatalogueFailure(code::MissingKeys(1))},
    {S::kIdentify, L::kBoth,
     code::CatalogueFailure(code::MissingKeys(code::catalogue::kMissingKeysMax))},
    {S::kIbt, L::kSerial, code::serial_job::kIbtFailed},
    {S::kIbt, L::kUsb, code::usb_job::kIbtFailed},
    {S::kIbt, L::kBoth, code::target::kIbtNoResponse},
    {S::kIbt, L::kBoth, code::target::kIbtNoData},
    {S::kIbt, L::kBoth, code::target::kIbtBadResponse},
    {S::kParameters, L::kSerial, code::serial_job::kParametersFailed},
    {S::kParameters, L::kUsb, code::usb_job::kParametersFailed},
    {S::kParameters, L::kBoth, code::target::kParametersNoAck},
    {S::kRecord, L::kBoth, code::serial_job::kRecordFailed},
    {S::kRecord, L::kBoth, code::usb_job::kRecordFailed},
    {S::kRecord, L::kBoth, code::target::kNoRecord},
    {S::kRecord, L::kBoth, code::target::kRecordNoResponse},
    {S::kRecord, L::kBoth, code::target::kRecordNoData},
    {S::kRecord, L::kBoth, code::target::kRecordBadHeader},
    {S::kRecord, L::kBoth, code::target::kRecordBadStatus},
    {S::kRecord, L::kBoth, code::target::kRecordCrcMismatch},
    {S::kInitSdi, L::kUsb, code::usb_job::kInitSdiFailed},
    {S::kInitSdi, L::kUsb, code::target::kSdiSendFailed},
    {S::kInitSdi, L::kUsb, code::target::kSdiNoResponse},
    {S::kInitSdi, L::kUsb, code::target::kSdiBadHeader},
    {S::kInitSdi, L::kUsb, code::SdiWordWrong(0)},
    {S::kInitSdi, L::kUsb, code::SdiWordWrong(code::target::kSdiWords - 1)},
    // Code upgrade.
    {S::kUpgrade, L::kBoth, code::download::kCodeAreaEraseFailed},
    {S::kUpgrade, L::kBoth, code::download::kPartitionEraseFailed},
    {S::kUpgrade, L::kBoth, code::download::kWriteFailed},
    {S::kUpgrade, L::kBoth, code::download::kUpgradeRefused},
    {S::kUpgrade, L::kBoth, code::erase::kReservoirExhausted},
    {S::kRecordBuild, L::kBoth, code::erase::kReservoirExhausted},
    {S::kRecordBuild, L::kBoth, code::erase::kNoRecordBlock},
    {S::kRecordBuild, L::kBoth, code::erase::kNoCopyBlock},
    {S::kRecordBuild, L::kBoth, code::erase::kRecordEraseFailed},
    {S::kRecordBuild, L::kBoth, code::erase::kRecordWriteFailed},
    {S::kRecordBuild, L::kBoth, code::erase::kChipBeyondRecord},
    {S::kPartitionErase, L::kBoth, code::erase::kBlockFailed},
    {S::kBlockErase, L::kSerial, code::erase::kFailed},
    {S::kBlockErase, L::kUsb, code::erase::kNoAnswer},
    {S::kBlockErase, L::kUsb, code::erase::kFailed},
    {S::kPartitionWrite, L::kBoth, code::download::kFileNotOpened},
    {S::kPartitionWrite, L::kBoth, code::download::kSizeMismatch},
    {S::kPartitionWrite, L::kBoth, code::download::kShortRead},
    {S::kPartitionWrite, L::kSerial,
     code::PartitionWriteFailure(code::BlockWriteFailure(code::page_program::kNoAnswer))},
    {S::kPartitionWrite, L::kSerial,
     code::PartitionWriteFailure(code::BlockWriteFailure(code::page_program::kBadStatus))},
    {S::kPartitionWrite, L::kSerial,
     code::PartitionWriteFailure(code::BlockWriteFailure(code::page_program::kCrcMismatch))},
    {S::kPartitionWrite, L::kUsb,
     code::PartitionWriteFailure(code::BlockWriteFailure(code::page_program::kUsbSendFailed))},
    {S::kPartitionWrite, L::kUsb,
     code::PartitionWriteFailure(code::BlockWriteFailure(code::page_program::kUsbNoAnswer))},
    {S::kPartitionWrite, L::kUsb,
     code::PartitionWriteFailure(code::BlockWriteFailure(code::page_program::kUsbBadStatusOrEcc))},
    {S::kPartitionWrite, L::kUsb,
     code::PartitionWriteFailure(code::BlockWriteFailure(code::page_program::kUsbDataFailed))},
    {S::kPartitionWrite, L::kBoth,
     code::PartitionWriteFailure(code::page_program::kSmallBlockTooLong)},
    {S::kPartitionWrite, L::kBoth,
     code::PartitionWriteFailure(code::page_program::kSmallBlockNoAck)},
    {S::kBootBlock, L::kBoth, code::boot_block::kFileNotOpened},
    {S::kBootBlock, L::kBoth, code::boot_block::kSizeMismatch},
    {S::kBootBlock, L::kBoth, code::boot_block::kShortRead},
    {S::kBootBlock, L::kSerial, code::BootEraseFailure(code::erase::kFailed)},
    {S::kBootBlock, L::kUsb, code::BootEraseFailure(code::erase::kNoAnswer)},
    {S::kBootBlock, L::kSerial,
     code::BootWriteFailure(code::BlockWriteFailure(code::page_program::kCrcMismatch))},
    {S::kBootBlock, L::kUsb,
     code::BootWriteFailure(code::BlockWriteFailure(code::page_program::kUsbBadStatusOrEcc))},
    {S::kBootBlock, L::kBoth, code::boot_block::kV3BadVersion},
    {S::kBootBlock, L::kBoth, code::boot_block::kV3ReadFailed},
    {S::kBootBlock, L::kUsb, code::BootV3EraseFailure(code::erase::kFailed)},
    {S::kBootBlock, L::kSerial,
     code::BootV3WriteFailure(code::BlockWriteFailure(code::page_program::kNoAnswer))},
    // Read code.
    {S::kRead, L::kBoth, code::read_back::kBootTableFailed},
    {S::kRead, L::kBoth, code::read_back::kBootAreaFailed},
    {S::kRead, L::kBoth, code::PartitionReadFailure(0)},
    {S::kRead, L::kBoth, code::PartitionReadFailure(15)},
    {S::kRead, L::kBoth, code::read_back::kAreaPastChip},
    {S::kRead, L::kBoth, code::read_back::kFileNotCreated},
    {S::kRead, L::kBoth, code::BlockReadFailure(code::read_back::kBlockNoAnswer)},
    {S::kRead, L::kBoth, code::BlockReadFailure(code::read_back::kReadsDisagree)},
    {S::kBootTable, L::kBoth, code::boot_table::kNoMarker},
    {S::kBootTable, L::kBoth, code::boot_table::kReportNotWritten},
    {S::kBootTable, L::kBoth, code::BootTableReadFailure(code::read_back::kBlockCrcMismatch)},
    {S::kBootArea, L::kBoth, code::read_back::kFileNotCreated},
    {S::kBootArea, L::kBoth, code::PageReadFailure(code::read_back::kPageNoAnswer)},
    {S::kBootArea, L::kBoth, code::PageReadFailure(code::read_back::kReadsDisagree)},
    {S::kPartitionRead, L::kBoth, code::read_back::kFileNotCreated},
    {S::kPartitionRead, L::kBoth, code::read_back::kPastLastBlock},
    {S::kPartitionRead, L::kBoth, code::BlockReadFailure(code::read_back::kBlockBadAnswer)},
    {S::kBlockRead, L::kBoth, code::read_back::kBlockNoAnswer},
    {S::kBlockRead, L::kBoth, code::BlockPageMissing(0)},
    {S::kBlockRead, L::kBoth, code::BlockPageMissing(63)},
    {S::kBlockRead, L::kBoth, code::BlockPageMissing(127)},
    {S::kBlockRead, L::kBoth, code::read_back::kBlockBadAnswer},
    {S::kBlockRead, L::kBoth, code::read_back::kBlockCrcMismatch},
    {S::kBlockRead, L::kBoth, code::read_back::kReadsDisagree},
    {S::kPageRead, L::kBoth, code::read_back::kPageNoAnswer},
    {S::kPageRead, L::kBoth, code::read_back::kPageBadAnswer},
    {S::kPageRead, L::kBoth, code::read_back::kPageCrcMismatch},
    {S::kPageRead, L::kBoth, code::read_back::kPageDataMissing},
    {S::kPageRead, L::kBoth, code::read_back::kReadsDisagree},
    // Erase.
    {S::kErase, L::kBoth, code::erase::kBadRange},
    {S::kErase, L::kBoth, code::erase_mode::kNoCodeArea},
    {S::kErase, L::kBoth, code::erase_mode::kUnknownRange},
    {S::kErase, L::kBoth, code::erase_mode::kAreaNotConfirmed},
    {S::kErase, L::kBoth, code::erase_mode::kAreaPastChip},
    {S::kErase, L::kSerial, code::erase::kFailed},
    {S::kErase, L::kUsb, code::erase::kNoAnswer},
    {S::kErase, L::kBoth, code::BootTableReadFailure(code::read_back::kBlockNoAnswer)},
    // Backup, verify, restore, health.
    {S::kBackup, L::kBoth, code::safety_net::kBackupFailed},
    {S::kVerify, L::kBoth, code::safety_net::kVerifyMismatch},
    {S::kVerify, L::kBoth, code::safety_net::kVerifyReadFailed},
    {S::kRestore, L::kBoth, code::safety_net::kRestoreRefused},
    {S::kRestore, L::kBoth, code::safety_net::kRestoreWriteFailed},
    {S::kHealth, L::kBoth, code::safety_net::kHealthReadFailed},
};

// Deep enough for the longest chain (20000 + 100 + a page write's code) and a
// guard against a row that composes with its own step.
constexpr int kMaxDepth = 6;

constexpr std::string_view kUnknownNext =
    "Note the result and the step; switch the phone off and on and start again. If it comes "
    "back, run the job in debug mode (--debug, or Ctrl+D in the window) and keep dl_log.txt for "
    "whoever supports the tool.";

struct Node {
    const ResultEntry* entry;
    int64_t part;  // kAddIndex: the index; kAddCode: the code of the part step
};

bool LinkFits(L link, bool usb) {
    return link == L::kBoth || (link == L::kUsb) == usb;
}

// How `value` is made in `step`: appends the rows from the outer part to the inner.
bool Decompose(S step, bool usb, int64_t value, int depth, std::vector<Node>& chain) {
    if (depth > kMaxDepth) {
        return false;
    }
    for (const ResultEntry& e : kTable) {
        if (e.step != step || !LinkFits(e.link, usb)) {
            continue;
        }
        const int64_t part = result::InnerCode(e.code, value);
        switch (e.form) {
            case ResultForm::kPlain:
                if (value == e.code) {
                    chain.push_back({&e, 0});
                    return true;
                }
                break;
            case ResultForm::kAddIndex:
                if (part >= e.first && part <= e.last) {
                    chain.push_back({&e, part});
                    return true;
                }
                break;
            case ResultForm::kAddCode: {
                const size_t size = chain.size();
                chain.push_back({&e, part});
                if (Decompose(e.part_step, usb, part, depth + 1, chain)) {
                    return true;
                }
                chain.resize(size);
                break;
            }
        }
    }
    return false;
}

std::string Substitute(std::string_view text, int64_t n) {
    std::string out(text);
    const size_t at = out.find("{n}");
    if (at != std::string::npos) {
        out.replace(at, 3, std::to_string(n));
    }
    return out;
}

std::string NamesOf(const std::vector<Node>& chain) {
    std::string out;
    for (const Node& node : chain) {
        if (!out.empty()) {
            out += " + ";
        }
        out += node.entry->name;
        if (node.entry->form == ResultForm::kAddIndex) {
            out += " + " + std::to_string(node.part);
        }
    }
    return out;
}

std::string MeaningOf(const std::vector<Node>& chain) {
    std::string out;
    for (const Node& node : chain) {
        if (!out.empty()) {
            out += ": ";
        }
        out += Substitute(node.entry->meaning, node.part + node.entry->shown_from);
    }
    return out;
}

// Advice on how the job goes on, whatever the cause: it follows the cause's own.
bool IsAftermath(std::string_view next_step) {
    return next_step == kUpgradeAgain || next_step == kBlockZeroAgain;
}

// The innermost row says what to check; the most specific row after it that says
// how the job goes on adds that. `chain` runs from the outer part to the inner.
std::string NextOf(const std::vector<Node>& chain) {
    std::string out(chain.back().entry->next_step);
    for (auto node = chain.rbegin() + 1; node != chain.rend(); ++node) {
        const std::string_view next = node->entry->next_step;
        if (IsAftermath(next)) {
            if (next != out) {
                out += " ";
                out += next;
            }
            break;
        }
    }
    return out;
}

}  // namespace

std::string_view StepName(JobStep step) {
    switch (step) {
        case S::kCatalogueCheck:
            return "chip catalogue check";
        case S::kTable:
            return "partition table";
        case S::kTableEntry:
            return "partition table entry";
        case S::kOpenPort:
            return "serial port";
        case S::kWaitPhone:
            return "wait for the phone";
        case S::kBootRom:
            return "boot ROM handshake";
        case S::kLoader:
            return "RAM loader transfer";
        case S::kBaudSwitch:
            return "RAM loader start and line speed";
        case S::kUsbBus:
            return "USB access";
        case S::kUsbSearch:
            return "DFU device search";
        case S::kUsbOpen:
            return "DFU device open";
        case S::kDfu:
            return "boot ROM over DFU";
        case S::kDlvSearch:
            return "RAM loader's USB device";
        case S::kBulk:
            return "USB bulk transfer";
        case S::kIdentify:
            return "NAND identification";
        case S::kCatalogue:
            return "chip catalogue lookup";
        case S::kIbt:
            return "IBT read";
        case S::kParameters:
            return "NAND parameters";
        case S::kRecord:
            return "management record read";
        case S::kInitSdi:
            return "SDI initialisation";
        case S::kUpgrade:
            return "code upgrade";
        case S::kRecordBuild:
            return "management record build";
        case S::kPartitionErase:
            return "partition erase";
        case S::kBlockErase:
            return "block erase";
        case S::kPartitionWrite:
            return "partition write";
        case S::kBlockWrite:
            return "block write";
        case S::kPageWrite:
            return "page write";
        case S::kBootBlock:
            return "boot block write";
        case S::kRead:
            return "read-back";
        case S::kBootTable:
            return "phone's partition table";
        case S::kBootArea:
            return "boot area read";
        case S::kPartitionRead:
            return "partition read";
        case S::kBlockRead:
            return "block read";
        case S::kPageRead:
            return "page read";
        case S::kErase:
            return "erase";
        case S::kBackup:
            return "backup";
        case S::kVerify:
            return "verify";
        case S::kRestore:
            return "restore";
        case S::kHealth:
            return "health report";
    }
    return "unknown step";
}

std::string StepKey(JobStep step) {
    std::string key;
    for (const char c : StepName(step)) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else if (c != '\'' && !key.empty() && key.back() != '-') {
            key += '-';
        }
    }
    return key;
}

std::string PhoneWaitText(const std::string& port, int waited_s, int limit_s) {
    std::string how_long = std::to_string(waited_s) + " s";
    if (limit_s > 0) {
        how_long += " of " + std::to_string(limit_s) + " s";
    }
    return "Waiting for the phone on " + port + " (" + how_long +
           "): switch it on in download mode";
}

std::string NoPhoneText(const std::string& port, int limit_s) {
    return "no phone within " + std::to_string(limit_s) + " s on " + port;
}

std::span<const ResultEntry> ResultTable() {
    return kTable;
}

std::span<const ProducedCode> ProducedCodes() {
    return kProduced;
}

std::string CodeText(const ResultEntry& entry) {
    const std::string base = entry.code == 0 ? "" : std::to_string(entry.code) + " + ";
    switch (entry.form) {
        case ResultForm::kPlain:
            return std::to_string(entry.code);
        case ResultForm::kAddCode:
            return base + "r (r: " + std::string(StepName(entry.part_step)) + ")";
        case ResultForm::kAddIndex:
            return base + "i (i " + std::to_string(entry.first) + " to " +
                   std::to_string(entry.last) + ")";
    }
    return std::to_string(entry.code);
}

ResultExplanation ExplainResult(JobStep step, bool usb, int result, std::optional<int> inner) {
    ResultExplanation out;
    std::vector<Node> chain;
    if (!Decompose(step, usb, result, 0, chain)) {
        out.name = "unknown";
        out.meaning = "result " + std::to_string(result) + " is not a known code of the " +
                      std::string(StepName(step));
        if (inner) {
            out.meaning += " (inner code " + std::to_string(*inner) + ")";
        }
        out.next_step = kUnknownNext;
        return out;
    }
    out.known = true;
    out.name = NamesOf(chain);
    out.meaning = MeaningOf(chain);
    const ResultEntry& last = *chain.back().entry;
    out.next_step = NextOf(chain);
    if (!inner) {
        return out;
    }
    if (!last.wraps[0]) {
        out.meaning += " (inner code " + std::to_string(*inner) + ")";
        return out;
    }
    std::vector<Node> inner_chain;
    for (const std::optional<S>& wrapped : last.wraps) {
        if (wrapped && Decompose(*wrapped, usb, *inner, 0, inner_chain)) {
            break;
        }
    }
    if (inner_chain.empty()) {
        out.meaning += ": inner code " + std::to_string(*inner) + ", not a known code of the " +
                       std::string(StepName(*last.wraps[0]));
        if (last.wraps[1]) {
            out.meaning += " or the " + std::string(StepName(*last.wraps[1]));
        }
        return out;
    }
    out.inner_name = NamesOf(inner_chain);
    out.meaning += ": " + MeaningOf(inner_chain);
    chain.insert(chain.end(), inner_chain.begin(), inner_chain.end());
    out.next_step = NextOf(chain);
    return out;
}

std::string ResultLine(JobStep step, int result, const ResultExplanation& explanation) {
    std::string name = explanation.name;
    if (!explanation.inner_name.empty()) {
        name += ", inner " + explanation.inner_name;
    }
    return "Result " + std::to_string(result) + " (" + name + ") in the " +
           std::string(StepName(step)) + ": " + explanation.meaning +
           ". Next step: " + explanation.next_step;
}

}  // namespace velmora
