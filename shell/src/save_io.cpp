// Durable replacement of a file: written beside the target and renamed over it only once it is
// complete and on disk, so that a failure never leaves a damaged file where the user's was.
#include "varnholt/save_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <vector>

namespace {

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Directory(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// While a save runs, a write past the file-size limit fails with EFBIG instead of killing the
// program with SIGXFSZ: the save then fails as on a full disk, and the temporary file goes.
class FileSizeSignalIgnored {
 public:
  FileSizeSignalIgnored() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    restore_ = sigaction(SIGXFSZ, &ignore, &previous_) == 0;
  }
  ~FileSizeSignalIgnored() {
    if (restore_) sigaction(SIGXFSZ, &previous_, nullptr);
  }
  FileSizeSignalIgnored(const FileSizeSignalIgnored&) = delete;
  FileSizeSignalIgnored& operator=(const FileSizeSignalIgnored&) = delete;

 private:
  struct sigaction previous_ {};
  bool restore_ = false;
};

int FsyncRetrying(int fd) {
  int result;
  do result = varnholt::SaveOperations().fsync(fd);
  while (result != 0 && errno == EINTR);
  return result;
}

}  // namespace

namespace varnholt {

SaveIo& SaveOperations() {
  static SaveIo operations{::write, ::fsync, ::rename};
  return operations;
}

}  // namespace varnholt

namespace varnholt {

bool ReplaceFile(const std::string& path, const std::function<std::string(std::ostream&)>& write,
                 std::string& why) {
  auto failed = [&](const std::string& reason) {
    why = reason;
    return false;
  };
  // Only a regular file is ever replaced: a device, a directory or anything else named as the
  // target is refused (renaming over /dev/full as root would replace the device itself). A link
  // is followed, so the file it names is replaced and the link stays.
  std::string target = path;
  struct stat existing {};
  const bool exists = stat(path.c_str(), &existing) == 0;
  if (exists) {
    if (!S_ISREG(existing.st_mode)) return failed("not a regular file");
    if (char* real = realpath(path.c_str(), nullptr)) {
      target = real;
      std::free(real);
    }
  }

  // Written next to the target and renamed over it only when complete, so a failed save never
  // leaves a damaged or truncated file where the user's file was.
  std::string temp = Directory(target) + "/." + BaseName(target) + ".XXXXXX";
  int fd = mkstemp(&temp[0]);
  if (fd < 0) return failed(std::strerror(errno));
  // From here on every failure takes the temporary file away again; the target is untouched.
  auto abandon = [&](const std::string& why) {
    if (fd >= 0) close(fd);
    unlink(temp.c_str());
    return failed(why);
  };
  // mkstemp makes the file private; a saved file gets the target's permissions, or the usual ones.
  mode_t mode;
  if (exists) {
    mode = existing.st_mode & 07777;
  } else {
    mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  fchmod(fd, mode);

  int writeError = 0;
  std::string reason;
  {
    FileSizeSignalIgnored noSignal;
    varnholt::DescriptorBuffer buffer(fd);
    std::ostream out(&buffer);
    reason = write(out);
    out.flush();
    writeError = buffer.Error();
    if (!out && writeError == 0) writeError = EIO;
  }
  if (writeError != 0)
    return abandon(std::string("writing failed: ") + std::strerror(writeError));
  if (!reason.empty()) return abandon(reason);
  // On disk before it takes the target's place: after a crash the target is the old file or
  // the complete new one, never an empty or partial one.
  if (FsyncRetrying(fd) != 0)
    return abandon(std::string("flushing to disk failed: ") + std::strerror(errno));
  const int closed = close(fd);
  fd = -1;
  if (closed != 0) return abandon(std::string("closing failed: ") + std::strerror(errno));
  if (varnholt::SaveOperations().rename(temp.c_str(), target.c_str()) != 0)
    return abandon(std::strerror(errno));
  // The rename itself lasts only once the folder is on disk. A folder that cannot be opened or
  // does not take fsync (some file systems refuse it) is left as it is.
  const int folder = open(Directory(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    const int synced = FsyncRetrying(folder);
    const int error = errno;
    close(folder);
    if (synced != 0 && error != EINVAL && error != ENOTSUP)
      return failed(std::string("the file was replaced, but its folder could not be flushed to "
                                "disk: ") +
                    std::strerror(error));
  }
  return true;
}

}  // namespace varnholt
