#include "job/serial_sequence.h"

#include <memory>
#include <vector>

#include "base/results.h"
#include "base/text_format.h"
#include "flash/identify.h"
#include "flash/nand_dialect.h"
#include "flash/target_protocol.h"
#include "job/download_job.h"
#include "job/ram_loader.h"
#include "job/work_mode.h"
#include "serial/serial_boot.h"
#include "serial/serial_port.h"
#include "serial/serial_target_link.h"

namespace velmora {

int OpenForJob(SerialPort& port, DownloadJob& job) {
    const std::string device = SerialDevicePath(job.port);
    if (!port.Open(device) ||
        port.SetLineFormat(115200, 8, Parity::kEven, 1) != result::serial_port::kFormatSet) {
        PortOpenError why = port.open_error();
        if (!why.failed()) {
            why.kind = PortOpenFailure::kFormat;
        }
        port.Close();
        const std::string shown = device.empty() ? job.port : device;
        const std::string reason = PortOpenReason(shown, why);
        const std::string next = PortOpenNextStep(why);
        job.reporter.SetStatus("Open COMPort Fail");
        job.reporter.WriteLog("\n" + reason + "\n");
        return job.Fail(Outcome::Of(result::serial_job::kOpenPortFailed,
                                    "打开串口失败！ " + reason + ". " + next)
                            .Because(reason, next));
    }
    port.PurgeInput();
    return 0;
}

namespace {

namespace code = result::serial_job;

constexpr TargetStepResults kTargetStepResults = {.identify = code::kIdentifyFailed,
                                                  .ibt = code::kIbtFailed,
                                                  .parameters = code::kParametersFailed,
                                                  .record = code::kRecordFailed,
                                                  .ibt_status = "Get Flash IBT!"};

// Runs the steps up to the end of the work mode; returns the job result.
int RunSteps(DownloadJob& job, SerialPort& port) {
    Reporter& reporter = job.reporter;
    // The port first: a port that cannot be opened is said before the operator
    // is asked to switch the phone on.
    job.EnterStep(JobStep::kOpenPort);
    if (const int r = OpenForJob(port, job); r != 0) {
        return r;
    }
    reporter.SetStatus("请打开手机！");
    job.EnterStep(JobStep::kWaitPhone);
    if (const int w = WaitForPhone(port, job, job.port); w != 0) {
        if (w != result::serial_boot::kPhoneTimedOut) {
            job.Fail(Outcome::Of(code::kPhoneNotConnected, "连接手机失败！"));
        }
        return code::kPhoneNotConnected;
    }
    reporter.ClearElapsed();
    reporter.SetPhase(Phase::kConnect);
    // A phone that skipped the handshake fails at the loader's first acknowledgement;
    // the handshake's failure then tells why.
    job.EnterStep(JobStep::kBootRom);
    const int handshake = BootHandshake(port, job);
    if (job.Aborted()) {
        return job.result();
    }
    reporter.SetProgress(6, 100);

    job.EnterStep(JobStep::kLoader);
    std::vector<uint8_t> image;
    std::string problem;
    int r = LoadRamLoader(SerialRamLoader(), job.home(), image, &problem);
    if (r != 0) {
        problem = problem.empty()
                      ? Format(
                            "The RAM loader image could not be loaded (#%d): nothing was sent to "
                            "the phone.",
                            r)
                      : problem;
    } else {
        r = SendRamLoader(port, job, image);
        problem = job.attempt.text;
        if (r != 0 && handshake != 0) {
            problem += " Before that, the handshake failed: " + HandshakeFailureText(handshake) +
                       Format(" (#%d).", handshake);
        }
    }
    if (job.Aborted()) {
        return job.result();
    }
    if (r != 0) {
        job.reporter.WriteLog("\n" + problem + "\n");
        return job.Fail(Outcome::Of(code::kLoaderTransferFailed, problem).Wrapping(r));
    }
    job.EnterStep(JobStep::kBaudSwitch);
    if (const int b = SwitchToLoaderBaud(port, job, job.baud_selection); b != 0) {
        return job.FailWith(b);
    }
    if (job.Aborted()) {
        return job.result();
    }
    reporter.ResetBlockMap();

    if (const int t = RunTargetSteps(job, kTargetStepResults); t != 0) {
        return t;
    }
    return DispatchWorkMode(job);
}

}  // namespace

int RunSerialJob(DownloadJob& job) {
    auto owned = std::make_unique<SerialPort>(job);
    SerialPort& port = *owned;
    job.AttachLoader(std::make_unique<SerialTargetLink>(std::move(owned), job.timings().write_ms,
                                                        job.timings().quiet_ms),
                     MakeSerialDialect());

    int result = RunSteps(job, port);
    // A step may return 0 after Stop wiped nothing: the job result is the truth.
    if (result == 0) {
        result = job.result();
    }
    job.End(result);
    port.PurgeInput();
    port.Close();
    return result;
}

}  // namespace velmora
