#include "document/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qx {

bool WriteFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                         std::string* error) {
  auto fail = [&](const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
    return false;
  };
  const std::filesystem::path dir = path.has_parent_path() ? path.parent_path() : ".";
  std::string tmpl = (dir / ("." + path.filename().string() + ".XXXXXX")).string();
  const int fd = mkstemp(tmpl.data());
  if (fd < 0) return fail("cannot write in " + dir.string());
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      close(fd);
      unlink(tmpl.c_str());
      errno = err;
      return fail("cannot write " + path.string());
    }
    done += static_cast<std::size_t>(n);
  }
  if (fchmod(fd, 0644) != 0 || fsync(fd) != 0) {
    const int err = errno;
    close(fd);
    unlink(tmpl.c_str());
    errno = err;
    return fail("cannot write " + path.string());
  }
  if (close(fd) != 0 || rename(tmpl.c_str(), path.c_str()) != 0) {
    const int err = errno;
    unlink(tmpl.c_str());
    errno = err;
    return fail("cannot write " + path.string());
  }
  return true;
}

}  // namespace qx
