#pragma once
// Result codes by name, and what each one tells the operator.
//
// Every operation returns an integer code, 0 for success. The numbers stay as they
// are: logs, scripts and the people who flash phones know them by number. This
// header names them per layer, and one table says for each (step, code) what
// happened and what to do next. A number means different things in different
// steps (100 is a failed IBT read in the serial sequence, a partition not written
// in an upgrade, a DFU port that is not open), so the table is keyed by the step
// and, where it matters, by the link.
//
// Some codes are composed: a caller adds a base of its own to the code of the
// operation it called (20000 + a block write's code, 30000 + a page read's code,
// 3 + a partition's index). The helpers at the end of the namespace build each of
// them, and ExplainResult takes them apart with the same arithmetic.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace velmora::result {

// The serial job: the job's result when a step before the work mode fails.
namespace serial_job {
inline constexpr int kOpenPortFailed = -3001;
inline constexpr int kPhoneNotConnected = -1;
inline constexpr int kLoaderTransferFailed = -2;
inline constexpr int kLineFormatFailed = -3;  // 115200 8N1 after the loader's jump
inline constexpr int kLoaderNotStarted = -4;  // no start byte from the RAM loader
inline constexpr int kBaud921600Failed = -5;
inline constexpr int kBaud460800Failed = -6;
inline constexpr int kIdentifyFailed = -7;
inline constexpr int kIbtFailed = 100;
inline constexpr int kParametersFailed = -8;
inline constexpr int kRecordFailed = -80;
}  // namespace serial_job

// A job that Stop (the window's button, SIGINT, SIGTERM) ended: the ending says
// so in its own words, whatever the step.
namespace stop {
inline constexpr int kStopped = 1;
}  // namespace stop

// A station's job that was refused before it started (its request's files): the
// station log's row carries the refusal's own text.
namespace station {
inline constexpr int kNotStarted = -1;
}  // namespace station

// The USB job: the job's result when a step before the work mode fails.
namespace usb_job {
inline constexpr int kUsbUnavailable = -1;  // the bus cannot be used at all
inline constexpr int kNoDfuDevice = -1;     // stopped while searching, or several candidates
inline constexpr int kDfuOpenFailed = -2;
// The RAM loader's bulk device never came (or opened); also the boot ROM failed so
// that no loader can be running (the step tells which).
inline constexpr int kNoLoaderDevice = 100;
inline constexpr int kIdentifyFailed = -7;
inline constexpr int kIbtFailed = -8;
inline constexpr int kParametersFailed = -9;
inline constexpr int kRecordFailed = -80;
inline constexpr int kInitSdiFailed = -81;
inline constexpr int kBadEraseRange = 1;
}  // namespace usb_job

// The RAM loader image the program carries (or finds in its home folder).
namespace ram_loader {
inline constexpr int kImageNotFound = 1001;
inline constexpr int kImageEmpty = 1002;  // empty, or not whole 32-bit words
inline constexpr int kImageNotLoadable = 1003;
inline constexpr int kImageNotLockable = 1004;
}  // namespace ram_loader

// The serial boot ROM: the wait for the phone, the handshake, then the RAM loader
// transfer.
namespace serial_boot {
// WaitForPhone; the job turns both into serial_job::kPhoneNotConnected.
inline constexpr int kNoEcho = 1;  // no echo of the 'D', or the port went away
inline constexpr int kPhoneTimedOut = 2;
inline constexpr int kNoTimeoutAck = 2001;  // handshake: no 'O' after 'T'
inline constexpr int kNoProductId = 2002;   // handshake: no product ID after 'P'
inline constexpr int kNoAnswer = 2003;      // handshake: any later command
inline constexpr int kNoAddressAck = 2002;  // transfer: no 'O' after an 'S'
inline constexpr int kNoLoadAck = 2003;     // transfer: no 'O' after a chunk
}  // namespace serial_boot

// The serial port's own calls. They stay inside the link: the step that made the
// call reports its own code.
namespace serial_port {
inline constexpr int kFormatSet = 1;
inline constexpr int kFormatNotSet = -2;  // SetLineFormat: port closed, or the rate not taken
inline constexpr int kWriteTimedOut = -1;
inline constexpr int kWriteFailed = -2;
inline constexpr int kHungUp = -3;
inline constexpr int kReadFailed = -1;  // ReadSome: port closed, gone, or stopped
}  // namespace serial_port

// The serial link to the running RAM loader. Like the port's, these codes stay
// inside the link: a frame that did not go shows as the missing answer.
namespace serial_link {
inline constexpr int kNotSent = 1;      // the line could not be drained after a failed wait
inline constexpr int kNotReceived = 1;  // the bytes did not all come in time
}  // namespace serial_link

// The boot ROM's DFU device: opening it and BootRomCommand.
namespace dfu {
inline constexpr int kOk = 1;
inline constexpr int kNotOpen = 100;
inline constexpr int kAlreadyOpen = 101;
inline constexpr int kOpenFailed = 108;
inline constexpr int kNoDeviceDescriptor = 109;
inline constexpr int kEmptyString = 110;
inline constexpr int kNoString = 111;
inline constexpr int kNoConfiguration = 112;
inline constexpr int kNoFunctional = 113;
inline constexpr int kTransferFailed = 305;  // a transfer did not end in dfuIDLE
inline constexpr int kBadArguments = 311;
inline constexpr int kNotDoneWrite = 600;  // command 8 or 36 ended after errNOTDONE
inline constexpr int kNotDoneLoad = 601;   // commands 22, 28, 32 to 34 ended after errNOTDONE
}  // namespace dfu

// The RAM loader's bulk device: opening its pipes and the transfers.
namespace usb_device {
inline constexpr int kNoWritePipe = -10;
inline constexpr int kNoReadPipe = -11;
inline constexpr int kBulkNoHandle = -1;
inline constexpr int kBulkFailed = 1;  // a write failed, or a transfer timed out
inline constexpr int kBulkReadFailed = -2;
}  // namespace usb_device

// Loading a partition table file.
namespace partition_table {
inline constexpr int kOk = 0;
inline constexpr int kNoCount = 1;  // also: a content file larger than its partition
inline constexpr int kTooMany = 2;
inline constexpr int kEntryFailed = 3;
inline constexpr int kNoBootName = 4;
inline constexpr int kNoBootFile = 5;
}  // namespace partition_table

// One partition of a partition table file.
namespace partition_entry {
inline constexpr int kNoId = 1000;
inline constexpr int kNoName = 1001;
inline constexpr int kNoPath = 1002;
inline constexpr int kNoSize = 1003;
inline constexpr int kNoOffset = 1004;
inline constexpr int kNoProtected = 1005;
inline constexpr int kCannotOpen = 1009;
inline constexpr int kReopenFailed = 1100;
inline constexpr int kNoDigest = 1101;
}  // namespace partition_entry

// The chip catalogue FlashChip.ini.
namespace catalogue {
inline constexpr int kNotReadable = -1;
inline constexpr int kMissingKeysBase = 0;  // + the number of keys missing, 1 to 6
inline constexpr int kValueOutOfRange = 7;  // identification turns it into kBadGeometry
inline constexpr int kDamaged = 1;          // the start-up check: [VERSION] incomplete
inline constexpr int kMissingKeysMax = 6;   // all six: the chip is not listed
inline constexpr int kUnservable = 1;       // CheckChipGeometry; identification: kBadGeometry
}  // namespace catalogue

// NAND identification.
namespace identify {
inline constexpr int kNoAnswer = -1000;
inline constexpr int kBadAnswer = -1001;
inline constexpr int kNoChip = -2000;  // maker ID 0xFF
inline constexpr int kBadGeometry = -2002;
inline constexpr int kCatalogueBase = 20000;  // + the catalogue lookup's code
}  // namespace identify

// The commands the job sequences send after identification.
namespace target {
inline constexpr int kIbtNoResponse = 4000;
inline constexpr int kIbtNoData = 4001;
inline constexpr int kIbtBadResponse = 4010;
inline constexpr int kParametersNoAck = 15;
inline constexpr int kNoRecord = -1;  // not a failure: the phone holds no record
inline constexpr int kRecordNoResponse = 1000;
inline constexpr int kRecordNoData = 1001;
inline constexpr int kRecordBadHeader = 1010;
inline constexpr int kRecordBadStatus = 1011;
inline constexpr int kRecordCrcMismatch = 1100;
inline constexpr int kSdiSendFailed = 255;
inline constexpr int kSdiNoResponse = 4000;
inline constexpr int kSdiBadHeader = 4010;
inline constexpr int kSdiWordBase = 2;  // + i: word i (at offset 12 + 4i) is wrong, i 0 to 11
inline constexpr int kSdiWords = 12;
}  // namespace target

// Page programming.
namespace page_program {
// WritePages over the serial link.
inline constexpr int kNoAnswer = 3;
inline constexpr int kBadStatus = 4;
inline constexpr int kCrcMismatch = 5;
// WritePages over USB.
inline constexpr int kUsbSendFailed = 1;
inline constexpr int kUsbNoAnswer = 3;
inline constexpr int kUsbBadStatusOrEcc = 4;
inline constexpr int kUsbNoMemory = -1;
inline constexpr int kUsbDataFailed = -999;
// WriteBlockData: + the failed WritePages code.
inline constexpr int kPagesBase = 100;
// WriteSmallBlock.
inline constexpr int kSmallBlockTooLong = -1000;
inline constexpr int kSmallBlockNoAck = 3010;
}  // namespace page_program

// Erases and the bad-block record.
namespace erase {
inline constexpr int kNoAnswer = 3000;  // USB: no answer to the erase
inline constexpr int kFailed = 3010;
// BuildManagementRecord.
inline constexpr int kReservoirExhausted = -1;
inline constexpr int kNoRecordBlock = -2;
inline constexpr int kNoCopyBlock = -3;
inline constexpr int kRecordEraseFailed = -4;
inline constexpr int kRecordWriteFailed = -5;
inline constexpr int kChipBeyondRecord = -6;  // more blocks than the record has entries
// ErasePartition and EraseCodeArea.
inline constexpr int kBlockFailed = 1;
// EraseBlockRange.
inline constexpr int kBadRange = -1;
}  // namespace erase

// The code upgrade and its partition writer.
namespace download {
inline constexpr int kCodeAreaEraseFailed = 1;
inline constexpr int kPartitionEraseFailed = 11;
inline constexpr int kWriteFailed = 100;  // a partition or the boot block
inline constexpr int kUpgradeRefused = 120;
inline constexpr int kRecordBuildBase = 0;  // + BuildManagementRecord's code, passed on as is
inline constexpr int kFileNotOpened = 10000;
inline constexpr int kSizeMismatch = 11001;  // file length, or the partition ran out of blocks
inline constexpr int kShortRead = 12000;
inline constexpr int kBlockWriteBase = 20000;  // + the block write's code
inline constexpr int kUnknownWorkMode = 1;     // no front end offers it; nothing is done
}  // namespace download

// Writing block 0: the classic layout, then version 3.
namespace boot_block {
inline constexpr int kFileNotOpened = 101;
inline constexpr int kSizeMismatch = 102;
inline constexpr int kShortRead = 103;
inline constexpr int kEraseBase = 100;  // + the erase's code
inline constexpr int kWriteBase = 200;  // + the block write's code
inline constexpr int kV3FileNotOpened = 1;
inline constexpr int kV3SizeMismatch = 2;
inline constexpr int kV3ShortRead = 3;
inline constexpr int kV3BadVersion = -1;
inline constexpr int kV3ReadFailed = -2;
inline constexpr int kV3EraseBase = 1000;
inline constexpr int kV3WriteBase = 2000;
}  // namespace boot_block

// Reading the phone's partition table from block 0.
namespace boot_table {
inline constexpr int kNoMarker = 1;  // no marker, or a block too short to hold the tables
inline constexpr int kReportNotWritten = 10000;
inline constexpr int kReadBase = 30000;  // + the block read's code
}  // namespace boot_table

// The read-back and its two read commands.
namespace read_back {
inline constexpr int kBootTableFailed = 1;
inline constexpr int kBootAreaFailed = 2;
inline constexpr int kPartitionBase = 3;  // + i: partition i (from 0) failed
inline constexpr int kFileNotCreated = 10000;
inline constexpr int kPastLastBlock = 11001;
inline constexpr int kBlockReadBase = 20000;  // + the block read's code
inline constexpr int kPageReadBase = 30000;   // + the page read's code
inline constexpr int kAreaPastChip = 128;     // a specified area that starts beyond the chip
// ReadBlock.
inline constexpr int kBlockNoAnswer = 1000;
inline constexpr int kBlockPageBase = 1001;  // + k: page k's data did not come
inline constexpr int kBlockBadAnswer = 1010;
inline constexpr int kBlockCrcMismatch = 1100;
// Both reads, with the double read: three reads leave a byte without a majority.
inline constexpr int kReadsDisagree = 999;
// ReadPage.
inline constexpr int kPageNoAnswer = 100;
inline constexpr int kPageBadAnswer = 101;
inline constexpr int kPageCrcMismatch = 110;
inline constexpr int kPageDataMissing = 111;
}  // namespace read_back

// The erase work mode.
namespace erase_mode {
inline constexpr int kNoCodeArea = 1;      // the phone's table gives no code area
inline constexpr int kUnknownRange = 1;    // a range no front end offers; nothing erased
inline constexpr int kBlockEraseBase = 0;  // + the erase's code, passed on as is
inline constexpr int kAreaNotConfirmed = 121;
inline constexpr int kAreaPastChip = 128;         // the area starts beyond the chip; nothing erased
inline constexpr int kBootTableReadBase = 30000;  // + the block read's code
}  // namespace erase_mode

// Backup before a write, verify after it, restore, and the health report.
namespace safety_net {
inline constexpr int kVerifyMismatch = 122;  // blocks read back unlike what was written
inline constexpr int kVerifyReadFailed = 123;
inline constexpr int kBackupFailed = 124;    // nothing was erased
inline constexpr int kRestoreRefused = 125;  // nothing was erased
inline constexpr int kRestoreWriteFailed = 126;
inline constexpr int kHealthReadFailed = 127;
// VerifyWrittenBlocks: some blocks differ; the job ends with kVerifyMismatch.
inline constexpr int kBlocksDiffer = 1;
}  // namespace safety_net

// Composed codes. Each composition is built by its helper below and nowhere else;
// the explaining table takes it apart with InnerCode, keyed by the same bases.
constexpr int Composed(int base, int inner) {
    return base + inner;
}
constexpr int64_t InnerCode(int base, int64_t composed) {
    return composed - base;
}

// A block write whose pages failed: + WritePages' code.
constexpr int BlockWriteFailure(int page_write) {
    return Composed(page_program::kPagesBase, page_write);
}
// A partition's block write that failed after its retries: + the block write's code.
constexpr int PartitionWriteFailure(int block_write) {
    return Composed(download::kBlockWriteBase, block_write);
}
// The block write's code inside a partition write failure.
constexpr int BlockWriteOf(int partition_write) {
    return static_cast<int>(InnerCode(download::kBlockWriteBase, partition_write));
}
// The block read's code inside a read-back's block read failure; none when
// `read_failure` is not one.
constexpr std::optional<int> BlockReadOf(int read_failure) {
    if (read_failure < read_back::kBlockReadBase) {
        return std::nullopt;
    }
    return static_cast<int>(InnerCode(read_back::kBlockReadBase, read_failure));
}
// Identification: the catalogue has no usable entry; + the lookup's code.
constexpr int CatalogueFailure(int lookup) {
    return Composed(identify::kCatalogueBase, lookup);
}
// The catalogue lookup: `missing` of the entry's keys are missing, 1 to 6.
constexpr int MissingKeys(int missing) {
    return Composed(catalogue::kMissingKeysBase, missing);
}
// SDI initialisation: word `word` (0 to 11) of the answer is wrong.
constexpr int SdiWordWrong(int word) {
    return Composed(target::kSdiWordBase, word);
}
// Block 0, classic and version 3: its erase or its write failed.
constexpr int BootEraseFailure(int erase) {
    return Composed(boot_block::kEraseBase, erase);
}
constexpr int BootWriteFailure(int block_write) {
    return Composed(boot_block::kWriteBase, block_write);
}
constexpr int BootV3EraseFailure(int erase) {
    return Composed(boot_block::kV3EraseBase, erase);
}
constexpr int BootV3WriteFailure(int block_write) {
    return Composed(boot_block::kV3WriteBase, block_write);
}
// The phone's partition table: block 0 could not be read.
constexpr int BootTableReadFailure(int block_read) {
    return Composed(boot_table::kReadBase, block_read);
}
// The block read's code inside that failure; none when `table_failure` is not one.
constexpr std::optional<int> BootTableReadOf(int table_failure) {
    if (table_failure < boot_table::kReadBase) {
        return std::nullopt;
    }
    return static_cast<int>(InnerCode(boot_table::kReadBase, table_failure));
}
// The read-back: partition `index` (from 0) failed; a block read failed; a page
// read failed.
constexpr int PartitionReadFailure(int index) {
    return Composed(read_back::kPartitionBase, index);
}
constexpr int BlockReadFailure(int block_read) {
    return Composed(read_back::kBlockReadBase, block_read);
}
constexpr int PageReadFailure(int page_read) {
    return Composed(read_back::kPageReadBase, page_read);
}
// ReadBlock: page `page`'s data did not come.
constexpr int BlockPageMissing(int page) {
    return Composed(read_back::kBlockPageBase, page);
}

}  // namespace velmora::result

namespace velmora {

// The step a code belongs to: a step of the job sequences, or an operation that
// one of them calls and whose code it wraps.
enum class JobStep {
    // The request's files, before a job runs.
    kCatalogueCheck,
    kTable,
    kTableEntry,
    // The serial link's boot stage.
    kOpenPort,
    kWaitPhone,
    kBootRom,
    kLoader,
    kBaudSwitch,
    // The USB link's boot stage.
    kUsbBus,
    kUsbSearch,
    kUsbOpen,
    kDfu,
    kDlvSearch,
    kBulk,
    // The RAM loader's first commands.
    kIdentify,
    kCatalogue,
    kIbt,
    kParameters,
    kRecord,
    kInitSdi,
    // Code upgrade.
    kUpgrade,
    kRecordBuild,
    kPartitionErase,
    kBlockErase,
    kPartitionWrite,
    kBlockWrite,
    kPageWrite,
    kBootBlock,
    // Read code.
    kRead,
    kBootTable,
    kBootArea,
    kPartitionRead,
    kBlockRead,
    kPageRead,
    // Erase.
    kErase,
    // Backup before a write, verify after it, restore, the health report.
    kBackup,
    kVerify,
    kRestore,
    kHealth,
};
inline constexpr JobStep kLastJobStep = JobStep::kHealth;

// "boot ROM handshake", "partition write", ...
std::string_view StepName(JobStep step);
// The step's name as a key: lower case, words joined by '-', no apostrophes
// ("partition-write", "ram-loaders-usb-device"). The catalogue's step ids are
// "step." and the key.
std::string StepKey(JobStep step);

// The wait for the phone, both links. While it lasts: "Waiting for the phone on
// /dev/ttyUSB0 (20 s): switch it on in download mode" (with "20 s of 60 s" when
// the wait has a limit, `limit_s` > 0). At its end: "no phone within 60 s on
// /dev/ttyUSB0".
std::string PhoneWaitText(const std::string& port, int waited_s, int limit_s);
std::string NoPhoneText(const std::string& port, int limit_s);
// What a job that waited in vain tells the operator to do.
inline constexpr std::string_view kNoPhoneNext =
    "Check that the phone is switched on in download mode, the cable, and that the port is the "
    "phone's; a longer --timeout gives more time.";

enum class ResultLink { kBoth, kSerial, kUsb };

// How a code is made.
enum class ResultForm {
    kPlain,     // the code itself
    kAddCode,   // code + a code of part_step
    kAddIndex,  // code + an index from first to last; "{n}" in the meaning shows index + shown_from
};

// One row of the table.
struct ResultEntry {
    JobStep step;
    ResultLink link;
    int code;  // kPlain: the code; otherwise the base that is added to
    std::string_view name;
    std::string_view meaning;    // a phrase, no final stop: composed meanings join with ": "
    std::string_view next_step;  // whole sentences
    ResultForm form = ResultForm::kPlain;
    JobStep part_step = JobStep::kCatalogueCheck;  // kAddCode
    int first = 0;                                 // kAddIndex
    int last = 0;
    int shown_from = 0;
    // Steps whose codes a caller may pass as the inner code: the "#%d" that the
    // error text carries beside this result.
    std::array<std::optional<JobStep>, 2> wraps{};
};

// Every row, grouped by step in the order of JobStep, for a troubleshooting page.
std::span<const ResultEntry> ResultTable();

// A code that a producer returns, with the step and the link it is told in.
struct ProducedCode {
    JobStep step;
    ResultLink link;
    int code;
};

// Every code the program's steps and the operations they wrap can return, kept
// beside the names; composed codes with an inner code of each kind. The table
// must explain every one of them.
std::span<const ProducedCode> ProducedCodes();

// The code as a page shows it: "-3001", "20000 + r (r: block write)", "3 + i (i 0 to 15)".
std::string CodeText(const ResultEntry& entry);

struct ResultExplanation {
    // The constant's name; a composed code names its parts as its sum
    // ("kBlockWriteBase + kPagesBase + kNoAnswer"). "unknown" for a code not known.
    std::string name;
    std::string inner_name;  // the inner code's, when one was given and is known
    std::string meaning;
    std::string next_step;
    bool known = false;
};

// What `result`, ended in `step` over the given link, means and what to do next.
// `inner` is the code that the step's error text carries beside it (the download's
// "Write partition_#1 fail, #20103": result 100, inner 20103). An unknown code gets
// a generic explanation that names the number.
ResultExplanation ExplainResult(JobStep step, bool usb, int result,
                                std::optional<int> inner = std::nullopt);

// One line for the operator: "Result 100 (kWriteFailed) in the code upgrade: ...
// Next step: ...".
std::string ResultLine(JobStep step, int result, const ResultExplanation& explanation);

}  // namespace velmora
