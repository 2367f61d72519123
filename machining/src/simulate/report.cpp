// What the simulation found, as text for a person and as JSON (docs/simulate.md).
#include <cmath>
#include <cstdio>
#include <ostream>
#include <string>

#include "../json_text.h"
#include "varnholt/simulate.h"

namespace varnholt {
namespace {

using json_text::Num;
using json_text::Point;
using json_text::Quoted;

std::string Fixed(double v, int digits) {
  if (!std::isfinite(v)) return "-";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", digits, v);
  return buffer;
}

std::string Pad(const std::string& s, size_t width) { return s.size() >= width ? s : s + std::string(width - s.size(), ' '); }
std::string Right(const std::string& s, size_t width) {
  return s.size() >= width ? s : std::string(width - s.size(), ' ') + s;
}

// An instance as JSON: its number, or null.
std::string Instance(const std::string& name) { return json_text::Instance(name); }

}  // namespace

void WriteSimulateText(const SimulateResult& result, std::ostream& out, bool shop) {
  out << "resolution " << Fixed(result.resolution, 3) << " mm (" << result.resolutionNote << ")\n\n";
  out << Pad("workingstep", 12) << Pad("its_id", 22) << Right("removed mm3", 13) << Right("axial mm", 10)
      << Right("radial mm", 11) << Right(shop ? "rate cm3/min" : "rate mm3/s", 14) << Right("findings", 10) << "\n";
  for (const SimStep& s : result.steps) {
    std::string label = s.label.size() > 20 ? s.label.substr(0, 19) + "~" : s.label;
    out << Pad(s.instance, 12) << Pad(label, 22);
    if (!s.simulated) {
      out << "not simulated: " << s.reason << "\n";
      continue;
    }
    const double rate = shop ? s.removalRate / 1000 : s.removalRate / 60;
    out << Right(Fixed(s.removedVolume, 1), 13) << Right(Fixed(s.axialEngagement, 2), 10)
        << Right(Fixed(s.radialEngagement, 2), 11) << Right(Fixed(rate, 2), 14) << Right(std::to_string(s.findings), 10)
        << "\n";
  }
  if (!result.features.empty()) {
    out << "\n" << Pad("feature", 12) << Pad("type", 26) << Right("design mm3", 13) << Right("removed mm3", 13)
        << Right("left mm3", 11) << "\n";
    for (const SimFeature& f : result.features) {
      out << Pad(f.instance, 12) << Pad(f.type, 26);
      if (!f.note.empty() && !std::isfinite(f.designVolume)) {
        out << f.note << "\n";
        continue;
      }
      out << Right(Fixed(f.designVolume, 1), 13) << Right(Fixed(f.removedVolume, 1), 13)
          << Right(Fixed(f.leftVolume, 1), 11) << "\n";
    }
  }
  out << "\n";
  if (result.findings.empty()) out << "no findings\n";
  for (const SimFinding& f : result.findings) {
    out << f.severity << ": " << f.kind << " in workingstep " << (f.workingstep.empty() ? "-" : f.workingstep);
    if (!f.feature.empty()) out << " (feature " << f.feature << ")";
    if (f.move >= 0) out << ", move " << f.move;
    if (f.gcodeLine > 0) out << ", G-code line " << f.gcodeLine;
    out << " at (" << Fixed(f.at.x, 3) << ", " << Fixed(f.at.y, 3) << ", " << Fixed(f.at.z, 3) << "): " << f.text
        << "\n";
  }
  for (const std::string& note : result.notes) out << "note: " << note << "\n";
  out << "stock " << Fixed(result.stockVolume, 1) << " mm3 before, " << Fixed(result.stockVolumeAfter, 1)
      << " mm3 after (" << result.Errors() << " errors, " << result.Warnings() << " warnings)\n";
}

void WriteSimulateJson(const SimulateResult& result, std::ostream& out) {
  out << "{\n  \"resolution\": " << Num(result.resolution) << ",\n  \"resolution_note\": "
      << Quoted(result.resolutionNote) << ",\n  \"stock\": {\"volume\": " << Num(result.stockVolume)
      << ", \"volume_after\": " << Num(result.stockVolumeAfter) << "},\n  \"workingsteps\": [";
  for (size_t k = 0; k < result.steps.size(); ++k) {
    const SimStep& s = result.steps[k];
    out << (k ? ",\n" : "\n") << "    {\"instance\": " << Instance(s.instance) << ", \"its_id\": " << Quoted(s.label)
        << ", \"feature\": " << Instance(s.feature) << ", \"simulated\": " << (s.simulated ? "true" : "false");
    if (s.simulated)
      out << ", \"moves\": " << s.moves << ", \"removed_volume\": " << Num(s.removedVolume)
          << ", \"axial_engagement\": " << Num(s.axialEngagement) << ", \"radial_engagement\": "
          << Num(s.radialEngagement) << ", \"removal_rate\": " << Num(s.removalRate) << ", \"findings\": " << s.findings;
    else
      out << ", \"reason\": " << Quoted(s.reason);
    out << "}";
  }
  out << (result.steps.empty() ? "]" : "\n  ]") << ",\n  \"features\": [";
  for (size_t k = 0; k < result.features.size(); ++k) {
    const SimFeature& f = result.features[k];
    out << (k ? ",\n" : "\n") << "    {\"instance\": " << Instance(f.instance) << ", \"type\": " << Quoted(f.type)
        << ", \"design_volume\": " << Num(f.designVolume) << ", \"removed_volume\": " << Num(f.removedVolume)
        << ", \"left_volume\": " << Num(f.leftVolume);
    if (!f.note.empty()) out << ", \"note\": " << Quoted(f.note);
    out << "}";
  }
  out << (result.features.empty() ? "]" : "\n  ]") << ",\n  \"findings\": [";
  for (size_t k = 0; k < result.findings.size(); ++k) {
    const SimFinding& f = result.findings[k];
    out << (k ? ",\n" : "\n") << "    {\"kind\": " << Quoted(f.kind) << ", \"severity\": " << Quoted(f.severity)
        << ", \"workingstep\": " << Instance(f.workingstep) << ", \"feature\": " << Instance(f.feature)
        << ", \"move\": " << (f.move >= 0 ? std::to_string(f.move) : "null")
        << ", \"gcode_line\": " << (f.gcodeLine > 0 ? std::to_string(f.gcodeLine) : "null")
        << ", \"at\": " << Point(f.at) << ", \"depth\": " << Num(f.depth);
    if (std::isfinite(f.volume)) out << ", \"volume\": " << Num(f.volume);
    out << ", \"count\": " << f.count << ", \"text\": " << Quoted(f.text) << "}";
  }
  out << (result.findings.empty() ? "]" : "\n  ]") << ",\n  \"notes\": [";
  for (size_t k = 0; k < result.notes.size(); ++k) out << (k ? ", " : "") << Quoted(result.notes[k]);
  out << "]\n}\n";
}

}  // namespace varnholt
