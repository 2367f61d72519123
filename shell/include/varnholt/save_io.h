// The file operations of a save that can still fail once the temporary file exists. A save
// calls them through this table so that a test can make one of them fail (as a full disk, a
// failing disk or a refused rename would) and see that the user's file stays as it was; nothing
// but tests replaces them.
#ifndef VARNHOLT_SAVE_IO_H
#define VARNHOLT_SAVE_IO_H

#include <sys/types.h>

#include <cstddef>

namespace varnholt {

struct SaveIo {
  ssize_t (*write)(int fd, const void* data, std::size_t size);
  int (*fsync)(int fd);  // the temporary file's, then the folder's after the rename
  int (*rename)(const char* from, const char* to);
};

/// The table every save uses; the system calls unless a test replaced one.
SaveIo& SaveOperations();

}  // namespace varnholt

#endif
