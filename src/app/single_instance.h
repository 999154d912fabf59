#pragma once
// One window at a time, and none while the multi-port download program runs:
// both are lock files held with flock() for the life of the holder.
#include <string>

namespace velmora::app {

inline constexpr const char* kInstanceLockName =
    "0xdba3ce0d, 0x850e, 0x41fa, 0xbd, 0xe1, 0xc3, 0xf1, 0xe3, 0x36, 0xb9, 0xc0";
inline constexpr const char* kMultiPortLockName =
    "0xdba3ce0d, 0x850e, 0x41fa, 0xbd, 0xe1, 0xc3, 0xf1, 0xe3, 0x36, 0xb9, 0xc1";

// $XDG_RUNTIME_DIR, else /tmp; ends in '/'.
std::string LockFolder();

class FileLock {
  public:
    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;

    enum class Result { kTaken, kBusy, kUnavailable };
    // Takes the lock `folder`/`name`.lock without waiting: kBusy when another
    // holder has it, kUnavailable when the lock file cannot be opened.
    Result TryLock(const std::string& folder, const std::string& name);
    bool held() const { return fd_ >= 0; }
    void Release();

  private:
    int fd_ = -1;
};

enum class InstanceCheck { kFirst, kAlreadyRunning, kMultiPortRunning, kWindowRunning };

// Takes the program's own lock into `own` (kept for the life of the process)
// and tests the multi-port program's lock without keeping it. A lock file that
// cannot be opened at all guards nothing and does not stop the program.
InstanceCheck CheckSingleInstance(const std::string& folder, FileLock& own);

// The station's side: takes the multi-port lock into `own` (kMultiPortRunning
// when another station holds it) and refuses while a single-phone window holds the
// first (kWindowRunning). Each side takes its own lock before it tests the
// other's, so of two that start together at most one goes on.
InstanceCheck CheckStationInstance(const std::string& folder, FileLock& own);

}  // namespace velmora::app
