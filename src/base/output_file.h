#pragma once
// Files the tool writes (read-back output, the log, the record dump). They are
// opened without following a symbolic link at their own name: a link planted
// in a firmware package or an output folder must not turn a write into an
// overwrite of some other file the user may write. Links in the folders above
// are followed as usual.
#include <cstdio>
#include <memory>
#include <string>

namespace velmora {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Creates or truncates `path` for binary writing. Null when it cannot be
// opened; `reason` (if given) then says why, e.g. "it is a symbolic link".
File OpenOutputFile(const std::string& path, std::string* reason = nullptr);

// Closes the file and reports whether every byte reached it (a full disk may
// say so only here).
bool CloseOutputFile(File& file);

// A read-back's output file. It is written under a temporary name beside its
// own (".NAME.XXXXXX") and moved into place when it is complete, so a reader
// never takes a half-written file for a whole one and two jobs writing the same
// name do not interleave. A file left unfinished (the read failed or stopped)
// is moved into place as it is, keeping what was read; `Unfinished` tells so.
class StagedFile {
  public:
    StagedFile() = default;
    // Refuses (`reason` set) a name that is a symbolic link, as OpenOutputFile.
    StagedFile(const std::string& path, std::string* reason);
    ~StagedFile() { Abandon(); }
    StagedFile(StagedFile&& other) noexcept;
    StagedFile& operator=(StagedFile&& other) noexcept;
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    explicit operator bool() const { return file_ != nullptr; }
    std::FILE* get() const { return file_.get(); }
    const std::string& path() const { return path_; }

    // Closes the file and moves it into place. False when a byte did not reach
    // it or the move failed; `reason` then says which.
    bool Finish(std::string* reason = nullptr);
    // Closes an unfinished file and moves it into place as it is. True when
    // there was one (the caller names it as incomplete).
    bool Abandon();

  private:
    File file_;
    std::string path_;
    std::string staged_;
};

// Makes `folder` (no trailing separator needed) a directory if it is not one.
// False when it cannot be made, or when the name is a symbolic link or anything
// other than a directory; `reason` then says which.
bool MakeOutputFolder(const std::string& folder, std::string* reason = nullptr);

// Flushes the file at `path`, and the folder that holds its name, to the disk,
// so that both survive a power cut. False (`reason` set) when either fails.
bool SyncToDisk(const std::string& path, std::string* reason = nullptr);

}  // namespace velmora
