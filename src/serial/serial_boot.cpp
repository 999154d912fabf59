#include "serial/serial_boot.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <string>
#include <vector>

#include "base/job_base.h"
#include "base/results.h"
#include "base/text_format.h"
#include "link/loader_frame.h"
#include "serial/serial_port.h"

namespace velmora {
namespace {

namespace code = result::serial_boot;

constexpr uint8_t kAnnounce = 0x81;
constexpr uint8_t kLoaderStart = 0xBE;

// Sends the bytes; returns their count, for the wait that follows them.
size_t Send(SerialPort& port, std::initializer_list<uint8_t> bytes) {
    const std::vector<uint8_t> data(bytes);
    port.Write(data);
    return data.size();
}

// An answer comes only after the command's bytes have crossed the line and its
// own bytes have crossed back: each wait covers that wire time plus its time-out.
bool Ack(SerialPort& port, const JobBase& job, size_t sent) {
    return port.WaitForByte(kAck, job.timings().ack_ms + port.WireMs(sent + 1));
}

bool Answer(SerialPort& port, const JobBase& job, size_t sent, size_t count,
            std::array<uint8_t, 16>* kept = nullptr) {
    std::array<uint8_t, 16> answer{};
    const bool ok = port.ReadExact(std::span(answer).first(count),
                                   job.timings().boot_answer_ms + port.WireMs(sent + count));
    if (ok && kept != nullptr) {
        *kept = answer;
    }
    return ok;
}

// Sets the line format; on a rate the port did not take, the log says which it took.
bool SetFormat(SerialPort& port, JobBase& job, int baud) {
    if (port.SetLineFormat(baud, 8, Parity::kNone, 1) == result::serial_port::kFormatSet) {
        return true;
    }
    if (port.taken_baud() != 0) {
        job.reporter.WriteLog(
            Format("The port did not take %d baud: it runs at %d baud", baud, port.taken_baud()));
    }
    return false;
}

}  // namespace

int WaitForPhone(SerialPort& port, JobBase& job, const std::string& port_name) {
    using Clock = std::chrono::steady_clock;
    using std::chrono::milliseconds;
    port.PurgeInput();
    if (job.Aborted()) {
        return job.result() != 0 ? job.result() : code::kNoEcho;
    }
    // Without a time-out the operator switches the phone on when ready, or stops.
    const auto start = Clock::now();
    const auto never = Clock::time_point::max();
    const int limit_ms = job.timings().phone_wait_ms;
    const int notice_ms = job.timings().phone_notice_ms;
    const auto deadline = limit_ms > 0 ? start + milliseconds(limit_ms) : never;
    auto next_notice = notice_ms > 0 ? start + milliseconds(notice_ms) : never;
    std::array<uint8_t, 9> burst{};
    for (;;) {
        const auto wake = std::min(deadline, next_notice);
        int timeout_ms = -1;
        if (wake != never) {
            const auto left = std::chrono::ceil<milliseconds>(wake - Clock::now()).count();
            timeout_ms = static_cast<int>(std::max<long long>(left, 0));
        }
        const int n = port.ReadSome(burst, timeout_ms);
        if (n < 0) {
            // Stopped, or the device went away.
            return job.result() != 0 ? job.result() : code::kNoEcho;
        }
        if (n == 0) {
            const auto now = Clock::now();
            if (now >= deadline) {
                const std::string text = NoPhoneText(port_name, (limit_ms + 999) / 1000);
                job.Fail(Outcome::Of(result::serial_job::kPhoneNotConnected, text)
                             .Because(text, std::string(kNoPhoneNext)));
                return code::kPhoneTimedOut;
            }
            if (now >= next_notice) {
                const auto waited = std::chrono::duration_cast<std::chrono::seconds>(now - start);
                job.reporter.SetStatus(PhoneWaitText(port_name, static_cast<int>(waited.count()),
                                                     (limit_ms + 999) / 1000));
                next_notice += milliseconds(notice_ms);
            }
            continue;
        }
        if (std::find(burst.begin(), burst.begin() + n, kAnnounce) != burst.begin() + n) {
            port.PurgeInput();
            port.SendImmediate('D');
            return port.WaitForByte('D', job.timings().ack_ms + port.WireMs(2)) ? 0 : code::kNoEcho;
        }
    }
}

int BootHandshake(SerialPort& port, JobBase& job) {
    if (!Ack(port, job, Send(port, {'T', 0xFF})))
        return code::kNoTimeoutAck;
    std::array<uint8_t, 16> product{};
    if (!Answer(port, job, Send(port, {'P'}), 5, &product))
        return code::kNoProductId;
    std::array<uint8_t, 5> id{};
    std::copy_n(product.begin(), 5, id.begin());
    job.SetProductId(id);
    if (!Answer(port, job, Send(port, {'Q'}), 16))
        return code::kNoAnswer;
    std::vector<uint8_t> dongle(21, 0);
    dongle[0] = 'D';
    port.Write(dongle);
    if (!Ack(port, job, dongle.size()))
        return code::kNoAnswer;
    if (!Ack(port, job, Send(port, {'S', 0x48, 0x00, 0x10, 0xC2})))
        return code::kNoAnswer;
    if (!Answer(port, job, Send(port, {'G', 0x00}), 4))
        return code::kNoAnswer;
    if (!Ack(port, job, Send(port, {'S', 0x00, 0x00, 0x00, 0xBC})))
        return code::kNoAnswer;
    return Ack(port, job, Send(port, {'L', 0x00, 0x01, 0x00, 0x00, 0x00})) ? 0 : code::kNoAnswer;
}

std::string HandshakeFailureText(int code) {
    switch (code) {
        case code::kNoTimeoutAck:
            return "the boot ROM did not acknowledge its time-out ('T')";
        case code::kNoProductId:
            return "the boot ROM sent no product ID ('P')";
        default:
            return "a step after the product ID got no answer from the boot ROM";
    }
}

int SendRamLoader(SerialPort& port, JobBase& job, std::span<const uint8_t> image) {
    const size_t chunks = (image.size() + 255) / 256;
    if (!Ack(port, job, Send(port, {'S', 0x00, 0x00, 0x00, 0x00}))) {
        job.attempt.text =
            "The boot ROM did not acknowledge the RAM loader's load address ('S'): nothing of "
            "the loader was sent.";
        return code::kNoAddressAck;
    }
    size_t offset = 0;
    std::vector<uint8_t> load;
    while (offset < image.size()) {
        const size_t chunk = std::min<size_t>(image.size() - offset, 256);
        // Count and words go out in one write: the boot ROM reads them as one command.
        load.assign({'L', static_cast<uint8_t>(chunk / 4 - 1)});
        load.insert(load.end(), image.begin() + static_cast<std::ptrdiff_t>(offset),
                    image.begin() + static_cast<std::ptrdiff_t>(offset + chunk));
        port.Write(load);
        offset += chunk;
        if (!Ack(port, job, load.size())) {
            job.attempt.text = Format(
                "The boot ROM did not acknowledge part %zu of %zu of the RAM loader ('L'): the "
                "loader was not sent whole.",
                (offset + 255) / 256, chunks);
            return code::kNoLoadAck;
        }
    }
    if (!Ack(port, job, Send(port, {'S', 0x00, 0x00, 0x00, 0x00}))) {
        job.attempt.text =
            "The RAM loader was sent, but the boot ROM did not acknowledge its start address "
            "('S'), so it was not started.";
        return code::kNoAddressAck;
    }
    Send(port, {'J'});
    return 0;
}

int SwitchToLoaderBaud(SerialPort& port, JobBase& job, int selection) {
    job.reporter.SetStatus("改变波特率到115200！");
    if (!SetFormat(port, job, 115200)) {
        job.attempt.text = "改变波特率到115200失败！";
        return result::serial_job::kLineFormatFailed;
    }
    // The 'J' may still be crossing the line, and the 0xBE must cross back.
    if (!port.WaitForByte(kLoaderStart, job.timings().loader_start_ms + port.WireMs(2))) {
        job.attempt.text = "BootLoader启动失败!";
        return result::serial_job::kLoaderNotStarted;
    }
    if (selection == 1 || selection == 2) {
        const int baud = selection == 2 ? 921600 : 460800;
        job.reporter.SetStatus(selection == 2 ? "改变波特率到921600!" : "改变波特率到460800!");
        const CommandFrame frame(kCmdSetBaudRate, {static_cast<uint32_t>(baud)});
        port.Write(frame.span());
        // The loader gives no answer: the pause, counted from when the frame has
        // crossed the line, is the only synchronisation.
        job.Sleep(job.timings().baud_pause_ms + port.WireMs(frame.span().size()));
        if (!SetFormat(port, job, baud)) {
            job.attempt.text =
                selection == 2 ? "改变波特率到921600失败！" : "改变波特率到460800失败！";
            return selection == 2 ? result::serial_job::kBaud921600Failed
                                  : result::serial_job::kBaud460800Failed;
        }
    }
    job.Sleep(job.timings().settle_ms);
    port.PurgeInput();
    return 0;
}

}  // namespace velmora
