#include "sim/trace.h"

#include <fcntl.h>
#include <unistd.h>

#include <sys/stat.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "base/input_file.h"

namespace velmora::sim {

Trace::Trace() : start_(std::chrono::steady_clock::now()) {}

bool Trace::OpenFile(const std::string& path, bool append, std::string* error) {
    std::lock_guard lock(mutex_);
    file_.reset();
    if (path.empty()) {
        return true;
    }
    // Made here or added to, never cut short, so that a trace kept from an earlier
    // run is not lost to a second one under the same name; a regular file only: a
    // FIFO would hold the phone's start until a reader came.
    struct stat existing {};
    if (!append && ::stat(path.c_str(), &existing) == 0) {
        if (error != nullptr) {
            *error = "the trace file " + path +
                     " exists already: name a new file, or add to it with trace-append "
                     "(velmora-phone-sim: --trace-append)";
        }
        return false;
    }
    std::string problem;
    const int fd = velmora::OpenRegularFile(path, O_WRONLY | O_CREAT | (append ? O_APPEND : O_EXCL),
                                            0644, &problem);
    if (fd >= 0) {
        file_.reset(::fdopen(fd, "a"));
        if (file_) {
            return true;
        }
        ::close(fd);
        problem = "cannot write the trace file " + path;
    }
    if (error != nullptr) {
        *error = problem;
    }
    return false;
}

std::string Trace::ToJson(const TraceEvent& e) {
    nlohmann::json j;
    j["t_us"] = e.time_us;
    j["event"] = e.kind;
    if (e.command >= 0) {
        j["cmd"] = e.command;
    }
    if (e.kind == "frame") {
        j["args"] = e.args;
    }
    if (e.block >= 0) {
        j["block"] = e.block;
    }
    if (e.page >= 0) {
        j["page"] = e.page;
    }
    if (e.count >= 0) {
        j["count"] = e.count;
    }
    if (e.value >= 0) {
        j["value"] = e.value;
    }
    if (!e.ok) {
        j["ok"] = false;
    }
    if (!e.text.empty()) {
        j["text"] = e.text;
    }
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void Trace::Add(TraceEvent event) {
    event.time_us = std::chrono::duration_cast<std::chrono::microseconds>(
                        std::chrono::steady_clock::now() - start_)
                        .count();
    std::lock_guard lock(mutex_);
    if (file_) {
        const std::string line = ToJson(event) + "\n";
        std::fwrite(line.data(), 1, line.size(), file_.get());
    }
    events_.push_back(std::move(event));
}

void Trace::Violation(std::string text, int command) {
    TraceEvent e;
    e.kind = "violation";
    e.command = command;
    e.ok = false;
    e.text = std::move(text);
    Add(std::move(e));
}

void Trace::Flush() {
    std::lock_guard lock(mutex_);
    if (file_) {
        std::fflush(file_.get());
    }
}

void Trace::Clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
}

std::vector<TraceEvent> Trace::Events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

std::vector<TraceEvent> Trace::Of(const std::string& kind) const {
    std::lock_guard lock(mutex_);
    std::vector<TraceEvent> out;
    for (const auto& e : events_) {
        if (e.kind == kind) {
            out.push_back(e);
        }
    }
    return out;
}

std::vector<int> Trace::Commands() const {
    std::vector<int> out;
    for (const auto& e : Of("frame")) {
        out.push_back(e.command);
    }
    return out;
}

std::vector<uint32_t> Trace::ErasedBlocks() const {
    std::vector<uint32_t> out;
    for (const auto& e : Of("erase")) {
        if (e.ok) {
            out.push_back(static_cast<uint32_t>(e.block));
        }
    }
    return out;
}

std::vector<uint32_t> Trace::ProgrammedBlocks() const {
    std::vector<uint32_t> out;
    for (const auto& e : Of("program")) {
        if (e.ok) {
            out.push_back(static_cast<uint32_t>(e.block));
        }
    }
    return out;
}

std::vector<uint32_t> Trace::BaudRates() const {
    std::vector<uint32_t> out;
    for (const auto& e : Of("line")) {
        out.push_back(static_cast<uint32_t>(e.value));
    }
    return out;
}

std::vector<std::string> Trace::Violations() const {
    std::vector<std::string> out;
    for (const auto& e : Of("violation")) {
        out.push_back(e.text);
    }
    return out;
}

}  // namespace velmora::sim
