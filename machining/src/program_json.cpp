// The program as JSON, for other programs to read (docs/scene.md, docs/scene.schema.json).
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <ostream>
#include <string>

#include "json_text.h"
#include "varnholt/program.h"

namespace varnholt {
namespace {

using namespace json_text;

std::string Text(const std::string& text) { return Quoted(text); }

void WriteMove(const Move& move, std::ostream& out) {
  static const char* kinds[] = {"rapid", "feed", "arc", "dwell"};
  out << "{\"kind\": \"" << kinds[static_cast<int>(move.kind)] << "\", \"to\": " << Point(move.to)
      << ", \"feed\": " << (move.kind == MoveKind::Rapid ? "null" : Num(move.feed));
  if (move.kind == MoveKind::Arc)
    out << ", \"center\": " << Point(move.center) << ", \"normal\": " << Point(move.normal)
        << ", \"clockwise\": " << (move.clockwise ? "true" : "false");
  if (move.kind == MoveKind::Dwell) out << ", \"seconds\": " << Num(move.seconds);
  out << "}";
}

void WriteStep(const ProgramStep& step, std::ostream& out) {
  out << "        {\"instance\": " << Instance(step.name) << ", \"its_id\": " << Text(step.label) << ",\n";
  out << "         \"feature\": ";
  if (step.feature.empty())
    out << "null";
  else
    out << "{\"instance\": " << Instance(step.feature) << ", \"type\": " << Text(step.featureType) << "}";
  out << ",\n         \"operation\": ";
  if (step.operation.empty())
    out << "null";
  else
    out << "{\"instance\": " << Instance(step.operation) << ", \"type\": " << Text(step.operationType) << "}";
  out << ",\n         \"tool\": ";
  if (step.tool.name.empty()) {
    out << "null";
  } else {
    out << "{\"instance\": " << Instance(step.tool.name)
        << ", \"diameter\": " << (step.tool.diameter > 0 ? Num(step.tool.diameter) : "null");
    if (step.tool.hasCornerRadius) out << ", \"corner_radius\": " << Num(step.tool.cornerRadius);
    out << ", \"teeth\": " << (step.tool.teeth > 0 ? std::to_string(step.tool.teeth) : "null") << "}";
  }
  out << ",\n         \"spindle\": " << Num(step.spindle) << ", \"coolant\": {\"flood\": "
      << (step.coolant.flood ? "true" : "false") << ", \"mist\": " << (step.coolant.mist ? "true" : "false")
      << ", \"through_spindle\": " << (step.coolant.throughSpindle ? "true" : "false") << "}";
  out << ",\n         \"generated\": " << (step.explicitMoves ? "false" : "true");
  if (!step.reason.empty()) out << ",\n         \"reason\": " << Text(step.reason);
  if (!step.notes.empty()) {
    out << ",\n         \"notes\": [";
    for (size_t i = 0; i < step.notes.size(); ++i) out << (i ? ", " : "") << Text(step.notes[i]);
    out << "]";
  }
  if (!step.moves.empty()) out << ",\n         \"start\": " << Point(step.start);
  out << ",\n         \"moves\": [";
  for (size_t i = 0; i < step.moves.size(); ++i) {
    out << (i ? ",\n           " : "\n           ");
    WriteMove(step.moves[i], out);
  }
  out << (step.moves.empty() ? "]}" : "\n         ]}");
}

}  // namespace

void WriteMoveJson(const Move& move, std::ostream& out) { WriteMove(move, out); }

void WriteProgramJson(const Program& program, std::ostream& out) {
  out << "{\"unit\": \"mm\",\n \"project\": " << (program.hasProject ? "true" : "false")
      << ",\n \"units\": {\"system\": " << Quoted(UnitName(program.units.system))
      << ", \"given\": " << (program.units.given ? "true" : "false") << ", \"reason\": " << Quoted(program.units.reason)
      << "},\n \"setups\": [";
  // The workingsteps of each run of one setup under it; a setup used again later shows again,
  // so the machining order reads from top to bottom.
  bool firstSetup = true;
  size_t i = 0;
  while (i < program.steps.size()) {
    const int setup = program.steps[i].setup;
    out << (firstSetup ? "\n" : ",\n") << "  {";
    firstSetup = false;
    if (setup >= 0 && setup < static_cast<int>(program.setups.size())) {
      const ProgramSetup& s = program.setups[setup];
      out << "\"instance\": " << Instance(s.name) << ", \"its_id\": " << Text(s.label)
          << ",\n   \"origin\": {\"location\": " << Point(s.origin.origin) << ", \"axis\": " << Point(s.origin.axis[2])
          << ", \"ref_direction\": " << Point(s.origin.axis[0]) << "},\n";
    } else {
      out << "\"instance\": null, \"its_id\": null, \"origin\": null,\n";
    }
    out << "   \"workingsteps\": [\n";
    bool firstStep = true;
    for (; i < program.steps.size() && program.steps[i].setup == setup; ++i) {
      if (!firstStep) out << ",\n";
      firstStep = false;
      WriteStep(program.steps[i], out);
    }
    out << "\n   ]}";
  }
  out << (firstSetup ? "]}\n" : "\n ]}\n");
}

}  // namespace varnholt
