// Durable saves. The file operations of a save that can still fail once the temporary file exists. A save
// calls them through this table so that a test can make one of them fail (as a full disk, a
// failing disk or a refused rename would) and see that the user's file stays as it was; nothing
// but tests replaces them.
#ifndef VARNHOLT_SAVE_IO_H
#define VARNHOLT_SAVE_IO_H

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <string>

namespace varnholt {

struct SaveIo {
  ssize_t (*write)(int fd, const void* data, std::size_t size);
  int (*fsync)(int fd);  // the temporary file's, then the folder's after the rename
  int (*rename)(const char* from, const char* to);
};

/// The table every save uses; the system calls unless a test replaced one.
SaveIo& SaveOperations();

/// Replaces the regular file at `path` (following a link), or makes it, with what `write`
/// writes: into a temporary file beside it, flushed to disk, then renamed over it. `write`
/// answers an empty text, or the reason to give up. False with the reason in `why` when
/// anything failed; the target then holds what it held before (a device or folder named as
/// the target is refused). Only the final flush of the folder can fail after the rename.
bool ReplaceFile(const std::string& path, const std::function<std::string(std::ostream&)>& write,
                 std::string& why);

}  // namespace varnholt

#endif
