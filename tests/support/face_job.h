// The simulation tests' face job (tests/data/simulate_face.stp) with one pass made to end at
// another depth: a gouge or material left planted where the test wants it.
#ifndef VARNHOLT_TEST_FACE_JOB_H
#define VARNHOLT_TEST_FACE_JOB_H

#include <fstream>
#include <string>

#include "support/cli_run.h"

/// The face job with the end of its third pass at `depth` in the face's system, written into
/// `dir`; empty where the job's text no longer holds that pass.
inline std::string FaceJob(const TempDir& dir, const std::string& depth) {
  std::string text = ReadAll(std::string(VARNHOLT_SOURCE_DIR) + "/tests/data/simulate_face.stp");
  const std::string end = "(45.0,19.0,-1.0)";
  const size_t at = text.find(end);
  if (at == std::string::npos) return "";
  text.replace(at, end.size(), "(45.0,19.0," + depth + ")");
  const std::string path = dir.File("face" + depth + ".stp");
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

#endif
