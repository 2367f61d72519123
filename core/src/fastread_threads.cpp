#include "direct_threads.h"

bool cct_StepFile::TakeScannedAhead() {
  if (!scanAhead_) return false;
  const ScanAhead::Found& f = scanAhead_->Next();
  if (f.last) {
    // The scan goes on from where the thread stopped, by itself.
    Seek(f.endOffset);
    SetLine(f.endLine);
    scanAheadTaken_ = scanAhead_->Taken();
    scanAhead_.reset();
    return false;
  }
  const long typeId = f.sameKeyword ? scanned_.typeId : KeywordTypeId(f.keyword, f.keywordLength);
  TakeDefinition(f.name, f.nameLength, typeId, f.equalsOffset, f.equalsLine);
  // (What the scan reports is told at the line reached, as it would be.)
  SetLine(f.endLine);
  scanAheadOffset_ = f.endOffset;
  return true;
}

void cct_StepFile::StartScanAhead() {
  // A thread pays off on a long stretch of plain definitions; after a few short runs (a file
  // full of what the thread leaves alone) the scan goes on by itself.
  if (scanAhead_ || !directReading || !stream_ || unputCount_ > 0) return;
  if (scanAheadRuns_ >= 4 && scanAheadTaken_ < 4096) return;
  ++scanAheadRuns_;
  try {
    scanAhead_.reset(new ScanAhead(fileno(stream_), Tell(), static_cast<int32_t>(line_)));
  } catch (...) {
    // (No thread to be had, or no memory for it: the scan goes on by itself.)
  }
}

void cct_StepFile::EndScanAhead::operator()(ScanAhead* scanAhead) const { delete scanAhead; }

void cct_StepFile::StartReadAhead(const cct_Scope::Order& order) {
  StopReadAhead();
  if (!directReading || !stream_ || order.empty()) return;
  try {
    readAhead_.reset(new ReadAhead(fileno(stream_), order));
  } catch (...) {
    // (No thread to be had, or no memory for it: every record is read as it is asked for.)
  }
}

void cct_StepFile::EndReadAhead::operator()(ReadAhead* readAhead) const { delete readAhead; }

void cct_StepFile::StopReadAhead() { readAhead_.reset(); }

void cct_StepFile::ReadAll(const cct_Scope::Order& order, const AfterRead& afterEach) {
  // The thread reads the file alongside: it must be gone before the caller goes on, also when
  // a read throws.
  struct Stop {
    cct_StepFile& file;
    ~Stop() { file.StopReadAhead(); }
  } stop{*this};
  StartReadAhead(order);
  for (size_t i = 0; i < order.size(); ++i) {
    // The entries lie scattered in memory: the one read a few steps on is fetched meanwhile.
    if (i + 8 < order.size()) __builtin_prefetch(order[i + 8]);
    if (cct_Instance* instance = scope_.FindInstance(order[i], 1)) instance->Release();
    if (afterEach) afterEach(order[i], i);
  }
}
