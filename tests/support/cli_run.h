// What the command-line tests share: the outcome of a run, reading files, quoting for the shell,
// and a temporary folder.
#ifndef VARNHOLT_TEST_CLI_RUN_H
#define VARNHOLT_TEST_CLI_RUN_H

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

/// Exit status (-1: killed by a signal or by a time limit) and captured output of one run.
struct CliResult {
  int status = -1;
  std::string out;
  std::string err;
  long peakKb = -1;
};

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

/// Single-quoted for the shell.
inline std::string Quote(const std::string& arg) {
  std::string quoted = "'";
  for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

/// A folder in the temporary directory, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "varnholt-test-XXXXXX").string();
    if (mkdtemp(&pattern[0])) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

#ifdef VARNHOLT_CLI
#include <sys/wait.h>

#include <cstdlib>

/// Runs varnholt-cli with the arguments (time stamps of saves fixed) and captures its outcome.
inline CliResult RunCli(const std::vector<std::string>& args) {
  TempDir dir;
  std::string command = Quote(VARNHOLT_CLI);
  for (const std::string& arg : args) command += " " + Quote(arg);
  command += " >" + Quote(dir.File("out")) + " 2>" + Quote(dir.File("err"));
  setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
  const int raw = std::system(command.c_str());
  CliResult result;
  result.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = ReadAll(dir.File("out"));
  result.err = ReadAll(dir.File("err"));
  return result;
}
#endif

#endif
