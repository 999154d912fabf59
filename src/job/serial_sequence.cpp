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
        job.reason = PortOpenReason(shown, why);
        job.advice = PortOpenNextStep(why);
        job.reporter.SetStatus("Open COMPort Fail");
        job.reporter.WriteLog("\n" + job.reason + "\n");
        return result::serial_job::kOpenPortFailed;
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
    job.step = JobStep::kOpenPort;
    if (const int r = OpenForJob(port, job); r != 0) {
        job.Fail(r, "打开串口失败！ " + job.reason + ". " + job.advice);
        return r;
    }
    reporter.SetStatus("请打开手机！");
    job.step = JobStep::kWaitPhone;
    if (const int w = WaitForPhone(port, job, job.port); w != 0) {
        if (w == result::serial_boot::kPhoneTimedOut) {
            job.reason = job.error_text;
            job.advice = kNoPhoneNext;
        } else {
            job.Fail(code::kPhoneNotConnected, "连接手机失败！");
        }
        return code::kPhoneNotConnected;
    }
    reporter.ClearElapsed();
    reporter.SetPhase(Phase::kConnect);
    // A phone that skipped the handshake fails at the loader's first acknowledgement;
    // the handshake's failure then tells why.
    job.step = JobStep::kBootRom;
    const int handshake = BootHandshake(port, job);
    if (job.Aborted()) {
        return job.result.load();
    }
    reporter.SetProgress(6, 100);

    job.step = JobStep::kLoader;
    std::vector<uint8_t> image;
    std::string problem;
    int r = LoadRamLoader(SerialRamLoader(), job.home, image, &problem);
    if (r != 0) {
        job.error_text =
            problem.empty()
                ? Format(
                      "The RAM loader image could not be loaded (#%d): nothing was sent to "
                      "the phone.",
                      r)
                : problem;
    } else {
        r = SendRamLoader(port, job, image);
        if (r != 0 && handshake != 0) {
            job.error_text +=
                " Before that, the handshake failed: " + HandshakeFailureText(handshake) +
                Format(" (#%d).", handshake);
        }
    }
    if (job.Aborted()) {
        return job.result.load();
    }
    if (r != 0) {
        job.reporter.WriteLog("\n" + job.error_text + "\n");
        job.inner = r;
        job.result.store(code::kLoaderTransferFailed);
        return code::kLoaderTransferFailed;
    }
    job.step = JobStep::kBaudSwitch;
    if (const int b = SwitchToLoaderBaud(port, job, job.baud_selection); b != 0) {
        job.result.store(b);
        return b;
    }
    if (job.Aborted()) {
        return job.result.load();
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
    job.link = std::make_unique<SerialTargetLink>(std::move(owned), job.timings.write_ms,
                                                  job.timings.quiet_ms);
    job.dialect = MakeSerialDialect();

    int result = RunSteps(job, port);
    // A step may return 0 after Stop wiped nothing: the job result is the truth.
    if (result == 0) {
        result = job.result.load();
    }
    job.result.store(result);

    job.ShowEnding(result);
    port.PurgeInput();
    port.Close();
    return result;
}

}  // namespace velmora
