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

// Makes `folder` (no trailing separator needed) a directory if it is not one.
// False when it cannot be made, or when the name is a symbolic link or anything
// other than a directory; `reason` then says which.
bool MakeOutputFolder(const std::string& folder, std::string* reason = nullptr);

}  // namespace velmora
