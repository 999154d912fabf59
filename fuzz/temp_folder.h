#pragma once
// A folder of the fuzzer's own under TMPDIR (scripts/fuzz.sh points that at memory:
// on ext4 a file truncated and written again is flushed on close), removed again
// when the run ends.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

class TempFolder {
  public:
    TempFolder() {
        path_ = (std::filesystem::temp_directory_path() / "velmora-fuzz-XXXXXX").string();
        if (mkdtemp(path_.data()) == nullptr) {
            std::abort();
        }
        path_ += "/";
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    // Ends in '/'.
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};
