#include "job/usb_sequence.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>
#include <set>
#include <vector>

#include "base/results.h"
#include "base/text_format.h"
#include "base/tick.h"
#include "flash/identify.h"
#include "flash/nand_dialect.h"
#include "flash/target_protocol.h"
#include "job/download_job.h"
#include "job/ram_loader.h"
#include "job/work_mode.h"
#include "usb/libusb_bus.h"
#include "usb/socket_bus.h"
#include "usb/usb_boot.h"
#include "usb/usb_choice.h"
#include "usb/usb_target_link.h"

namespace velmora::usb {

namespace {

constexpr uint32_t kSdiParameter = 0x20F00000;
namespace code = result::usb_job;

constexpr TargetStepResults kTargetStepResults = {.identify = code::kIdentifyFailed,
                                                  .ibt = code::kIbtFailed,
                                                  .parameters = code::kParametersFailed,
                                                  .record = code::kRecordFailed,
                                                  .ibt_status = nullptr};

// Fails the job with `outcome`, whose text also goes to the log.
int FailLogged(DownloadJob& job, Outcome outcome) {
    job.reporter.WriteLog("\n" + outcome.text + "\n");
    return job.Fail(std::move(outcome));
}

// Waits for the phone's DFU device as the choice rules allow (usb_choice.h),
// naming the devices it passes over. 0 with `phone` set; −1 stopped, or more
// than one candidate.
int FindPhone(DownloadJob& job, UsbDevice& usb, const UsbJobTimings& t,
              std::optional<UsbDeviceInfo>& phone) {
    Reporter& reporter = job.reporter;
    reporter.SetStatus("Searching DFU device...");
    job.EnterStep(JobStep::kUsbSearch);
    DfuChooser chooser(usb.match());
    std::set<std::string> told;  // passed-over devices already named in the status
    // Without a time-out the operator switches the phone on when ready, or stops.
    const std::string port = job.port.empty() ? "USB" : job.port;
    const uint32_t started = TickCount();
    const int limit_ms = job.timings().phone_wait_ms;
    const int notice_ms = job.timings().phone_notice_ms;
    uint32_t next_notice = static_cast<uint32_t>(notice_ms);
    while (!phone) {
        DfuLook look = chooser.Look(usb.bus().List());
        for (const UsbDeviceInfo& d : look.passed_over) {
            if (told.insert(d.path + "/" + std::to_string(d.address)).second) {
                const std::string text = PassedOverText(d);
                reporter.SetStatus(text);
                reporter.WriteLog("\n" + text + "\n");
            }
        }
        if (!look.several.empty()) {
            return FailLogged(job,
                              Outcome::Of(code::kNoDfuDevice, SeveralDevicesText(look.several)));
        }
        phone = std::move(look.chosen);
        if (phone) {
            break;
        }
        const uint32_t waited = TickCount() - started;
        if (limit_ms > 0 && waited >= static_cast<uint32_t>(limit_ms)) {
            const std::string text = NoPhoneText(port, (limit_ms + 999) / 1000);
            return FailLogged(
                job,
                Outcome::Of(code::kNoDfuDevice, text).Because(text, std::string(kNoPhoneNext)));
        }
        if (notice_ms > 0 && waited >= next_notice) {
            reporter.SetStatus(
                PhoneWaitText(port, static_cast<int>(waited / 1000), (limit_ms + 999) / 1000));
            next_notice += static_cast<uint32_t>(notice_ms);
        }
        int pause = t.dfu_search_ms;
        if (limit_ms > 0) {
            pause = std::min<int>(pause, limit_ms - static_cast<int>(waited));
        }
        if (!job.Sleep(pause)) {
            reporter.WriteLog("\nno dfu device attached!\n");
            return job.FailWith(code::kNoDfuDevice);
        }
    }
    usb.SetPhonePath(phone->path);
    reporter.SetUsbDevice(phone->path, phone->vendor, phone->product);
    reporter.WriteLog(Format("\ndfu full path name = %s.\n", phone->path.c_str()));
    return 0;
}

// A boot ROM failure after which no RAM loader can be running ends the job at once,
// with the cause and the next step, instead of in the bulk device search.
int EndBoot(DownloadJob& job, const BootFailure& failure) {
    const std::string reason = failure.Text();
    const std::string next = failure.NextStep();
    return FailLogged(job, Outcome::Of(code::kNoLoaderDevice,
                                       "The phone's RAM loader was not started: " + reason +
                                           ". Next step: " + next)
                               .Wrapping(failure.code)
                               .Because(reason, next));
}

// While the boot ROM asks for long waits, the status counts them: its answers can
// take minutes that would otherwise pass under one unchanging status.
class AskedWaits {
  public:
    AskedWaits(Reporter& reporter, DfuPort& port) : reporter_(reporter), port_(port) {
        port_.SetPollNotice([this](unsigned ms) { Add(ms); });
    }
    ~AskedWaits() { port_.SetPollNotice({}); }
    AskedWaits(const AskedWaits&) = delete;
    AskedWaits& operator=(const AskedWaits&) = delete;
    // A new step with its own status: the count starts again.
    void Begin(const char* status) {
        reporter_.SetStatus(status);
        waited_ms_ = 0;
    }

  private:
    void Add(unsigned ms) {
        const uint64_t before = waited_ms_ / 1000;
        waited_ms_ += ms;
        if (waited_ms_ / 1000 != before) {
            reporter_.SetStatus(Format("The phone asks to wait: %llu s...",
                                       static_cast<unsigned long long>(waited_ms_ / 1000)));
        }
    }

    Reporter& reporter_;
    DfuPort& port_;
    uint64_t waited_ms_ = 0;
};

// Opens the DFU device and brings up the RAM loader through it. 0; −2 when the
// device cannot be opened; 100 when the boot ROM failed so that no loader can be
// running. A failure at the loader's last frame (the jump) is kept in `jump` for
// the bulk device search to tell, since the phone may be starting the loader.
int BringUpLoader(DownloadJob& job, UsbDevice& usb, const UsbDeviceInfo& phone, BootFailure& jump) {
    Reporter& reporter = job.reporter;
    job.EnterStep(JobStep::kUsbOpen);
    if (const int r = usb.dfu().Open(phone.path); r != result::dfu::kOk) {
        reporter.WriteLog(Format("\nOpen dfu device error, #%d", r));
        std::string text;
        if (usb.dfu().open_error().failed()) {
            text = OpenFailureText("DFU device", phone, usb.dfu().open_error());
        } else {
            text = Format(
                       "Cannot read the descriptors of the phone's DFU device %s "
                       "(#%d). ",
                       phone.path.c_str(), r) +
                   NextStep(UsbOpenFailure::kOther);
        }
        return FailLogged(job, Outcome::Of(code::kDfuOpenFailed, text).Wrapping(r));
    }
    const LogFn log = [&reporter](std::string_view text) { reporter.WriteLog(text); };
    AskedWaits waits(reporter, usb.dfu());
    job.EnterStep(JobStep::kBootRom);
    waits.Begin("get target information...");
    BootFailure failure;
    std::optional<std::array<uint8_t, 5>> product_id;
    const int info = ReadTargetInfo(usb.dfu(), log, &product_id, &failure);
    if (product_id) {
        job.SetProductId(*product_id);
    }
    if (info != 0) {
        if (job.Aborted()) {
            return job.result();
        }
        // A boot ROM that is there and idle may still take the loader.
        if (failure.trouble != BootTrouble::kNotDone && failure.trouble != BootTrouble::kOther) {
            return EndBoot(job, failure);
        }
        reporter.WriteLog("\n" + failure.Text() + "\n");
    }
    job.EnterStep(JobStep::kLoader);
    waits.Begin("send ram loader...");
    std::vector<uint8_t> image;
    if (const int r = LoadRamLoader(UsbRamLoader(), job.home(), image); r != 0) {
        const ResultExplanation why = ExplainResult(JobStep::kLoader, true, r);
        return FailLogged(job, Outcome::Of(code::kNoLoaderDevice,
                                           Format("The RAM loader image could not be loaded "
                                                  "(#%d): nothing was sent to the phone.",
                                                  r))
                                   .Because(why.meaning, why.next_step));
    }
    failure = {};
    if (SendRamLoaderUsb(usb.dfu(), image, log, &failure) != 0) {
        if (job.Aborted()) {
            return job.result();
        }
        if (failure.Final()) {
            return EndBoot(job, failure);
        }
        reporter.WriteLog("\n" + failure.Text() + "\n");
        jump = failure;
    }
    return 0;
}

// Waits for the RAM loader's bulk device on the phone's bus path and opens it.
// 0; 100 when it never came, or came and would not open (access, busy).
int OpenBulkDevice(DownloadJob& job, UsbDevice& usb, const UsbJobTimings& t,
                   const BootFailure& jump) {
    Reporter& reporter = job.reporter;
    reporter.SetStatus("search usb dlv device...");
    job.EnterStep(JobStep::kDlvSearch);
    job.Sleep(t.dlv_settle_ms);
    std::string dlv_path;
    reporter.WriteLog(Format("\nGet Dlv full name: %s.\n", dlv_path.c_str()));
    int refusals = 0;  // looks in a row at a bulk device that would not open
    for (int attempt = 0; !job.Aborted(); ++attempt) {
        if (usb.FindDlvDevice(&dlv_path)) {
            if (usb.dlv().Open(dlv_path) == 0) {
                reporter.WriteLog(Format("\nfind usb dlv device = %s.\n", dlv_path.c_str()));
                return 0;
            }
            const UsbOpenFailure why = usb.dlv().open_error().kind;
            refusals =
                why == UsbOpenFailure::kAccess || why == UsbOpenFailure::kBusy ? refusals + 1 : 0;
        }
        // A device that is there but will not open stays so: say why without waiting
        // out the search (a few looks: udev may set the rights a moment after it came).
        if (refusals >= t.dlv_refusals) {
            UsbDeviceInfo device;
            device.path = dlv_path;
            for (const UsbDeviceInfo& info : usb.bus().List()) {
                device = info.path == dlv_path ? info : device;
            }
            Outcome refused = Outcome::Of(result::usb_job::kNoLoaderDevice,
                                          LoaderOpenFailureText(device, usb.dlv().open_error()));
            if (usb.dlv().open_error().kind == UsbOpenFailure::kAccess &&
                (device.vendor || device.product)) {
                refused.next = LoaderRuleNextStep(device);
            }
            return FailLogged(job, std::move(refused));
        }
        if (attempt + 1 >= t.dlv_attempts) {
            // Otherwise the operator would wait most of a minute to be told nothing.
            Outcome missing = Outcome::Of(result::usb_job::kNoLoaderDevice, kNoDlvDeviceText);
            if (jump.failed()) {
                // The jump's own failure is the likelier cause: it comes first.
                missing.reason = jump.Text() + ", and the RAM loader's USB device did not come up";
                missing.next = jump.NextStep();
                std::string first = jump.Text();
                first[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(first[0])));
                missing.text = first + ". " + kNoDlvDeviceText + ". Next step: " + missing.next;
            } else if (usb.dfu().open_error().failed()) {
                missing.text += std::string(". Before that, the boot ROM's DFU device: ") +
                                usb.dfu().open_error().name + " (" + usb.dfu().open_error().detail +
                                ")";
            }
            return FailLogged(job, std::move(missing));
        }
        job.Sleep(t.dlv_retry_ms);
    }
    return job.result();
}

// The steps from the DFU search to the end of the work mode; returns the result.
int RunSteps(DownloadJob& job, UsbDevice& usb, const UsbJobTimings& t) {
    Reporter& reporter = job.reporter;
    std::optional<UsbDeviceInfo> phone;
    if (const int r = FindPhone(job, usb, t, phone); r != 0) {
        return r;
    }
    BootFailure jump;
    if (const int r = BringUpLoader(job, usb, *phone, jump); r != 0) {
        return r;
    }
    reporter.ClearElapsed();
    reporter.SetPhase(Phase::kConnect);
    reporter.ResetBlockMap();
    if (const int r = OpenBulkDevice(job, usb, t, jump); r != 0) {
        return r;
    }
    if (const int r = RunTargetSteps(job, kTargetStepResults); r != 0) {
        return r;
    }
    job.EnterStep(JobStep::kInitSdi);
    if (const int r = InitSdi(job, kSdiParameter); r != 0) {
        reporter.WriteLog("Init SDI fail!\n");
        Outcome said = job.attempt;
        said.code = code::kInitSdiFailed;
        said.inner = r;
        return job.Fail(std::move(said));
    }
    reporter.WriteLog("\nInit SDI successfully!\n");
    return DispatchWorkMode(job);
}

}  // namespace

int RunUsbJob(DownloadJob& job) {
    // A port text that names no USB link (the serial port list's text, when a front
    // end passes it along) leaves the machine's USB with the default recognition.
    UsbLinkSpec spec;
    std::string error;
    if (!ParseUsbLinkSpec(job.port, &spec, &error)) {
        spec = UsbLinkSpec{};
    }
    std::unique_ptr<UsbBus> bus = MakeUsbBus(spec, &error);
    if (!bus) {
        job.attempt.text = error;  // the words of the failure the next step ends the job with
    }
    return RunUsbJob(job, std::move(bus), spec.match, UsbJobTimings{});
}

int RunUsbJob(DownloadJob& job, std::unique_ptr<UsbBus> bus, const UsbMatch& match,
              const UsbJobTimings& timings) {
    Reporter& reporter = job.reporter;
    if (!bus) {
        reporter.WriteLog("\nUSB dfu or dlv handle error!\n");
        return job.FailWith(code::kUsbUnavailable);
    }
    DfuTiming dfu_timing = MakeDfuTiming(job.event_fd());
    dfu_timing.request_timeout_ms = static_cast<unsigned>(timings.dfu_request_ms);
    auto owned = std::make_unique<UsbDevice>(std::move(bus), match, std::move(dfu_timing));
    UsbDevice& usb = *owned;
    usb.dlv().SetAbortFd(job.event_fd());
    job.AttachLoader(std::make_unique<UsbTargetLink>(std::move(owned), job.timings().response_ms,
                                                     job.timings().quiet_ms),
                     MakeUsbDialect());

    int result = RunSteps(job, usb, timings);
    // A step may return 0 after Stop: the job result is the truth.
    if (result == 0) {
        result = job.result();
    }
    job.FailWith(result);
    // A bulk transfer that failed on the bus ended the step: say how, and what next.
    const UsbStatus last = usb.dlv().failure();
    if (result != 0 && !job.Stopped() && usb.dlv().IsOpen() && last != UsbStatus::kOk &&
        last != UsbStatus::kCancelled) {
        const std::string why = TransferFailureText("bulk device", usb.phone_path(), last);
        reporter.WriteLog("\n" + why + "\n");
        Outcome told = job.outcome();
        const bool apart = !told.text.empty() && told.text.back() != '\n';
        told.text += apart ? " " + why : why;
        job.Fail(std::move(told));
    }

    reporter.CloseLog();
    usb.dfu().Close();
    usb.dlv().Close();
    job.End(result);
    return result;
}

}  // namespace velmora::usb
