#pragma once
// An event sink that records what a job showed, for tests: the events as they
// came (statuses, messages, block states, the log) and, through the window's
// adapter, the window's terms (bar colours, percentages, the block map).
// Thread-safe: the job writes from its worker, the test reads.
#include <algorithm>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "base/events.h"
#include "frontend/display.h"

namespace velmora::testing {

class RecordingDisplay : public EventSink {
  public:
    RecordingDisplay() = default;
    RecordingDisplay(const RecordingDisplay&) = delete;
    RecordingDisplay& operator=(const RecordingDisplay&) = delete;

    void set_link(LinkKind link) { adapter_.set_link(link); }

    void OnStatus(const std::string& text) override { Add("status", text); }
    void OnPhase(Phase phase) override { adapter_.OnPhase(phase); }
    void OnProgress(uint64_t done, uint64_t total) override { adapter_.OnProgress(done, total); }
    void OnElapsed(std::optional<uint32_t> ms) override { adapter_.OnElapsed(ms); }
    void OnChip(const std::optional<std::array<uint8_t, 4>>& id) override { adapter_.OnChip(id); }
    void OnBlockMap(int count, uint32_t size) override {
        {
            std::lock_guard lock(mutex_);
            states_.clear();
        }
        adapter_.OnBlockMap(count, size);
    }
    void OnBlock(int block, BlockState state) override {
        {
            std::lock_guard lock(mutex_);
            states_[block] = state;
        }
        adapter_.OnBlock(block, state);
    }
    void OnFile(const std::string&) override {}
    void OnStepMessage(const std::string& text) override { Add("message", text); }
    void OnLog(const std::string& text) override { Add("log", text); }
    void OnEnd(const JobEnd& end) override { adapter_.OnEnd(end); }

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
    // The last state reported for `block`, if any.
    std::optional<BlockState> state(int block) const {
        std::lock_guard lock(mutex_);
        const auto it = states_.find(block);
        return it == states_.end() ? std::nullopt : std::optional<BlockState>(it->second);
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
    // The window's side of the adapter: what it would paint.
    class Window : public JobDisplay {
      public:
        explicit Window(RecordingDisplay& owner) : owner_(owner) {}
        void OnProgress(int percent) override { owner_.Add("progress", std::to_string(percent)); }
        void OnBarColour(uint32_t colour) override {
            std::lock_guard lock(owner_.mutex_);
            owner_.bar_colours_.push_back(colour);
        }
        void OnElapsed(const std::string& text) override { owner_.Add("elapsed", text); }
        void OnChipInfo(const std::string& text) override { owner_.Add("chip", text); }
        void OnBlockMapClear() override {
            owner_.Map([](BlockMap& m) { m.Clear(); });
        }
        void OnBlockMapInit(int blocks, uint32_t size) override {
            owner_.Map([&](BlockMap& m) { m.Init(blocks, size); });
        }
        void OnBlockText(int block, int column, const std::string& text) override {
            owner_.Map([&](BlockMap& m) { m.SetText(block, column, text); });
        }
        void OnBlockColour(int block, uint32_t colour, int) override {
            owner_.Map([&](BlockMap& m) { m.Mark(block, colour); });
        }

      private:
        RecordingDisplay& owner_;
    };

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
    std::map<int, BlockState> states_;
    Window window_{*this};
    DisplayAdapter adapter_{window_};
};

}  // namespace velmora::testing
