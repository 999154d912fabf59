#pragma once
// Files the tool reads: partition tables and the images they name, the chip
// catalogue, settings, backups, the RAM loader, the simulated phone's chip file.
// Each must be a regular file. It is opened without blocking and checked before
// anything is read, so that a FIFO or a device named by mistake is refused at
// once instead of holding the program in an open or a read that never ends
// (/dev/zero), where no Stop can reach it.
#include <sys/types.h>

#include <cstdint>
#include <string>

#include "base/output_file.h"

namespace velmora {

// Opens `path` with `flags` (O_RDONLY; O_RDWR or O_WRONLY with O_CREAT for a
// file that is also written) and `mode`, and keeps it only if it is a regular
// file (a FIFO or a device is never truncated: O_TRUNC does not apply to them). The
// descriptor is blocking again when returned (the caller owns it); -1 when the
// file cannot be opened or is something else, with `problem` (if given) naming
// the path and the reason. `size` (if given) gets the file's size.
int OpenRegularFile(const std::string& path, int flags, mode_t mode, std::string* problem,
                    uint64_t* size = nullptr);

// Opens a regular file for binary reading, as above.
File OpenInputFile(const std::string& path, std::string* problem = nullptr,
                   uint64_t* size = nullptr);

// Results of ReadInputText.
inline constexpr int kInputOk = 0;
inline constexpr int kInputFailed = 1;    // missing, not a regular file, or a read error
inline constexpr int kInputTooLarge = 2;  // more than the cap

// Reads a whole regular file of at most `cap` bytes (a file that grows while it
// is read is held to the cap too). Else `problem` names the file and the reason,
// and for a file over the cap the cap itself ("at most 1 MiB").
int ReadInputText(const std::string& path, uint64_t cap, std::string& bytes, std::string& problem);

// "1 MiB", "4 KiB", "100 bytes": a cap as the refusals name it.
std::string SizeText(uint64_t bytes);

}  // namespace velmora
