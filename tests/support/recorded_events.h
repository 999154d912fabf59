#pragma once
// A job's events as velmora-cli --json recorded them against the simulated
// phone, kept one to a line as "<ms> <kind> <values>":
//   phase NAME | progress DONE TOTAL | chip B1 B2 B3 B4 | chip - | map BLOCKS SIZE |
//   block N STATE | status TEXT | end RESULT STOPPED
// (the JSON's display terms, files, elapsed texts and percentages left out).
// Replay hands each to a sink with its time.
#include <array>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/events.h"

namespace velmora::testing {

struct RecordedEvent {
    std::chrono::milliseconds at{0};
    std::string kind;
    std::string text;  // the rest of the line
};

inline std::vector<RecordedEvent> ReadRecordedEvents(const std::string& path) {
    std::vector<RecordedEvent> events;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        long long ms = 0;
        RecordedEvent e;
        if (!(words >> ms >> e.kind)) {
            continue;
        }
        e.at = std::chrono::milliseconds(ms);
        std::getline(words >> std::ws, e.text);
        events.push_back(std::move(e));
    }
    return events;
}

inline std::optional<Phase> PhaseNamed(const std::string& name) {
    for (const Phase p : {Phase::kConnect, Phase::kErase, Phase::kWrite, Phase::kBootBlock,
                          Phase::kRead, Phase::kEraseRange, Phase::kBackup, Phase::kVerify}) {
        if (PhaseName(p) == name)
            return p;
    }
    return std::nullopt;
}

inline std::optional<BlockState> StateNamed(const std::string& name) {
    for (int s = 0; s <= static_cast<int>(BlockState::kFailed); ++s) {
        if (StateName(static_cast<BlockState>(s)) == name)
            return static_cast<BlockState>(s);
    }
    return std::nullopt;
}

// Hands the events to `sink` in order; `at` is called before each with its time.
inline void Replay(const std::vector<RecordedEvent>& events, EventSink& sink,
                   const std::function<void(std::chrono::milliseconds)>& at = {}) {
    for (const RecordedEvent& e : events) {
        if (at)
            at(e.at);
        std::istringstream in(e.text);
        if (e.kind == "phase") {
            sink.OnPhase(PhaseNamed(e.text).value());
        } else if (e.kind == "progress") {
            uint64_t done = 0, total = 0;
            in >> done >> total;
            sink.OnProgress(done, total);
        } else if (e.kind == "chip") {
            std::array<uint8_t, 4> id{};
            int b = 0;
            for (uint8_t& byte : id) {
                in >> std::hex >> b;
                byte = static_cast<uint8_t>(b);
            }
            sink.OnChip(in ? std::optional(id) : std::nullopt);
        } else if (e.kind == "map") {
            int blocks = 0;
            uint32_t size = 0;
            in >> blocks >> size;
            sink.OnBlockMap(blocks, size);
        } else if (e.kind == "block") {
            int block = 0;
            std::string state;
            in >> block >> std::ws;
            std::getline(in, state);
            sink.OnBlock(block, StateNamed(state).value());
        } else if (e.kind == "status") {
            sink.OnStatus(e.text);
        } else if (e.kind == "end") {
            JobEnd end;
            int stopped = 0;
            in >> end.result >> stopped;
            end.user_stopped = stopped != 0;
            sink.OnEnd(end);
        }
    }
}

}  // namespace velmora::testing
