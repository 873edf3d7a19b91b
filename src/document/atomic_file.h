// Writing a whole file so that it is either completely there or not changed at all.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <span>
#include <string>

#include "document/table.h"

namespace qx {

// Why a write was refused or failed, for callers that word the reason themselves.
enum class WriteFailure {
  kNone,
  kReadOnly,  // the target file, or its file system, is read-only
  kNotAFile,  // the target is a folder, a device or a pipe
  kNoFolder,  // the folder does not exist
  kDenied,    // the folder may not be written to
  kNoSpace,   // the disk or the user's quota is full
  kOther,     // anything else the system reports; the text gives its reason
};

// Writes `bytes` to `path` through a temporary file in the target's folder: the temporary
// is flushed to disk, renamed over the target, and the folder is flushed so that the
// rename survives a power cut.
//
// - A symbolic link is written through: its final target is replaced, the link stays.
// - A target that exists keeps its permissions and, where the system allows, its owner
//   and group; a new file gets the permissions of any new file (0666 less the umask).
// - A target that is not a regular file, or is read-only (no write permission for this
//   user, or no write permission bit at all), is refused and left as it is.
// - The temporary file is named ".NAME.PID.XXXXXX.qxtmp" after the target and the
//   writing process; every write first removes such files in the folder whose writer no
//   longer runs (left by a crash or a kill), and every failure removes its own.
//
// On failure the old file is untouched (except when only the last flush of the folder
// fails: the new file is then in place), `error` reads "cannot write PATH: reason" in
// plain words, and `failure` says which kind of failure it was.
bool WriteFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                         std::string* error, WriteFailure* failure = nullptr);

// The same with the contents written by `fill` into the open temporary file. `fill`
// returns false on failure, with the reason in its string (a failed write of the stream
// itself is reported from the system's error).
bool WriteFileAtomically(const std::filesystem::path& path,
                         const std::function<bool(std::FILE*, std::string*)>& fill,
                         std::string* error, WriteFailure* failure = nullptr);

// Removes the temporary files in `folder` whose writers no longer run. Called by every
// write; a temporary whose writer still runs, or that someone holds locked, is kept.
void RemoveStaleTemporaries(const std::filesystem::path& folder);

// Whether `a` and `b` are the same file: the same device and inode, symbolic links
// followed (so a link, a hard link and the file itself all count as the same). False when
// either does not exist.
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// A table file that could not be written; what() names the file and the reason.
class FileWriteError : public TableError {
 public:
  FileWriteError(const std::string& what, WriteFailure failure)
      : TableError(what), failure_(failure) {}
  WriteFailure failure() const { return failure_; }

 private:
  WriteFailure failure_;
};

}  // namespace qx
