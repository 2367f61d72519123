// varnholt-bench: times reading and writing one exchange file with the core, the way the
// document opens and saves it.
//
//   varnholt-bench FILE [runs] [--write-to PATH] [--file-order]
//
// Each run uses a fresh cct_StepFile and measures
//   scan   the header read plus ScanFile (the index of every instance name),
//   load   reading every instance: FindInstance with load and Release over the name table, as
//          CDoc::OnOpenDocument does (with --file-order: the same loads sorted by the offset of
//          each definition in the file, to compare),
//   write  WriteP21 of the whole file to /dev/null (or to PATH),
//   close  destroying the cct_StepFile with all its instances.
// It prints the median of the runs (default 3) with throughput in MB/s and instances/s, and the
// memory: the peak resident set (getrusage ru_maxrss) and the resident set after each phase of
// the first run, as bytes per instance. Everything the core logs goes to a string stream while
// measuring, so its cost is included; the number of warnings and errors is printed at the end.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cct/schema.h"
#include "cct/stepfile.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

/// Peak resident set of the process in bytes.
long long PeakRss() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<long long>(usage.ru_maxrss) * 1024;
}

/// Current resident set in bytes, from /proc/self/statm; 0 where that is not available.
long long CurrentRss() {
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f) return 0;
  long long size = 0, resident = 0;
  int n = std::fscanf(f, "%lld %lld", &size, &resident);
  std::fclose(f);
  if (n != 2) return 0;
  return resident * static_cast<long long>(sysconf(_SC_PAGESIZE));
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

long CountOccurrences(const std::string& text, const char* word) {
  long count = 0;
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
    ++count;
  return count;
}

struct Run {
  double scan = 0, load = 0, write = 0, close = 0;
  long instances = 0;  // names in the index after ScanFile
  long loaded = 0;     // names whose instance could be read
  long long rssBefore = 0, rssScanned = 0, rssLoaded = 0, rssWritten = 0, rssClosed = 0;
  bool ok = true;
};

Run OneRun(const char* path, const char* writeTo, bool fileOrder) {
  Run r;
  r.rssBefore = CurrentRss();
  std::unique_ptr<cct_StepFile> file;
  try {
    auto t0 = Clock::now();
    file = std::make_unique<cct_StepFile>(path);
    file->ReadHeader(nullptr);
    file->ScanFile();
    auto t1 = Clock::now();
    r.scan = Seconds(t0, t1);
    r.rssScanned = CurrentRss();

    cct_Scope& scope = file->Scope();
    r.instances = scope.EntryCount();
    std::vector<const char*> names;
    names.reserve(static_cast<size_t>(scope.EntryCount()));
    cct_Scope::NameCursor cursor;
    for (const char* name = scope.FirstName(cursor); name; name = scope.NextName(cursor))
      names.push_back(name);
    if (fileOrder) {
      // The same loads, ordered by where each definition starts in the file.
      std::vector<std::pair<long, const char*>> byOffset;
      byOffset.reserve(names.size());
      for (const char* name : names) {
        cct_Scope::Entry* entry = scope.FindEntry(name, 0);
        byOffset.emplace_back(entry ? entry->fileOffset : 0, name);
      }
      std::sort(byOffset.begin(), byOffset.end());
      for (size_t i = 0; i < names.size(); ++i) names[i] = byOffset[i].second;
    }
    for (const char* name : names) {
      if (cct_Instance* instance = scope.FindInstance(name, 1)) {
        ++r.loaded;
        instance->Release();
      }
    }
    auto t2 = Clock::now();
    r.load = Seconds(t1, t2);
    r.rssLoaded = CurrentRss();

    {
      std::ofstream out(writeTo, std::ios::binary | std::ios::trunc);
      if (!out) {
        std::fprintf(stderr, "varnholt-bench: cannot write %s\n", writeTo);
        std::exit(1);
      }
      file->WriteP21(out);
      out.flush();
      if (!out) r.ok = false;
    }
    auto t3 = Clock::now();
    r.write = Seconds(t2, t3);
    r.rssWritten = CurrentRss();
  } catch (...) {
    r.ok = false;
  }
  auto t4 = Clock::now();
  file.reset();
  r.close = Seconds(t4, Clock::now());
  r.rssClosed = CurrentRss();
  return r;
}

void PrintPhase(const char* name, double seconds, double megabytes, long instances) {
  std::printf("  %-6s %9.3f s  %9.1f MB/s  %12.0f instances/s\n", name, seconds,
              seconds > 0 ? megabytes / seconds : 0.0,
              seconds > 0 ? static_cast<double>(instances) / seconds : 0.0);
}

double PerInstance(long long bytes, long instances) {
  return instances > 0 ? static_cast<double>(bytes) / static_cast<double>(instances) : 0.0;
}

const char* const kUsage =
    "Usage: varnholt-bench FILE [runs] [--write-to PATH] [--file-order]\n"
    "\n"
    "Times the header read plus the scan, loading every instance, writing the whole file\n"
    "(to /dev/null unless --write-to names a file) and closing, as the median of runs\n"
    "(default 3) fresh reads, and reports the memory used. --file-order loads the instances\n"
    "in the order of their definitions in the file instead of the name table's order.\n";

}  // namespace

int main(int argc, char** argv) {
  const char* path = nullptr;
  const char* writeTo = "/dev/null";
  long runs = 3;
  bool runsGiven = false;
  bool fileOrder = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--write-to") == 0 && i + 1 < argc) {
      writeTo = argv[++i];
    } else if (std::strcmp(argv[i], "--file-order") == 0) {
      fileOrder = true;
    } else if (std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (!path) {
      path = argv[i];
    } else if (!runsGiven) {
      char* end = nullptr;
      runs = std::strtol(argv[i], &end, 10);
      if (!*argv[i] || *end || runs < 1) {
        std::fputs(kUsage, stderr);
        return 2;
      }
      runsGiven = true;
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (!path) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  struct stat st {};
  if (stat(path, &st) != 0) {
    std::fprintf(stderr, "varnholt-bench: cannot open %s\n", path);
    return 1;
  }
  const double megabytes = static_cast<double>(st.st_size) / 1e6;

  RegisterTypeNames();
  RegisterEntityNames();

  const long long rssStart = CurrentRss();
  std::ostringstream log;
  std::streambuf* saved = std::cerr.rdbuf(log.rdbuf());
  std::vector<Run> results;
  for (long i = 0; i < runs; ++i) results.push_back(OneRun(path, writeTo, fileOrder));
  std::cerr.rdbuf(saved);
  const long long peak = PeakRss();

  std::vector<double> scan, load, write, close, total;
  bool ok = true;
  for (const Run& r : results) {
    scan.push_back(r.scan);
    load.push_back(r.load);
    write.push_back(r.write);
    close.push_back(r.close);
    total.push_back(r.scan + r.load + r.write);
    ok = ok && r.ok;
  }
  const Run& first = results.front();
  const long instances = first.instances;
  const std::string text = log.str();

  std::printf("file        %s\n", path);
  std::printf("size        %lld bytes (%.1f MB)\n", static_cast<long long>(st.st_size),
              megabytes);
  std::printf("instances   %ld (%ld loaded)\n", instances, first.loaded);
  std::printf("runs        %ld, median seconds; load order: %s\n", runs,
              fileOrder ? "file offsets (--file-order)" : "name table (as the document)");
  PrintPhase("scan", Median(scan), megabytes, instances);
  PrintPhase("load", Median(load), megabytes, instances);
  PrintPhase("open", Median(scan) + Median(load), megabytes, instances);
  PrintPhase("write", Median(write), megabytes, instances);
  PrintPhase("close", Median(close), megabytes, instances);
  std::printf("  runs:");
  for (const Run& r : results) std::printf(" %.3f+%.3f+%.3f", r.scan, r.load, r.write);
  std::printf("  (scan+load+write)\n");
  std::printf("memory (first run, resident set above the start of %.1f MB)\n", rssStart / 1e6);
  std::printf("  peak        %8.1f MB  %7.1f bytes/instance (ru_maxrss)\n",
              (peak - rssStart) / 1e6, PerInstance(peak - rssStart, instances));
  std::printf("  scanned     %8.1f MB  %7.1f bytes/instance\n",
              (first.rssScanned - first.rssBefore) / 1e6,
              PerInstance(first.rssScanned - first.rssBefore, instances));
  std::printf("  loaded      %8.1f MB  %7.1f bytes/instance\n",
              (first.rssLoaded - first.rssBefore) / 1e6,
              PerInstance(first.rssLoaded - first.rssBefore, instances));
  std::printf("  written     %8.1f MB\n", (first.rssWritten - first.rssBefore) / 1e6);
  std::printf("  closed      %8.1f MB\n", (first.rssClosed - first.rssBefore) / 1e6);
  std::printf("log         %zu bytes, %ld warnings, %ld errors\n", text.size(),
              CountOccurrences(text, "Warning:"), CountOccurrences(text, "Error:"));
  if (!ok) {
    std::printf("FAILED: a run did not read or write the whole file\n");
    return 1;
  }
  return 0;
}
