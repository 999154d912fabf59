#pragma once
// What the host did to the simulated phone: every boot ROM command, every
// frame, every block erased or programmed, every baud rate seen on the line,
// and every rule of the link the host broke ("violation"). Kept in memory for
// tests and, when a file is given, written as one JSON object per line.
#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "base/output_file.h"

namespace velmora::sim {

struct TraceEvent {
    int64_t time_us = 0;  // since the phone started
    // "power_on", "announce", "echo", "rom", "jump", "start_byte", "line", "frame",
    // "erase", "program", "read", "answer", "fault", "violation", "session_end"
    std::string kind;
    int command = -1;                // frame command code, or boot ROM letter
    std::array<uint32_t, 7> args{};  // frame arguments 1 to 7
    int64_t block = -1;
    int64_t page = -1;
    int64_t count = -1;  // pages, bytes or words, by kind
    int64_t value = -1;  // baud rate, status, address, by kind
    bool ok = true;
    std::string text;
};

class Trace {
  public:
    Trace();
    // Also writes every event to `path` (a regular file) as JSON lines; empty
    // closes the file. A file that exists already is refused, so that no earlier
    // trace is lost, unless `append` says to add to it. False with `error` set.
    bool OpenFile(const std::string& path, bool append, std::string* error);
    void Add(TraceEvent event);
    void Violation(std::string text, int command = -1);
    void Flush();
    void Clear();

    std::vector<TraceEvent> Events() const;
    std::vector<TraceEvent> Of(const std::string& kind) const;
    std::vector<int> Commands() const;           // frame command codes in order
    std::vector<uint32_t> ErasedBlocks() const;  // successful erases, in order
    std::vector<uint32_t> ProgrammedBlocks() const;
    std::vector<uint32_t> BaudRates() const;  // as the host set them, in order
    std::vector<std::string> Violations() const;

    static std::string ToJson(const TraceEvent& event);

  private:
    std::chrono::steady_clock::time_point start_;
    mutable std::mutex mutex_;
    std::vector<TraceEvent> events_;
    velmora::File file_;
};

}  // namespace velmora::sim
