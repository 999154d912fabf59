#pragma once
// A JobDisplay that records what a job showed, for tests. Thread-safe: the job
// writes from its worker, the test reads.
#include <algorithm>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "job/block_map.h"
#include "job/status_reporter.h"

namespace velmora::testing {

class RecordingDisplay : public JobDisplay {
  public:
    void OnStatus(const std::string& text) override { Add("status", text); }
    void OnProgress(int percent) override { Add("progress", std::to_string(percent)); }
    void OnBarColour(uint32_t colour) override {
        std::lock_guard lock(mutex_);
        bar_colours_.push_back(colour);
    }
    void OnElapsed(const std::string& text) override { Add("elapsed", text); }
    void OnChipInfo(const std::string& text) override { Add("chip", text); }
    void OnStepMessage(const std::string& text) override { Add("message", text); }
    void OnLog(const std::string& text) override { Add("log", text); }
    void OnBlockMapClear() override {
        Map([](BlockMap& m) { m.Clear(); });
    }
    void OnBlockMapInit(int blocks, uint32_t size) override {
        Map([&](BlockMap& m) { m.Init(blocks, size); });
    }
    void OnBlockText(int block, int column, const std::string& text) override {
        Map([&](BlockMap& m) { m.SetText(block, column, text); });
    }
    void OnBlockColour(int block, uint32_t colour, int) override {
        Map([&](BlockMap& m) { m.Mark(block, colour); });
    }

    std::vector<std::string> statuses() const { return Get("status"); }
    std::vector<std::string> messages() const { return Get("message"); }
    std::vector<std::string> elapsed() const { return Get("elapsed"); }
    std::vector<std::string> chip() const { return Get("chip"); }
    std::vector<std::string> log() const { return Get("log"); }
    std::vector<int> progress() const {
        std::vector<int> out;
        for (const auto& p : Get("progress"))
            out.push_back(std::stoi(p));
        return out;
    }
    std::vector<uint32_t> bar_colours() const {
        std::lock_guard lock(mutex_);
        return bar_colours_;
    }
    BlockMap map() const {
        std::lock_guard lock(mutex_);
        return map_;
    }
    std::string last_status() const {
        const auto s = statuses();
        return s.empty() ? std::string() : s.back();
    }
    bool saw_status(const std::string& text) const {
        const auto s = statuses();
        return std::find(s.begin(), s.end(), text) != s.end();
    }

  private:
    void Add(const std::string& kind, const std::string& text) {
        std::lock_guard lock(mutex_);
        events_[kind].push_back(text);
    }
    std::vector<std::string> Get(const std::string& kind) const {
        std::lock_guard lock(mutex_);
        const auto it = events_.find(kind);
        return it == events_.end() ? std::vector<std::string>() : it->second;
    }
    template <typename F>
    void Map(F change) {
        std::lock_guard lock(mutex_);
        change(map_);
    }

    mutable std::mutex mutex_;
    std::map<std::string, std::vector<std::string>> events_;
    std::vector<uint32_t> bar_colours_;
    BlockMap map_;
};

}  // namespace velmora::testing
