#pragma once
// One window at a time, and the window and the multi-port station never
// together: each holds a lock file with flock() for its life. The window holds
// the first lock and refuses while the second is held; the station holds the
// second and refuses while the first is held.
#include <string>

namespace velmora {

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

enum class InstanceCheck { kFirst, kAlreadyRunning, kMultiPortRunning };

// The window: takes the first lock into `own` (kept for the life of the
// process) and tests the multi-port program's lock without keeping it. A lock
// file that cannot be opened at all guards nothing and does not stop the program.
InstanceCheck CheckSingleInstance(const std::string& folder, FileLock& own);

enum class StationCheck { kFirst, kStationRunning, kWindowRunning };

// The station (the multi-port program): takes the second lock into `own` and
// tests the window's lock without keeping it. Refused either way, `own` is
// left released.
StationCheck CheckStationInstance(const std::string& folder, FileLock& own);

}  // namespace velmora
