// Every text a job shows, in both languages: jobs that pass and jobs that fail
// in each of their steps, over both links, against the simulated phone. A text
// that is not in the catalogue, or whose English still holds Chinese, fails here.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <sstream>

#include "base/texts.h"
#include "job/serial_sequence.h"
#include "serial/port_open_error.h"
#include "station/station.h"
#include "usb/usb_choice.h"
#include "usb/usb_fixture.h"

namespace velmora::testing {
namespace {

using text::Lang;

// Every text a job put in front of the operator, with the first scenario it came from.
class TextSink : public EventSink {
  public:
    std::string scenario;
    std::map<std::string, std::string> texts;

    void Add(const std::string& text) {
        if (!text.empty()) {
            texts.emplace(text, scenario);
        }
    }
    void OnStatus(const std::string& text) override { Add(text); }
    void OnStepMessage(const std::string& text) override { Add(text); }
    void OnEnd(const JobEnd& end) override {
        for (const std::string& t : {end.error_text, end.step, end.meaning, end.next_step}) {
            Add(t);
        }
        for (const std::string& note : end.notes) {
            Add(note);
        }
    }
};

// Three English words in a row in a Chinese rendering: a part was not localized.
bool HasEnglishRun(const std::string& text) {
    int run = 0;
    std::istringstream words(text);
    for (std::string w; words >> w;) {
        while (!w.empty() && (w.back() == ',' || w.back() == '.')) {
            w.pop_back();
        }
        const bool english = w.size() >= 2 && std::all_of(w.begin(), w.end(), [](char c) {
                                 return std::isalpha(static_cast<unsigned char>(c));
                             });
        run = english ? run + 1 : 0;
        if (run >= 3) {
            return true;
        }
    }
    return false;
}

void ExpectLocalized(const std::map<std::string, std::string>& texts) {
    EXPECT_GT(texts.size(), 5u);
    for (const auto& [emitted, scenario] : texts) {
        const text::Shown en = text::Localize(emitted, Lang::kEnglish);
        const text::Shown zh = text::Localize(emitted, Lang::kChinese);
        EXPECT_FALSE(en.id.empty()) << scenario << ": not in the catalogue: " << emitted;
        EXPECT_FALSE(text::HasCjk(en.text)) << scenario << ": " << en.text;
        EXPECT_FALSE(HasEnglishRun(zh.text)) << scenario << ": " << zh.text;
    }
}

struct Scenario {
    const char* name;
    const char* phone;  // the simulated phone's options
    WorkMode mode;
    WorkRange range;
    uint32_t start = 0;
    uint32_t end = 0;
    bool confirmed = true;
    bool extras = false;  // backup first, verify after, read twice
};

// Passing jobs of every work mode, then a failure in each step of the sequences.
const Scenario kBothLinks[] = {
    {"upgrade", "bad=5", WorkMode::kCodeUpgrade, UpgradeRange::kAll, 0, 0, true, true},
    {"read table", "read-flip=3", WorkMode::kReadCode, ReadRange::kPartitionTable, 0, 0, true,
     true},
    {"read eerom", "", WorkMode::kReadCode, ReadRange::kEerom},
    {"read area", "grown=2", WorkMode::kReadCode, ReadRange::kArea, 0, 0x7FFFF},
    {"erase code", "", WorkMode::kErase, EraseRange::kCode},
    {"erase file system", "", WorkMode::kErase, EraseRange::kFileSystem, 0, 0, true, true},
    {"erase area unconfirmed", "", WorkMode::kErase, EraseRange::kArea, 0, 0x1FFFF, false},
    {"erase area past chip", "", WorkMode::kErase, EraseRange::kArea, 0x4000000, 0x4100000},
    {"backup", "", WorkMode::kBackup, BackupRange::kAll},
    {"restore", "", WorkMode::kRestore, BackupRange::kAll, 0, 0, true, true},
    {"health", "bad=7", WorkMode::kHealth, {}},
    {"id lost", "drop=5", WorkMode::kErase, EraseRange::kAll},
    {"id refused", "status=5", WorkMode::kErase, EraseRange::kAll},
    {"unknown chip", "id=EC,77,00,15", WorkMode::kErase, EraseRange::kAll},
    {"unservable chip", "id=EC,78,00,15", WorkMode::kErase, EraseRange::kAll},
    {"no chip", "id=FF,FF,FF,FF", WorkMode::kErase, EraseRange::kAll},
    {"ibt lost", "drop=7", WorkMode::kErase, EraseRange::kAll},
    {"ibt refused", "status=7", WorkMode::kErase, EraseRange::kAll},
    {"parameters lost", "drop=6", WorkMode::kErase, EraseRange::kAll},
    {"record lost", "drop=20", WorkMode::kErase, EraseRange::kAll},
    {"record refused", "status=20", WorkMode::kErase, EraseRange::kAll},
    {"record damaged", "bad-crc=20", WorkMode::kErase, EraseRange::kAll},
    {"erase lost", "drop=10", WorkMode::kCodeUpgrade, UpgradeRange::kAll},
    {"erase refused", "status=10@3", WorkMode::kCodeUpgrade, UpgradeRange::kCode},
    {"erase fails", "erase-fail=3", WorkMode::kErase, EraseRange::kAll},
    {"record block fails", "erase-fail=127", WorkMode::kCodeUpgrade, UpgradeRange::kAll},
    {"write lost", "drop=8", WorkMode::kCodeUpgrade, UpgradeRange::kAll},
    {"write refused", "status=8", WorkMode::kCodeUpgrade, UpgradeRange::kAll},
    {"write damaged", "bad-crc=8", WorkMode::kCodeUpgrade, UpgradeRange::kAll},
    {"program fails", "program-fail=3", WorkMode::kCodeUpgrade, UpgradeRange::kAll, 0, 0, true,
     true},
    {"boot block bad", "bad=0", WorkMode::kCodeUpgrade, UpgradeRange::kAll},
    {"boot write fails", "program-fail=0", WorkMode::kCodeUpgrade, UpgradeRange::kAll},
    {"block read lost", "drop=11", WorkMode::kReadCode, ReadRange::kPartitionTable},
    {"block read damaged", "bad-crc=11", WorkMode::kReadCode, ReadRange::kEerom},
    {"block read refused", "status=11@0", WorkMode::kErase, EraseRange::kCode},
    {"page read lost", "drop=13", WorkMode::kReadCode, ReadRange::kPartitionTable},
    {"flipped block", "flip=3:100", WorkMode::kCodeUpgrade, UpgradeRange::kAll, 0, 0, true, true},
};

const Scenario kSerialOnly[] = {
    {"no echo", "no-echo", WorkMode::kErase, EraseRange::kAll},
    {"no start byte", "no-start", WorkMode::kErase, EraseRange::kAll},
    {"loader not acknowledged", "no-ack=3", WorkMode::kErase, EraseRange::kAll},
};

const Scenario kUsbOnly[] = {
    {"application mode", "app", WorkMode::kErase, EraseRange::kEerom},
    {"stays in application mode", "stay-app", WorkMode::kErase, EraseRange::kAll},
    {"stuck in error", "dfu-error=stuck", WorkMode::kErase, EraseRange::kAll},
    {"not done", "notdone=P", WorkMode::kErase, EraseRange::kAll},
    {"no loader device", "no-loader", WorkMode::kErase, EraseRange::kAll},
    {"dfu refused", "deny=access", WorkMode::kErase, EraseRange::kAll},
    {"loader device refused", "deny-dlv=access", WorkMode::kErase, EraseRange::kAll},
    {"sdi lost", "drop=14", WorkMode::kErase, EraseRange::kAll},
    {"sdi refused", "status=14", WorkMode::kErase, EraseRange::kAll},
};

class LocalizedTexts : public UsbPhoneTest {
  protected:
    void SetUp() override {
        UsbPhoneTest::SetUp();
        // The test chips, and two entries of chips the phone may claim to carry:
        // one the program cannot serve, and (by its absence) an unknown one.
        std::ofstream(home_ + "FlashChip.ini", std::ios::trunc)
            << TestCatalogue()
            << "[EC,78]\nBLOCK_NUM=128\nBLOCK_SIZE=128\nPAGE_SIZE=1000\nSPARE_SIZE=64\n"
               "ERASE_TIME=2000\nWRITE_TIME=200\n";
        SetFirmware({{"code", 2 * kBlock, 4 * kBlock, Bytes(3 * kBlock + 100, 1), 1},
                     {"yaffs", 8 * kBlock, 3 * kBlock, Bytes(kSpareBlock + 500, 2), 3}},
                    BootImage(2));
    }

    JobRequest RequestFor(const Scenario& s, LinkKind link) {
        JobRequest r = Request(home_, s.mode, s.range);
        r.link = link;
        r.range_start = s.start;
        r.range_end = s.end;
        r.area_confirmed = s.confirmed;
        r.overwrite = true;
        r.timings.ack_ms = 300;
        r.timings.boot_answer_ms = 500;
        r.timings.loader_start_ms = 500;
        r.timings.baud_pause_ms = 20;
        r.timings.settle_ms = 20;
        r.timings.response_ms = 400;
        r.timings.usb_response_ms = 400;
        r.timings.retry_pause_ms = 1;
        r.timings.phone_wait_ms = 20000;  // a scenario that finds no phone ends
        if (s.mode == WorkMode::kBackup) {
            r.backup_folder = last_backup_ = home_ + "backup-" + std::to_string(++runs_) + "/";
        } else if (s.mode == WorkMode::kRestore) {
            r.backup_folder = last_backup_;
            r.verify = true;
        } else if (s.extras) {
            r.backup_folder = home_ + "before-" + std::to_string(++runs_) + "/";
            r.verify = true;
            r.read_twice = true;
        }
        return r;
    }

    // Options in the compact form, with the test catalogue's small chip, whose
    // content goes from one scenario to the next: the reads find what the
    // upgrade wrote.
    std::string PhoneText(const Scenario& s, const char* link) const {
        return "chip=EC,10,nand=" + home_ + link + ".nand" + (*s.phone ? "," : "") + s.phone;
    }

    void RunSerial(const Scenario& s, JobRequest request, bool stop_first = false) {
        sim::PhoneOptions o;
        std::string error;
        ASSERT_TRUE(sim::ParsePhoneOptions(PhoneText(s, "serial"), o, error)) << error;
        o.catalogue = home_;
        o.start_delay_ms = 1;
        o.announce_interval_ms = 2;
        sim::Phone phone(o);
        ASSERT_TRUE(phone.Start(&error)) << error;
        request.port = phone.SlavePath();
        sink_.scenario = std::string("serial ") + s.name;
        auto job = velmora::MakeJob(request, Files(request, table_), &sink_);
        if (stop_first) {
            job->Stop();
        }
        RunSerialJob(*job);
    }

    // The phone named by its bus path unless `named` is false: a phone already
    // on the bus at Start is then passed over.
    void RunUsb(const Scenario& s, JobRequest request, bool named = true) {
        StartPhone(PhoneText(s, "usb"));
        request.port = "unix:" + socket_;
        sink_.scenario = std::string("USB ") + s.name;
        auto job = velmora::MakeJob(request, Files(request, table_), &sink_);
        usb::UsbMatch match;
        match.path = named ? sim::UsbPhone::kPort : "";
        usb::RunUsbJob(*job, std::make_unique<usb::SocketBus>(socket_), match, Fast());
        phone_.reset();
    }

    TextSink sink_;
    int runs_ = 0;
    std::string last_backup_;
};

TEST_F(LocalizedTexts, SerialJobs) {
    for (const std::span<const Scenario> list :
         {std::span<const Scenario>(kBothLinks), std::span<const Scenario>(kSerialOnly)}) {
        for (const Scenario& s : list) {
            RunSerial(s, RequestFor(s, LinkKind::kSerial));
        }
    }
    const Scenario erase = kBothLinks[4];
    RunSerial(erase, RequestFor(erase, LinkKind::kSerial), true);
    JobRequest no_port = RequestFor(erase, LinkKind::kSerial);
    no_port.port = "/dev/velmora-no-such-port";
    sink_.scenario = "serial no port";
    JobController(&sink_).Run(no_port);
    // A phone that never announces itself: the waits' statuses and their end.
    const Scenario silent = {"silent phone", "manual", WorkMode::kErase, EraseRange::kAll};
    JobRequest wait = RequestFor(silent, LinkKind::kSerial);
    wait.timings.phone_wait_ms = 1500;
    wait.timings.phone_notice_ms = 1000;
    RunSerial(silent, wait);
    ExpectLocalized(sink_.texts);
}

TEST_F(LocalizedTexts, UsbJobs) {
    for (const std::span<const Scenario> list :
         {std::span<const Scenario>(kBothLinks), std::span<const Scenario>(kUsbOnly)}) {
        for (const Scenario& s : list) {
            RunUsb(s, RequestFor(s, LinkKind::kUsb));
        }
    }
    // A phone that is on the bus before Start is passed over until the wait ends.
    const Scenario early = {"phone there before Start", "app", WorkMode::kErase, EraseRange::kAll};
    JobRequest wait = RequestFor(early, LinkKind::kUsb);
    wait.timings.phone_wait_ms = 1500;
    wait.timings.phone_notice_ms = 1000;
    RunUsb(early, wait, false);
    ExpectLocalized(sink_.texts);
}

// What Start and a station refuse, and what a station's slots end with.
TEST_F(LocalizedTexts, RefusalsAndStationEndings) {
    std::map<std::string, std::string> texts;
    const auto refused = [&](const std::string& name, const StartOutcome& o) {
        EXPECT_FALSE(o.started) << name;
        texts.emplace(o.message, name);
        if (!o.loader_message.empty()) {
            texts.emplace(o.loader_message, name);
        }
    };
    JobController jobs(nullptr);
    JobRequest upgrade = Request(home_, WorkMode::kCodeUpgrade, UpgradeRange::kAll);
    refused("no table", jobs.Start(upgrade));
    upgrade.ptt_path = home_ + "missing.ptt";
    refused("missing table", jobs.Start(upgrade));
    upgrade.ptt_path = home_ + "broken.ptt";
    std::ofstream(upgrade.ptt_path) << "[partition_table_config_start]\nnumber_of_partition=2\n"
                                       "BootNand=boot.bin\n[partition#01]\npartition_id=1\n"
                                       "partition_name=a\npartition_path=a.bin\npartition_size="
                                       "0x20000\npartition_offset=0x20000\npartition_protected=0\n"
                                       "[partition#02]\npartition_id=2\npartition_name=b\n"
                                       "partition_path=b.bin\npartition_size=0x20000\n"
                                       "partition_offset=0x40000\npartition_protected=0\n";
    refused("files missing", jobs.Start(upgrade));
    JobRequest area = Request(home_, WorkMode::kReadCode, ReadRange::kArea);
    area.range_start = 0x20000;
    refused("area upside down", jobs.Start(area));
    JobRequest restore = Request(home_, WorkMode::kRestore, BackupRange::kAll);
    refused("no backup named", jobs.Start(restore));
    restore.backup_folder = home_ + "nothing-here";
    refused("no backup there", jobs.Start(restore));
    JobRequest backup = Request(home_ + "no-home/", WorkMode::kBackup, BackupRange::kAll);
    refused("no home", jobs.Start(backup));

    Station station;
    StationRequest request;
    request.job = Request(home_, WorkMode::kCodeUpgrade, UpgradeRange::kAll);
    request.job.link = LinkKind::kSerial;
    texts.emplace(station.Start(request, {}).message, "station without ports");
    request.ports = {"/dev/ttyS0", "/dev/ttyS0"};
    request.job.ptt_path = WriteSmallFirmware(home_ + "fw/", BootImage(2));
    texts.emplace(station.Start(request, {nullptr, nullptr}).message, "station port twice");

    // Two slots: one phone passes, the other's write fails.
    std::vector<std::unique_ptr<sim::Phone>> phones;
    for (const char* options : {"chip=EC,10", "chip=EC,10,program-fail=1"}) {
        sim::PhoneOptions o;
        std::string error;
        ASSERT_TRUE(sim::ParsePhoneOptions(options, o, error)) << error;
        o.catalogue = home_;
        o.start_delay_ms = 1;
        phones.push_back(std::make_unique<sim::Phone>(o));
        ASSERT_TRUE(phones.back()->Start(&error)) << error;
    }
    request.ports = {phones[0]->SlavePath(), phones[1]->SlavePath()};
    request.job.timings.baud_pause_ms = 20;
    request.job.timings.settle_ms = 20;
    std::mutex mutex;
    station.on_slot = [&](const SlotView& view) {
        std::lock_guard lock(mutex);
        texts.emplace(view.last_text, "station slot");
    };
    const StationStart started = station.Start(request, {nullptr, nullptr});
    ASSERT_TRUE(started.started) << started.message;
    station.Wait();
    texts.erase("");
    ExpectLocalized(texts);
}

// The links' words of every kind, including those no scenario above meets.
TEST(LinkTexts, EveryKindOfFailureIsInTheCatalogue) {
    std::map<std::string, std::string> texts;
    for (const auto kind :
         {PortOpenFailure::kNoPath, PortOpenFailure::kMissing, PortOpenFailure::kNotTty,
          PortOpenFailure::kBusy, PortOpenFailure::kAccess, PortOpenFailure::kFormat,
          PortOpenFailure::kOther}) {
        for (const auto& [number, holder, group] :
             {std::tuple{ENOENT, "", ""}, std::tuple{EBUSY, "pid 42 (minicom)", ""},
              std::tuple{EACCES, "", "dialout"}, std::tuple{EIO, "", ""}}) {
            const PortOpenError e{kind, number, group, holder};
            texts.emplace(
                "打开串口失败！ " + PortOpenReason("/dev/ttyUSB0", e) + ". " + PortOpenNextStep(e),
                "serial port");
        }
    }
    usb::UsbDeviceInfo device{"3-1.2", 0x1209, 0x0002, 7, "", {}};
    for (const auto kind : {usb::UsbOpenFailure::kAccess, usb::UsbOpenFailure::kBusy,
                            usb::UsbOpenFailure::kNotFound, usb::UsbOpenFailure::kOther}) {
        for (const char* detail : {"", "Access denied (insufficient permissions)"}) {
            const usb::UsbError e{kind, "LIBUSB_ERROR_ACCESS", detail};
            texts.emplace(usb::OpenFailureText("DFU device", device, e), "DFU device");
            texts.emplace(usb::LoaderOpenFailureText(device, e), "bulk device");
            texts.emplace(usb::LoaderOpenFailureText({"3-1.2", 0, 0, 7, "", {}}, e), "no ids");
        }
    }
    for (const auto status : {usb::UsbStatus::kTimeout, usb::UsbStatus::kNoDevice,
                              usb::UsbStatus::kStall, usb::UsbStatus::kError}) {
        texts.emplace(usb::TransferFailureText("bulk device", "3-1.2", status), "transfer");
        texts.emplace(usb::TransferFailureText("bulk device", "", status), "transfer");
    }
    device.serial = "VLM0001";
    texts.emplace(usb::PassedOverText(device), "passed over");
    texts.emplace(usb::SeveralDevicesText({device, device}), "several");
    for (int i = 0; i <= static_cast<int>(kLastJobStep); ++i) {
        texts.emplace(StoppedText(static_cast<JobStep>(i)), "stopped");
    }
    texts.emplace(PhoneWaitText("COM3", 20, 0), "wait");
    texts.emplace(EarlierReadText("/x/", {"boot_nand.bin", "parti_01_code"}), "earlier read");
    ExpectLocalized(texts);
}

}  // namespace
}  // namespace velmora::testing
