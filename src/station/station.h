#pragma once
// A production line's station: the same job on many phones at once, one slot
// per port, each slot its own worker on the job engine (a JobController of its
// own), so a phone that fails leaves the others alone. With `loop` a slot that
// finished starts again with the next phone: serial slots wait for the next
// boot-ROM announce, USB slots for the finished phone to leave its bus path and
// a device to appear there again. Every job is a row of the station log.
//
//   Station station(SimulatedPhones());
//   station.on_slot = [](const SlotView& v) {...};   // a slot's state changed
//   StationStart s = station.Start(request, sinks);  // one EventSink per slot
//   ... station.Stop();  station.Wait();
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/events.h"
#include "job/job_control.h"
#include "job/link_registry.h"

namespace velmora {

class StationLog;
enum class RowSaved;

enum class SlotState {
    kIdle,        // not started
    kRunning,     // a job runs (it may still wait for its phone)
    kWaitingUsb,  // loop: waiting for the finished phone to leave its bus path
    kPassed,      // the last job passed; the slot is done (no loop)
    kFailed,      // the last job failed; the slot is done (no loop)
    kStopped,     // stopped by Stop; the slot is done
};
std::string_view SlotStateName(SlotState state);  // "idle", "running", ...

// What a slot shows between events: the counters and its last result.
struct SlotView {
    int slot = 0;           // 0-based
    std::string port_text;  // as the operator gave it
    std::string port;       // as the job opens it (a simulated phone's pty, ...)
    SlotState state = SlotState::kIdle;
    int passed = 0;
    int failed = 0;
    std::optional<JobEnd> last_end;  // the last job's end
    std::string last_text;           // "passed", the error text, or "stopped"
    bool done = false;               // the slot's worker has ended
    // Rows of this slot's phones that the station log could not take, and why
    // the last one is not there (and where it is kept); empty when it is.
    int unlogged = 0;
    int lost = 0;  // of those, rows the side file could not keep either
    std::string log_text;
};

struct StationRequest {
    // The job every slot runs: link, baud, table, home, time-outs. Its `port`
    // is ignored; `debug` is refused (every slot would write the same
    // dl_log.txt and bbm_rcb.bin).
    JobRequest job;
    std::vector<std::string> ports;  // one per slot: serial device, USB link text, sim[:...]
    bool loop = false;
    // The station log; empty: no log.
    std::string log_path;
};

struct StationStart {
    bool started = false;
    std::string message;  // why not
    // What the operator should know about the log: rows of an earlier run
    // added to it or still waiting, a log that cannot be written.
    std::vector<std::string> notes;
};

// Why two of `ports` cannot be slots of one station: the same text twice, or
// two names of one device (a serial device after its links, a simulated
// phone's link and its pty; a USB link's bus path). Empty when they can.
// `sim` texts each start a phone of their own.
std::string SharedPortProblem(LinkKind link, const std::vector<std::string>& ports);

// The SHA-256 of a file as 64 lower-case hexadecimal digits; empty when it
// cannot be read.
std::string FileSha256(const std::string& path);

class Station {
  public:
    // `simulators` starts the phones of `sim` port texts (each slot its own).
    explicit Station(SimulatorFactory simulators = {});
    // Stops every slot and waits for their ends.
    ~Station();
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // Called on a slot's own thread (so from several threads at once) whenever
    // its state, counters or last result change, and once more when it is done.
    // Set before Start.
    std::function<void(const SlotView& view)> on_slot;

    // Checks the request (ports given, each a device of its own, resolvable; the table, home
    // and catalogue as JobController::Start checks them; the log opens) and
    // starts every slot. `sinks` holds one EventSink per port (null: not
    // shown); each must outlive the station. A refused request starts nothing.
    StationStart Start(const StationRequest& request, const std::vector<EventSink*>& sinks);

    // Stops every slot as the window's Stop stops a job (a boot block being
    // written is finished first); returns at once. Also kept for a slot whose
    // next job has not started yet. Safe from any thread, also from a signal
    // watcher.
    void Stop();
    // Waits until every slot is done.
    void Wait();
    bool Running() const;

    int slot_count() const;
    SlotView Slot(int slot) const;
    int passed() const;  // over all slots
    int failed() const;
    // True once Stop was called.
    bool stopped() const;
    // Rows the station log could not take (kept in the side file, or lost).
    int unlogged() const;
    int lost_rows() const;  // of those, rows the side file could not keep either
    // The station log's file and its side file; empty without a log.
    std::string log_path() const;
    std::string pending_path() const;

  private:
    // A count of every slot's view added up.
    int Total(int SlotView::*count) const;
    struct SlotRun;
    // One job's start and end on a slot.
    struct SlotJob {
        bool started = false;
        JobOutcome outcome;
        int64_t duration_ms = 0;
    };

    // Start's steps: what an earlier run left is cleared; a refusal's text, empty when none.
    void ClearLastRun();
    static std::string RequestProblem(const StationRequest& request,
                                      const std::vector<EventSink*>& sinks);
    std::string MakeSlots(const StationRequest& request, const std::vector<EventSink*>& sinks,
                          std::vector<std::unique_ptr<SlotRun>>& slots);
    std::string OpenLog(const std::string& path);

    // A slot's worker, and each job's phases on it.
    void RunSlot(SlotRun& run);
    void BeginJob(SlotRun& run);
    SlotJob RunOneJob(SlotRun& run);
    static std::string EndText(const JobOutcome& outcome, bool was_stopped);
    RowSaved LogRow(SlotRun& run, const SlotJob& job, const std::string& text, bool was_stopped,
                    std::string* log_text);
    void ShowEnd(SlotRun& run, const JobOutcome& outcome, const std::string& text,
                 const std::string& log_text, RowSaved saved, bool was_stopped);
    void Publish(SlotRun& run);
    // Adds the rows an earlier run left in the log's side file; what to tell.
    std::vector<std::string> MergeWaitingRows();
    // Loop, USB: false when stopped first.
    bool WaitForNextUsbPhone(SlotRun& run);

    SimulatorFactory simulators_;
    std::unique_ptr<StationLog> log_;
    std::vector<std::unique_ptr<SlotRun>> slots_;
    bool loop_ = false;
    std::string ptt_path_;  // absolute, for the log
    std::string ptt_sha256_;
    mutable std::mutex mutex_;
    bool stop_ = false;  // guarded by mutex_
    int stop_fd_ = -1;   // an eventfd, readable once Stop was called
};

}  // namespace velmora
