#pragma once
// A JobDisplay that records what a job showed, for tests. Thread-safe: the job
// writes from its worker, the test reads.
#include <mutex>
#include <string>
#include <vector>

#include "job/block_map.h"
#include "job/status_reporter.h"

namespace velmora::testing {

class RecordingDisplay : public JobDisplay {
  public:
    void OnStatus(const std::string& text) override { Add(statuses_, text); }
    void OnProgress(int percent) override {
        std::lock_guard lock(mutex_);
        progress_.push_back(percent);
    }
    void OnBarColour(uint32_t colour) override {
        std::lock_guard lock(mutex_);
        bar_colours_.push_back(colour);
    }
    void OnElapsed(const std::string& text) override { Add(elapsed_, text); }
    void OnChipInfo(const std::string& text) override { Add(chip_, text); }
    void OnBlockMapClear() override {
        std::lock_guard lock(mutex_);
        map_.Clear();
    }
    void OnBlockMapInit(int blocks, uint32_t block_size) override {
        std::lock_guard lock(mutex_);
        map_.Init(blocks, block_size);
    }
    void OnBlockText(int block, int column, const std::string& text) override {
        std::lock_guard lock(mutex_);
        map_.SetText(block, column, text);
    }
    void OnBlockColour(int block, uint32_t colour, int) override {
        std::lock_guard lock(mutex_);
        map_.Mark(block, colour);
    }
    void OnStepMessage(const std::string& text) override { Add(messages_, text); }
    void OnLog(const std::string& text) override { Add(log_, text); }

    std::vector<std::string> statuses() const { return Get(statuses_); }
    std::vector<std::string> messages() const { return Get(messages_); }
    std::vector<std::string> elapsed() const { return Get(elapsed_); }
    std::vector<std::string> chip() const { return Get(chip_); }
    std::vector<std::string> log() const { return Get(log_); }
    std::vector<int> progress() const {
        std::lock_guard lock(mutex_);
        return progress_;
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
        std::lock_guard lock(mutex_);
        return statuses_.empty() ? std::string() : statuses_.back();
    }
    bool saw_status(const std::string& text) const {
        std::lock_guard lock(mutex_);
        for (const auto& s : statuses_) {
            if (s == text)
                return true;
        }
        return false;
    }

  private:
    void Add(std::vector<std::string>& list, const std::string& text) {
        std::lock_guard lock(mutex_);
        list.push_back(text);
    }
    std::vector<std::string> Get(const std::vector<std::string>& list) const {
        std::lock_guard lock(mutex_);
        return list;
    }

    mutable std::mutex mutex_;
    std::vector<std::string> statuses_, messages_, elapsed_, chip_, log_;
    std::vector<int> progress_;
    std::vector<uint32_t> bar_colours_;
    BlockMap map_;
};

}  // namespace velmora::testing
