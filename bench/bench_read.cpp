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
//
//   varnholt-bench --phase scan|open|save|isopen|refs|render|rules|model|toolpaths|gcode|simulate|table|diff FILE [--write-to PATH] [--reps N] [--with B] [--resolution MM]
//
// performs one phase once in this process, for bench/compare, which runs each phase as its own
// process so that the peak resident set belongs to that phase alone:
//   scan    the header read plus ScanFile;
//   open    CDoc::OnOpenDocument (scan, then every instance read), what opening a document costs;
//   save    that open, untimed, then WriteP21 of the population to /dev/null (or PATH), timed
//           including the final write to the file;
//   isopen  one warm-up open, then N (default 21) opens, each in a fresh CDoc, timed until
//           OnOpenDocument returns with the document open; the median of them;
//   render  that open, timed apart (open_seconds), then the scene built and drawn into a
//           1200x900 PNG (build_seconds, draw_seconds; seconds is their sum);
//   model   that open, timed apart, then the machining model read (ReadModel), and its share of
//           the open;
//   toolpaths  that open, timed apart, then BuildProgram: the moves read or generated for every
//           workingstep (steps, moves, cutting length);
//   gcode   that open and build, timed apart, then the G-code written (partial where it must
//           be) and the machining time worked out, each timed;
//   simulate  that open, the program and its G-code, timed apart (prepare_seconds), then the
//           program run on the workpiece's stock at --resolution MM (0: the simulation's own
//           choice), with the features' volumes: moves, findings, the stock's volume after, and
//           the resident set the stock took (peak_rss less rss_before).
// It prints one line of key=value pairs, e.g.
//   phase=open seconds=8.1 peak_rss=575000000 rss_start=4200000 instances=1612511 bytes=104722147
//   warnings=0 errors=0
// (save adds out_bytes, isopen adds reps, min and max) and leaves without freeing the population.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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
#include "varnholt/diff.h"
#include "varnholt/doc.h"
#include "varnholt/model_read.h"
#include "varnholt/gcode.h"
#include "varnholt/save_io.h"
#include "varnholt/navigation.h"
#include "varnholt/program.h"
#include "varnholt/rules.h"
#include "varnholt/scene.h"
#include "varnholt/scene_render.h"
#include "varnholt/feature_volume.h"
#include "varnholt/simulate.h"
#include "varnholt/table.h"

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
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++count;
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
    "       varnholt-bench --phase scan|open|save|isopen|refs|render|rules|model|toolpaths|gcode|simulate|table|diff FILE "
    "[--write-to PATH] [--reps N] [--with B] [--resolution MM]\n"
    "\n"
    "Times the header read plus the scan, loading every instance, writing the whole file\n"
    "(to /dev/null unless --write-to names a file) and closing, as the median of runs\n"
    "(default 3) fresh reads, and reports the memory used. --file-order loads the instances\n"
    "in the order of their definitions in the file instead of the name table's order.\n"
    "\n"
    "With --phase, performs one phase once and prints one line of key=value pairs: scan\n"
    "(header and ScanFile), open (CDoc::OnOpenDocument), save (open, then only the write\n"
    "timed), isopen (median of N fresh document opens after a warm-up, default 21) or refs\n"
    "(open, then only the index of who refers to whom timed, with its size); toolpaths (open,\n"
    "then only BuildProgram timed, with the moves it gave); gcode (open and build, then the G-code\n"
    "and the machining time timed); simulate (open, program and G-code, then only the run on the\n"
    "stock at --resolution MM timed, default 0: the simulation's choice); table (open, then the table of cartesian_point built and\n"
    "written as CSV, to /dev/null unless --write-to names a file, timed); diff (FILE and the\n"
    "file of --with opened, then only their comparison timed, against the two opens).\n";

/// Counts the warnings and errors in a log text.
std::string LogCounts(const std::string& text) {
  return " warnings=" + std::to_string(CountOccurrences(text, "Warning:")) +
         " errors=" + std::to_string(CountOccurrences(text, "Error:"));
}

/// Opens path as a document; false with a message when it could not be opened.
bool OpenDocument(CDoc& doc, const char* path) {
  if (doc.OnOpenDocument(path)) return true;
  std::fprintf(stderr, "varnholt-bench: %s could not be opened\n", path);
  return false;
}

/// What every phase is given.
struct PhaseArgs {
  const char* path;
  long long bytes;
  const char* writeTo;
  long reps;
  long long rssStart;
  const char* with;
  double resolution;  // of --phase simulate, mm; 0 lets the simulation choose
};

int PhaseScan(const PhaseArgs& a) {
  char line[512];
  std::ostringstream log;
  std::streambuf* saved = std::cerr.rdbuf(log.rdbuf());
  long instances = 0;
  double seconds = 0;
  bool ok = true;
  try {
    auto t0 = Clock::now();
    auto* file = new cct_StepFile(a.path);  // never freed: the process ends right after
    file->ReadHeader(nullptr);
    file->ScanFile();
    seconds = Seconds(t0, Clock::now());
    instances = file->Scope().EntryCount();
  } catch (...) {
    ok = false;
  }
  std::cerr.rdbuf(saved);
  if (!ok) {
    std::fprintf(stderr, "varnholt-bench: %s could not be scanned\n", a.path);
    return 1;
  }
  std::snprintf(line, sizeof line,
                "phase=scan seconds=%.6f peak_rss=%lld rss_start=%lld instances=%ld bytes=%lld",
                seconds, PeakRss(), a.rssStart, instances, a.bytes);
  std::printf("%s%s\n", line, LogCounts(log.str()).c_str());
  return 0;
}

int PhaseOpen(const PhaseArgs& a) {
  char line[512];
  auto* doc = new CDoc;
  auto t0 = Clock::now();
  if (!OpenDocument(*doc, a.path)) return 1;
  double seconds = Seconds(t0, Clock::now());
  std::snprintf(line, sizeof line,
                "phase=open seconds=%.6f peak_rss=%lld rss_start=%lld instances=%ld bytes=%lld",
                seconds, PeakRss(), a.rssStart, doc->Scope()->EntryCount(), a.bytes);
  std::printf("%s%s\n", line, LogCounts(doc->LogText()).c_str());
  return 0;
}

// A document opened as the phases after the open need it, the seconds that took in `seconds`;
// null when it cannot be opened. It is never freed: the process just ends.
CDoc* TimedOpen(const PhaseArgs& a, double& seconds) {
  auto* doc = new CDoc;
  const auto t0 = Clock::now();
  if (!OpenDocument(*doc, a.path)) return nullptr;
  seconds = Seconds(t0, Clock::now());
  return doc;
}

int PhaseRefs(const PhaseArgs& a) {
  char line[512];
  double open = 0;
  CDoc* doc = TimedOpen(a, open);
  if (!doc) return 1;
  const long long beforeIndex = PeakRss();
  auto t0 = Clock::now();
  auto* navigator = new varnholt::Navigator(*doc->Scope());
  const cct_ReferenceIndex& index = navigator->Index();
  const double seconds = Seconds(t0, Clock::now());
  std::snprintf(line, sizeof line,
                "phase=refs seconds=%.6f open_seconds=%.6f references=%zu index_bytes=%zu "
                "peak_rss=%lld peak_rss_before=%lld bytes=%lld",
                seconds, open, index.Count(), index.MemoryBytes(), PeakRss(), beforeIndex, a.bytes);
  std::printf("%s\n", line);
  return 0;
}

int PhaseRules(const PhaseArgs& a) {
  char line[512];
  // The rule check of `check --rules` after the open, against the open's own time.
  double open = 0;
  CDoc* doc = TimedOpen(a, open);
  if (!doc) return 1;
  const long long beforeRules = PeakRss();
  auto t0 = Clock::now();
  auto* report = new varnholt::rules::Report(varnholt::rules::Check(*doc->Scope()));
  const double seconds = Seconds(t0, Clock::now());
  std::snprintf(line, sizeof line,
                "phase=rules seconds=%.6f open_seconds=%.6f share=%.3f findings=%zu evaluated=%zu "
                "peak_rss=%lld peak_rss_before=%lld bytes=%lld",
                seconds, open, open > 0 ? seconds / open : 0.0, report->findings.size(),
                report->evaluated.size(), PeakRss(), beforeRules, a.bytes);
  std::printf("%s\n", line);
  return 0;
}

int PhaseRender(const PhaseArgs& a) {
  char line[512];
  // The scene of the whole program, then its PNG at the command's default size, as
  // `varnholt-cli render` does after its open.
  double open = 0;
  CDoc* doc = TimedOpen(a, open);
  if (!doc) return 1;
  auto t0 = Clock::now();
  auto* scene = new varnholt::Scene(varnholt::BuildScene(*doc->Scope()));
  const double build = Seconds(t0, Clock::now());
  t0 = Clock::now();
  const varnholt::Camera camera =
      varnholt::Camera::Fit(*scene, varnholt::ViewDirection::Iso, 1200, 900);
  const std::string png = varnholt::RenderPng(*scene, camera, 1200, 900).bytes;
  const double draw = Seconds(t0, Clock::now());
  size_t points = 0;
  for (const varnholt::ScenePath& p : scene->paths) points += p.points.size();
  std::snprintf(line, sizeof line,
                "phase=render seconds=%.6f build_seconds=%.6f draw_seconds=%.6f open_seconds=%.6f "
                "paths=%zu points=%zu png_bytes=%zu peak_rss=%lld bytes=%lld",
                build + draw, build, draw, open, scene->paths.size(), points, png.size(), PeakRss(),
                a.bytes);
  std::printf("%s\n", line);
  return 0;
}

// The machining model read once: what every machining command pays before its own work.
int PhaseModel(const PhaseArgs& a) {
  char line[512];
  double open = 0;
  CDoc* doc = TimedOpen(a, open);
  if (!doc) return 1;
  const long long rss = CurrentRss();
  auto t0 = Clock::now();
  auto* model = new varnholt::Model(varnholt::ReadModel(*doc->Scope()));
  const double read = Seconds(t0, Clock::now());
  size_t toolpaths = 0;
  for (const varnholt::ModelOperation& operation : model->operations) toolpaths += operation.toolpaths.size();
  std::snprintf(line, sizeof line,
                "phase=model seconds=%.6f open_seconds=%.6f share_of_open=%.3f steps=%zu workingsteps=%zu "
                "features=%zu operations=%zu toolpaths=%zu tools=%zu peak_rss=%lld rss_after_open=%lld bytes=%lld",
                read, open, open > 0 ? read / open : 0.0, model->order.size(), model->workingsteps.size(),
                model->features.size(), model->operations.size(), toolpaths, model->tools.size(), PeakRss(), rss,
                a.bytes);
  std::printf("%s\n", line);
  return 0;
}

int PhaseToolpaths(const PhaseArgs& a) {
  char line[512];
  double open = 0;
  CDoc* doc = TimedOpen(a, open);
  if (!doc) return 1;
  const long long rss = CurrentRss();
  auto t0 = Clock::now();
  auto* program = new varnholt::Program(varnholt::BuildProgram(*doc->Scope()));
  const double build = Seconds(t0, Clock::now());
  size_t moves = 0, empty = 0;
  double cutting = 0;
  for (const varnholt::ProgramStep& step : program->steps) {
    moves += step.moves.size();
    empty += step.moves.empty() ? 1 : 0;
    cutting += varnholt::Lengths(step.start, step.moves).cutting;
  }
  std::snprintf(line, sizeof line,
                "phase=toolpaths seconds=%.6f open_seconds=%.6f steps=%zu without_moves=%zu moves=%zu "
                "cutting_mm=%.0f peak_rss=%lld rss_after_open=%lld bytes=%lld",
                build, open, program->steps.size(), empty, moves, cutting, PeakRss(), rss, a.bytes);
  std::printf("%s\n", line);
  return 0;
}

// The program built as in toolpaths, then its G-code and its machining time, each timed.
int PhaseGcode(const PhaseArgs& a) {
  char line[512];
  double open = 0;
  CDoc* doc = TimedOpen(a, open);
  if (!doc) return 1;
  auto t0 = Clock::now();
  auto* program = new varnholt::Program(varnholt::BuildProgram(*doc->Scope()));
  const double build = Seconds(t0, Clock::now());
  varnholt::GcodeOptions options;
  options.allowPartial = true;
  options.acceptImplausible = true;
  t0 = Clock::now();
  auto* gcode = new varnholt::GcodeResult(varnholt::WriteGcode(*program, options));
  const double write = Seconds(t0, Clock::now());
  t0 = Clock::now();
  const varnholt::ProgramTime time = varnholt::MachiningTime(*program);
  const double timing = Seconds(t0, Clock::now());
  std::snprintf(line, sizeof line,
                "phase=gcode seconds=%.6f time_seconds=%.6f build_seconds=%.6f open_seconds=%.6f lines=%zu "
                "gcode_bytes=%zu left_out=%zu machining_s=%.0f peak_rss=%lld bytes=%lld",
                write, timing, build, open, gcode->lines.size(), gcode->text.size(), gcode->problems.size(),
                time.total.Total(), PeakRss(), a.bytes);
  std::printf("%s\n", line);
  return 0;
}

// The program and its G-code made untimed, then the material removal timed alone.
int PhaseSimulate(const PhaseArgs& a) {
  char line[640];
  double open = 0;
  CDoc* doc = TimedOpen(a, open);
  if (!doc) return 1;
  auto t0 = Clock::now();
  auto* model = new varnholt::Model(varnholt::ReadModel(*doc->Scope()));
  auto* program = new varnholt::Program(varnholt::BuildProgram(*model));
  auto* gcode = new varnholt::GcodeResult(varnholt::WriteGcode(*program, varnholt::SimulationGcodeOptions()));
  const double prepare = Seconds(t0, Clock::now());
  size_t moves = 0;
  for (const varnholt::ProgramStep& step : program->steps) moves += step.moves.size();
  varnholt::SimulateOptions options;
  options.resolution = a.resolution;
  options.volumes = [](const varnholt::Model& m, int index, std::string& why) {
    return varnholt::MakeFeatureVolume(m, index, why);
  };
  const long long rssBefore = CurrentRss();
  t0 = Clock::now();
  auto* result = new varnholt::SimulateResult(varnholt::Simulate(*model, *program, *gcode, options));
  const double seconds = Seconds(t0, Clock::now());
  if (!result->ok) {
    std::fprintf(stderr, "varnholt-bench: nothing simulated: %s\n", result->error.c_str());
    return 1;
  }
  std::snprintf(line, sizeof line,
                "phase=simulate seconds=%.6f prepare_seconds=%.6f open_seconds=%.6f resolution=%g moves=%zu "
                "workingsteps=%zu findings=%zu errors=%zu stock_mm3=%.1f stock_after_mm3=%.1f peak_rss=%lld "
                "rss_before=%lld bytes=%lld",
                seconds, prepare, open, result->resolution, moves, result->steps.size(), result->findings.size(),
                result->Errors(), result->stockVolume, result->stockVolumeAfter, PeakRss(), rssBefore, a.bytes);
  std::printf("%s\n", line);
  return 0;
}

// The descriptor of the file a phase writes, or -1 after saying why there is none.
int OpenForWriting(const char* path) {
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) std::fprintf(stderr, "varnholt-bench: cannot write %s\n", path);
  return fd;
}

int PhaseTable(const PhaseArgs& a) {
  char line[512];
  // `table FILE --type cartesian_point` after the open: the rows found, then the CSV written.
  double open = 0;
  CDoc* doc = TimedOpen(a, open);
  if (!doc) return 1;
  const int fd = OpenForWriting(a.writeTo);
  if (fd < 0) return 1;
  varnholt::DescriptorBuffer buffer(fd);
  std::ostream out(&buffer);
  auto t0 = Clock::now();
  auto* table = new varnholt::EntityTable;
  std::string why;
  if (!table->Build(*doc->Scope(), "cartesian_point", false, why)) {
    std::fprintf(stderr, "varnholt-bench: %s\n", why.c_str());
    return 1;
  }
  const double build = Seconds(t0, Clock::now());
  t0 = Clock::now();
  varnholt::WriteCsv(*table, out);
  out.flush();
  ::close(fd);
  const double write = Seconds(t0, Clock::now());
  if (!out || buffer.Error() != 0) {
    std::fprintf(stderr, "varnholt-bench: writing %s failed\n", a.writeTo);
    return 1;
  }
  const double seconds = build + write;
  std::snprintf(line, sizeof line,
                "phase=table seconds=%.6f build_seconds=%.6f write_seconds=%.6f open_seconds=%.6f "
                "rows=%zu out_bytes=%lld out_mb_per_s=%.1f peak_rss=%lld bytes=%lld",
                seconds, build, write, open, table->RowCount(), buffer.Written(),
                seconds > 0 ? static_cast<double>(buffer.Written()) / 1e6 / seconds : 0.0, PeakRss(),
                a.bytes);
  std::printf("%s\n", line);
  return 0;
}

int PhaseSave(const PhaseArgs& a) {
  char line[512];
  auto* doc = new CDoc;
  if (!OpenDocument(*doc, a.path)) return 1;
  const int fd = OpenForWriting(a.writeTo);
  if (fd < 0) return 1;
  varnholt::DescriptorBuffer buffer(fd);
  std::ostream out(&buffer);
  double seconds = 0;
  bool written = true;
  {
    CDoc::LogRoute route(*doc);
    auto t0 = Clock::now();
    try {
      doc->StepFile()->WriteP21(out);
    } catch (...) {
      written = false;
    }
    out.flush();
    ::close(fd);
    seconds = Seconds(t0, Clock::now());
  }
  if (!written || !out || buffer.Error() != 0) {
    std::fprintf(stderr, "varnholt-bench: writing %s failed\n", a.writeTo);
    return 1;
  }
  std::snprintf(line, sizeof line,
                "phase=save seconds=%.6f peak_rss=%lld rss_start=%lld instances=%ld bytes=%lld "
                "out_bytes=%lld",
                seconds, PeakRss(), a.rssStart, doc->Scope()->EntryCount(), a.bytes,
                buffer.Written());
  std::printf("%s%s\n", line, LogCounts(doc->LogText()).c_str());
  return 0;
}

int PhaseIsopen(const PhaseArgs& a) {
  char line[512];
  long instances = 0;
  std::string log;
  {
    CDoc warmUp;
    if (!OpenDocument(warmUp, a.path)) return 1;
    instances = warmUp.Scope()->EntryCount();
    log = warmUp.LogText();
  }
  std::vector<double> times;
  for (long i = 0; i < a.reps; ++i) {
    CDoc doc;  // destroyed after the measurement
    auto t0 = Clock::now();
    bool opened = doc.OnOpenDocument(a.path);
    times.push_back(Seconds(t0, Clock::now()));
    if (!opened || doc.LogText().find("\" is open") == std::string::npos) {
      std::fprintf(stderr, "varnholt-bench: %s did not open\n", a.path);
      return 1;
    }
  }
  std::snprintf(line, sizeof line,
                "phase=isopen seconds=%.6f min=%.6f max=%.6f reps=%ld peak_rss=%lld "
                "rss_start=%lld instances=%ld bytes=%lld",
                Median(times), *std::min_element(times.begin(), times.end()),
                *std::max_element(times.begin(), times.end()), a.reps, PeakRss(), a.rssStart,
                instances, a.bytes);
  std::printf("%s%s\n", line, LogCounts(log).c_str());
  return 0;
}

int PhaseDiff(const PhaseArgs& a) {
  if (!a.with) {
    std::fprintf(stderr, "varnholt-bench: --phase diff compares FILE with the file of --with B\n");
    return 2;
  }
  double openA = 0, openB = 0;
  CDoc* docA = TimedOpen(a, openA);
  if (!docA) return 1;
  PhaseArgs other = a;
  other.path = a.with;
  CDoc* docB = TimedOpen(other, openB);
  if (!docB) return 1;
  const auto t0 = Clock::now();
  const std::vector<varnholt::Difference> differences = varnholt::Compare(*docA->Scope(), *docB->Scope());
  const double seconds = Seconds(t0, Clock::now());
  const double opens = openA + openB;
  char line[512];
  std::snprintf(line, sizeof line,
                "phase=diff seconds=%.6f open_seconds=%.6f share=%.3f total_over_opens=%.3f "
                "differences=%zu peak_rss=%lld bytes=%lld",
                seconds, opens, opens > 0 ? seconds / opens : 0.0, opens > 0 ? (opens + seconds) / opens : 0.0,
                differences.size(), PeakRss(), a.bytes);
  std::printf("%s\n", line);
  return 0;
}

/// --phase: performs one phase once and prints its line; returns the exit status.
int RunPhase(const std::string& phase, const char* path, long long bytes, const char* writeTo,
             long reps, const char* with, double resolution) {
  static const struct {
    const char* name;
    int (*run)(const PhaseArgs&);
  } kPhases[] = {{"scan", PhaseScan},     {"open", PhaseOpen}, {"refs", PhaseRefs},
                 {"render", PhaseRender}, {"save", PhaseSave}, {"isopen", PhaseIsopen},
                 {"rules", PhaseRules},   {"model", PhaseModel},  {"toolpaths", PhaseToolpaths},
                 {"gcode", PhaseGcode},
                 {"simulate", PhaseSimulate},
                 {"table", PhaseTable},
                 {"diff", PhaseDiff}};
  const PhaseArgs args{path, bytes, writeTo, reps, CurrentRss(), with, resolution};
  for (const auto& p : kPhases) {
    if (phase != p.name) continue;
    const int status = p.run(args);
    if (status != 0) return status;
    // Freeing millions of instances is not part of any phase; the process just ends.
    std::fflush(stdout);
    std::_Exit(0);
  }
  std::fputs(kUsage, stderr);
  return 2;
}


/// The command line of a benchmark run.
struct Options {
  const char* path = nullptr;
  const char* writeTo = "/dev/null";
  long runs = 3;
  bool runsGiven = false;
  bool fileOrder = false;
  std::string phase;
  long reps = 21;
  const char* with = nullptr;  // the second file of --phase diff
  double resolution = 0;       // of --phase simulate
};

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

/// A whole positive number, or 0.
long Count(const char* text) {
  char* end = nullptr;
  const long n = std::strtol(text, &end, 10);
  return *text && !*end && n >= 1 ? n : 0;
}

/// Reads the command line; -1 when the run goes on, else the exit status.
int ParseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (std::strcmp(argv[i], "--write-to") == 0 && hasValue) {
      o.writeTo = argv[++i];
    } else if (std::strcmp(argv[i], "--phase") == 0 && hasValue) {
      o.phase = argv[++i];
    } else if (std::strcmp(argv[i], "--with") == 0 && hasValue) {
      o.with = argv[++i];
    } else if (std::strcmp(argv[i], "--resolution") == 0 && hasValue) {
      char* end = nullptr;
      o.resolution = std::strtod(argv[++i], &end);
      if (*end || !(o.resolution >= 0.001 && o.resolution <= 100)) return Usage();
    } else if (std::strcmp(argv[i], "--reps") == 0 && hasValue) {
      if ((o.reps = Count(argv[++i])) == 0) return Usage();
    } else if (std::strcmp(argv[i], "--file-order") == 0) {
      o.fileOrder = true;
    } else if (std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (!o.path) {
      o.path = argv[i];
    } else if (!o.runsGiven) {
      if ((o.runs = Count(argv[i])) == 0) return Usage();
      o.runsGiven = true;
    } else {
      return Usage();
    }
  }
  if (!o.path || (!o.phase.empty() && (o.runsGiven || o.fileOrder))) return Usage();
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (int status = ParseOptions(argc, argv, o); status >= 0) return status;
  const char* path = o.path;
  struct stat st {};
  if (stat(path, &st) != 0) {
    std::fprintf(stderr, "varnholt-bench: cannot open %s\n", path);
    return 1;
  }
  const double megabytes = static_cast<double>(st.st_size) / 1e6;

  RegisterTypeNames();
  RegisterEntityNames();
  if (!o.phase.empty())
    return RunPhase(o.phase, path, static_cast<long long>(st.st_size), o.writeTo, o.reps, o.with, o.resolution);

  const long long rssStart = CurrentRss();
  std::ostringstream log;
  std::streambuf* saved = std::cerr.rdbuf(log.rdbuf());
  std::vector<Run> results;
  for (long i = 0; i < o.runs; ++i) results.push_back(OneRun(path, o.writeTo, o.fileOrder));
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
  std::printf("size        %lld bytes (%.1f MB)\n", static_cast<long long>(st.st_size), megabytes);
  std::printf("instances   %ld (%ld loaded)\n", instances, first.loaded);
  std::printf("runs        %ld, median seconds; load order: %s\n", o.runs,
              o.fileOrder ? "file offsets (--file-order)" : "name table (as the document)");
  PrintPhase("scan", Median(scan), megabytes, instances);
  PrintPhase("load", Median(load), megabytes, instances);
  PrintPhase("open", Median(scan) + Median(load), megabytes, instances);
  PrintPhase("write", Median(write), megabytes, instances);
  PrintPhase("close", Median(close), megabytes, instances);
  std::printf("  runs:");
  for (const Run& r : results) std::printf(" %.3f+%.3f+%.3f", r.scan, r.load, r.write);
  std::printf("  (scan+load+write)\n");
  std::printf("memory (first run, resident set above the start of %.1f MB)\n", rssStart / 1e6);
  std::printf("  peak        %8.1f MB  %7.1f bytes/instance (ru_maxrss)\n", (peak - rssStart) / 1e6,
              PerInstance(peak - rssStart, instances));
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
