#pragma once
// A scratch folder of its own for a test, removed with all it holds when the
// helper goes out of scope, whether the test passed or not.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace velmora::testing {

class TempDir {
  public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "velmora-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern + "/";
        }
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) {
            std::filesystem::remove_all(path_, ec);
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Ends in '/'.
    const std::string& path() const { return path_; }

    std::string Write(const std::string& name, std::string_view content) const {
        const std::string full = path_ + name;
        std::filesystem::create_directories(std::filesystem::path(full).parent_path());
        std::ofstream(full, std::ios::binary).write(content.data(), content.size());
        return full;
    }

    std::string Read(const std::string& name) const {
        std::ifstream in(path_ + name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // A copy of the file at `from` under its own name here, e.g. the build's
    // chip catalogue for a home folder; its path.
    std::string Copy(const std::string& from) const {
        const std::string full = path_ + std::filesystem::path(from).filename().string();
        std::filesystem::copy_file(from, full, std::filesystem::copy_options::overwrite_existing);
        return full;
    }

  private:
    std::string path_;
};

}  // namespace velmora::testing
