// A file in the temporary folder, removed when the object goes.
#ifndef VARNHOLT_TEST_TEMP_FILE_H
#define VARNHOLT_TEST_TEMP_FILE_H

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

class TempFile {
 public:
  explicit TempFile(const std::string& content = "", const char* suffix = ".stp") {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/varnholt-XXXXXX" + suffix;
    int fd = mkstemps(&pattern[0], static_cast<int>(std::string(suffix).size()));
    if (fd >= 0) {
      if (!content.empty() && write(fd, content.data(), content.size()) < 0) path_.clear();
      close(fd);
      path_ = pattern;
    }
  }
  ~TempFile() {
    if (!path_.empty()) std::remove(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const char* Path() const { return path_.c_str(); }

 private:
  std::string path_;
};

#endif
