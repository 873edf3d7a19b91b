#include "document/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <string_view>

namespace qx {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kTempSuffix = ".qxtmp";
constexpr std::size_t kRandomChars = 6;      // mkstemps' XXXXXX
constexpr std::size_t kMaxNameInTemp = 200;  // bytes of the target's name kept in the temporary's

struct Failed {
  WriteFailure kind;
  std::string reason;
};

// The system's error `err` in plain words, and its kind.
Failed FromErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return {WriteFailure::kNoFolder, "the folder does not exist"};
    case EACCES:
    case EPERM:
      return {WriteFailure::kDenied, "no permission to write in the folder"};
    case EROFS:
      return {WriteFailure::kReadOnly, "the file system is read-only"};
    case ENOSPC:
      return {WriteFailure::kNoSpace, "the disk is full"};
    case EDQUOT:
      return {WriteFailure::kNoSpace, "the disk quota is full"};
    case EISDIR:
      return {WriteFailure::kNotAFile, "it is a folder"};
    case ENAMETOOLONG:
      return {WriteFailure::kOther, "the name is too long"};
    case ELOOP:
      return {WriteFailure::kOther, "too many symbolic links"};
    default:
      return {WriteFailure::kOther, std::strerror(err)};
  }
}

// The file a path finally names: symbolic links followed one by one, each relative to the
// folder of the link. A path that does not exist (yet) is its own target.
bool FollowLinks(fs::path path, fs::path& out, int& err) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      out = std::move(path);
      return true;
    }
    std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t n = readlink(path.c_str(), target.data(), target.size());
    if (n < 0) {
      err = errno;
      return false;
    }
    target.resize(static_cast<std::size_t>(n));
    const fs::path next(target);
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  err = ELOOP;
  return false;
}

// The permission bits a new file gets: 0666 less the process's umask, read without
// changing it (changing it, even for a moment, would race with other threads).
mode_t NewFileMode() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) != 0) continue;
    unsigned mask = 0;
    std::string_view v(line);
    v.remove_prefix(6);
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    if (std::from_chars(v.data(), v.data() + v.size(), mask, 8).ec == std::errc())
      return static_cast<mode_t>(0666 & ~mask);
  }
  return 0644;
}

// The target's name as kept in a temporary's name: at most kMaxNameInTemp bytes, not
// cut inside a UTF-8 character.
std::string NameForTemp(const std::string& name) {
  if (name.size() <= kMaxNameInTemp) return name;
  std::size_t n = kMaxNameInTemp;
  while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80) --n;
  return name.substr(0, n);
}

// The writer's process id of a temporary named ".NAME.PID.XXXXXX.qxtmp"; 0 for any
// other name.
pid_t TempWriter(std::string_view name) {
  if (name.size() < 1 + 1 + 1 + 1 + kRandomChars + kTempSuffix.size() || name[0] != '.' ||
      !name.ends_with(kTempSuffix))
    return 0;
  name.remove_suffix(kTempSuffix.size());
  if (name[name.size() - kRandomChars - 1] != '.') return 0;
  name.remove_suffix(kRandomChars + 1);
  const std::size_t dot = name.rfind('.');
  if (dot == 0 || dot == std::string_view::npos || dot + 1 == name.size()) return 0;
  pid_t pid = 0;
  const char* first = name.data() + dot + 1;
  const char* last = name.data() + name.size();
  const auto r = std::from_chars(first, last, pid);
  if (r.ec != std::errc() || r.ptr != last || pid <= 0) return 0;
  return pid;
}

// Removes the temporary file if it was never renamed into place.
class TempFile {
 public:
  TempFile() = default;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    if (fd_ >= 0) {
      if (!path_.empty()) unlink(path_.c_str());
      close(fd_);
    }
  }

  // Creates ".NAME.PID.XXXXXX.qxtmp" in `dir`, locked against other cleaners.
  bool Create(const fs::path& dir, const std::string& name, int& err) {
    std::string tmpl = (dir / ("." + NameForTemp(name) + "." + std::to_string(getpid()) + "." +
                               std::string(kRandomChars, 'X') + std::string(kTempSuffix)))
                           .string();
    fd_ = mkostemps(tmpl.data(), static_cast<int>(kTempSuffix.size()), O_CLOEXEC);
    if (fd_ < 0) {
      err = errno;
      return false;
    }
    path_ = tmpl;
    // Held until the file is renamed: a cleaner never removes a locked temporary, even
    // one whose process id it cannot see (another machine, another pid namespace).
    flock(fd_, LOCK_EX);
    return true;
  }
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  // The file now has its final name; only the descriptor (and so the lock) remains.
  void Renamed() { path_.clear(); }

 private:
  int fd_ = -1;
  std::string path_;
};

bool Write(const fs::path& path, const std::function<bool(std::FILE*, std::string*)>& fill,
           std::string* error, WriteFailure* failure) {
  auto fail = [&](WriteFailure kind, const std::string& reason) {
    if (error) *error = "cannot write " + path.string() + ": " + reason;
    if (failure) *failure = kind;
    return false;
  };
  auto fail_errno = [&](int err) {
    const Failed f = FromErrno(err);
    return fail(f.kind, f.reason);
  };
  if (failure) *failure = WriteFailure::kNone;
  if (path.empty() || !path.has_filename()) return fail(WriteFailure::kNotAFile, "no file name");

  fs::path target;
  int err = 0;
  if (!FollowLinks(path, target, err)) return fail_errno(err);

  // What is there now decides what may be done and what the new file looks like.
  struct stat old {};
  const bool exists = stat(target.c_str(), &old) == 0;
  if (!exists && errno != ENOENT) return fail_errno(errno);
  if (exists) {
    if (S_ISDIR(old.st_mode)) return fail(WriteFailure::kNotAFile, "it is a folder");
    if (!S_ISREG(old.st_mode)) return fail(WriteFailure::kNotAFile, "it is not a regular file");
    // Refused, not replaced: a file nobody may write is meant to stay as it is, even for
    // a user whom the system would let replace it.
    if ((old.st_mode & 0222) == 0) return fail(WriteFailure::kReadOnly, "the file is read-only");
    if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
      return fail(WriteFailure::kReadOnly,
                  errno == EROFS ? "the file system is read-only" : "the file is read-only");
  }
  const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
  RemoveStaleTemporaries(dir);

  TempFile temp;
  if (!temp.Create(dir, target.filename().string(), err)) return fail_errno(err);
  if (exists) {
    // The owner first: a change of owner clears set-id bits, which the mode then restores.
    // Only a privileged user may give a file away; anyone may keep a group they are in.
    if (fchown(temp.fd(), old.st_uid, old.st_gid) != 0)
      fchown(temp.fd(), static_cast<uid_t>(-1), old.st_gid);
    if (fchmod(temp.fd(), old.st_mode & 07777) != 0) return fail_errno(errno);
  } else if (fchmod(temp.fd(), NewFileMode()) != 0) {
    return fail_errno(errno);
  }

  // The stream gets its own descriptor, so closing it keeps the lock of temp.fd().
  const int stream_fd = dup(temp.fd());
  std::FILE* f = stream_fd < 0 ? nullptr : fdopen(stream_fd, "wb");
  if (!f) {
    err = errno;
    if (stream_fd >= 0) close(stream_fd);
    return fail_errno(err);
  }
  std::string fill_error;
  errno = 0;
  bool ok = fill(f, &fill_error);
  err = errno;
  // A failed write of the stream itself (a full disk) says more than the writer's own
  // words for it ("Write Error").
  if (!ok && std::ferror(f)) fill_error.clear();
  if (ok && std::fflush(f) != 0) ok = false, err = errno, fill_error.clear();
  if (ok && fsync(fileno(f)) != 0) ok = false, err = errno, fill_error.clear();
  if (std::fclose(f) != 0 && ok) ok = false, err = errno, fill_error.clear();
  if (!ok) {
    if (!fill_error.empty()) return fail(WriteFailure::kOther, fill_error);
    return fail_errno(err != 0 ? err : EIO);
  }

  if (rename(temp.path().c_str(), target.c_str()) != 0) return fail_errno(errno);
  temp.Renamed();
  // The rename is durable only once the folder is on disk. Some file systems cannot sync
  // a folder (EINVAL); there is nothing more to do on those.
  const int dir_fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd >= 0) {
    const bool synced = fsync(dir_fd) == 0 || errno == EINVAL || errno == EROFS;
    err = errno;
    close(dir_fd);
    if (!synced) {
      const Failed why = FromErrno(err);
      return fail(why.kind, "the folder could not be flushed to disk (" + why.reason + ")");
    }
  }
  return true;
}

}  // namespace

bool WriteFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                         std::string* error, WriteFailure* failure) {
  return Write(
      path,
      [&](std::FILE* f, std::string*) {
        return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
      },
      error, failure);
}

bool WriteFileAtomically(const std::filesystem::path& path,
                         const std::function<bool(std::FILE*, std::string*)>& fill,
                         std::string* error, WriteFailure* failure) {
  return Write(path, fill, error, failure);
}

void RemoveStaleTemporaries(const std::filesystem::path& folder) {
  DIR* d = opendir(folder.c_str());
  if (!d) return;
  const int dfd = dirfd(d);
  const pid_t self = getpid();
  while (const dirent* e = readdir(d)) {
    const pid_t writer = TempWriter(e->d_name);
    if (writer == 0 || writer == self) continue;
    if (kill(writer, 0) == 0 || errno != ESRCH) continue;  // it still runs (EPERM: not ours)
    const int fd = openat(dfd, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0)
      unlinkat(dfd, e->d_name, 0);
    close(fd);
  }
  closedir(d);
}

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  struct stat sa, sb;
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

}  // namespace qx
