// The real files of other writers beside the repository (the corpus, other readers' test
// files). They are not part of a clone: a test over them says in one line that it has none.
#ifndef VARNHOLT_TEST_REAL_FILES_H
#define VARNHOLT_TEST_REAL_FILES_H

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <iostream>
#include <string>
#include <vector>

/// The regular files below `folders` (READMEs and licences left out), sorted; for each folder
/// that is absent one line on standard error.
inline std::vector<std::filesystem::path> RealFiles(std::initializer_list<const char*> folders) {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  for (const char* folder : folders) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
      std::cerr << "skipping the real files of " << folder << ": the folder is absent\n";
      continue;
    }
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      const std::string name = it->path().filename().string();
      if (it->is_regular_file() && name.rfind("README", 0) != 0 && name.rfind("LICENSE", 0) != 0)
        files.push_back(it->path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

#endif
