#include "job/serial_sequence.h"

#include <memory>
#include <vector>

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
    if (device.empty() || !port.Open(device) ||
        port.SetLineFormat(115200, 8, Parity::kEven, 1) != 1) {
        port.Close();
        job.reporter.SetStatus("Open COMPort Fail");
        return -3001;
    }
    port.PurgeInput();
    return 0;
}

namespace {

// A step's failure message; a step that failed because the operator stopped the
// job says nothing, as the job's end does not.
void StepFailed(DownloadJob& job) {
    if (job.user_stop.load() == 0) {
        job.reporter.ShowStepMessage(job.error_text);
    }
}

// Runs the steps up to the end of the work mode; returns the job result.
int RunSteps(DownloadJob& job, SerialPort& port) {
    Reporter& reporter = job.reporter;
    reporter.SetStatus("请打开手机！");
    if (const int r = OpenForJob(port, job); r != 0) {
        job.Fail(r, "打开串口失败！");
        return r;
    }
    if (WaitForPhone(port, job) != 0) {
        job.Fail(-1, "连接手机失败！");
        return -1;
    }

    reporter.ClearElapsed();
    reporter.SetPhase(Phase::kConnect);
    // A phone that skipped the handshake fails at the loader's first acknowledgement.
    BootHandshake(port, job);
    reporter.SetProgress(6, 100);

    std::vector<uint8_t> image;
    int r = LoadRamLoader(SerialRamLoader(), job.home, image);
    if (r == 0) {
        r = SendRamLoader(port, job, image);
    }
    if (r != 0) {
        job.result.store(-2);
        return -2;
    }
    if (const int b = SwitchToLoaderBaud(port, job, job.baud_selection); b != 0) {
        job.result.store(b);
        return b;
    }
    reporter.ResetBlockMap();

    reporter.SetStatus("Get Flash information!");
    if (IdentifyNand(job) != 0) {
        StepFailed(job);
        job.result.store(-7);
        return -7;
    }
    reporter.SetStatus("Get Flash IBT!");
    if (GetIbt(job) != 0) {
        StepFailed(job);
        job.result.store(100);
        return 100;
    }
    if (SetNandParameters(job) != 0) {
        StepFailed(job);
        job.result.store(-8);
        return -8;
    }
    reporter.SetStatus("Get MangrBlk!");
    if (const int m = ReadManagementRecord(job); m > 0) {
        job.error_text = Format("Get MangrBlk Fail, #%d!", m);
        StepFailed(job);
        job.result.store(-80);
        return -80;
    }
    return DispatchWorkMode(job);
}

}  // namespace

int RunSerialJob(DownloadJob& job) {
    auto owned = std::make_unique<SerialPort>(job);
    SerialPort& port = *owned;
    job.link = std::make_unique<SerialTargetLink>(std::move(owned), job.timings.write_ms);
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
