// Material removal: the program's moves cut from the workpiece's stock, to prove that they make
// the part the features describe. The stock is a tri-dexel model (rays along the workpiece's
// three axes, each a sorted list of material intervals); every move takes away exactly what its
// tool sweeps, per ray, without sampling positions along the move. What it finds: rapids into
// material, a shank in material, material removed that the part keeps (a gouge) and material
// left inside a feature's volume, each with the workingstep, move and G-code line it comes from.
#ifndef VARNHOLT_SIMULATE_H
#define VARNHOLT_SIMULATE_H

#include <array>
#include <cstddef>
#include <functional>
#include <iosfwd>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "varnholt/feature_volume.h"
#include "varnholt/gcode.h"
#include "varnholt/model.h"
#include "varnholt/program.h"

namespace varnholt {

/// Makes the removal volume of the model's feature `index`, null with `why` where there is none.
using VolumeMaker = std::function<std::unique_ptr<FeatureVolume>(const Model&, int, std::string&)>;

struct SimulateOptions {
  /// The spacing of the rays, mm; 0 chooses it from the stock's size (0.1 mm up to 300 mm).
  double resolution = 0;
  /// Stop after the workingstep with this instance ("#50") or its_id; empty runs them all.
  std::string until;
  /// What the stock model may take, bytes; a larger one is refused before it is allocated.
  size_t memoryLimit = size_t(2) << 30;
  /// The tolerance the G-code was written with (its chords of arcs outside the principal planes).
  double gcodeTolerance = 0.001;
  /// The features' removal volumes; without it gouges and material left are not looked for.
  VolumeMaker volumes;
  /// Told the percentage done between workingsteps; returning false stops the run, and the
  /// result then says it was cancelled. A desktop keeps its window alive through it.
  std::function<bool(int percent)> progress;
  /// Keep a copy of the stock after every workingstep (SimStep::stockAfter), so that a viewer
  /// can step through them without running again. The copies together stay within
  /// memoryLimit; the steps past it keep none.
  bool keepSteps = false;
};

/// One kind of problem in one workingstep (or feature), at its worst place.
struct SimFinding {
  std::string kind;      // rapid_into_material, shank_in_material, gouge, material_left
  std::string severity;  // error, warning
  std::string workingstep, feature;  // "#50", "#70"; empty where there is none
  int move = -1;         // index into the workingstep's moves; -1 for none
  int gcodeLine = -1;    // 1-based line of the G-code; -1 where the move has none
  Vec3 at;               // in the setup's coordinates
  double depth = 0;      // mm
  double volume = std::numeric_limits<double>::quiet_NaN();  // mm³, where it applies
  size_t count = 0;      // moves (or rays) with this finding
  std::string text;
};

namespace simulate_detail {
class Stock;
}

struct SimStep {
  std::string instance, label, feature;  // "#50", its_id, "#70"
  bool simulated = false;
  std::string reason;  // why not, where it is not
  size_t moves = 0;
  double removedVolume = 0;  // mm³
  double axialEngagement = 0, radialEngagement = 0;  // mm, the largest over its moves
  /// Removed volume over cutting time, mm³/min; NaN where the cutting time is unknown.
  double removalRate = std::numeric_limits<double>::quiet_NaN();
  size_t findings = 0;
  /// With SimulateOptions::keepSteps: the stock as it is after this workingstep (shared with
  /// the step before where this one cut nothing), and the workpiece it is of; null where none
  /// was kept.
  std::shared_ptr<const simulate_detail::Stock> stockAfter;
  int stockWorkpiece = -1;
};

struct SimFeature {
  std::string instance, type;  // "#70", its entity
  /// The volume of its removal solid within the stock, what the program took of it and what
  /// is left, mm³; NaN where the feature has no volume or was not reached.
  double designVolume = std::numeric_limits<double>::quiet_NaN();
  double removedVolume = std::numeric_limits<double>::quiet_NaN();
  double leftVolume = std::numeric_limits<double>::quiet_NaN();
  std::string note;  // why there are no figures, where there are none
};

struct SimulateResult {
  /// False when nothing could be simulated: `error` says why (no stock, too large a model).
  bool ok = false;
  /// The progress function stopped the run: `ok` is false, and nothing of it is to be shown.
  bool cancelled = false;
  std::string error;
  double resolution = 0;
  std::string resolutionNote;  // how the resolution was chosen
  double stockVolume = 0, stockVolumeAfter = 0;  // mm³
  std::vector<SimStep> steps;
  std::vector<SimFeature> features;
  std::vector<SimFinding> findings;
  /// What was not simulated or not checked, one sentence each.
  std::vector<std::string> notes;
  /// The stock after the last simulated workingstep, for a mesh of it.
  std::shared_ptr<const simulate_detail::Stock> stock;
  /// The workpiece that stock is of (index into Model::workpieces); -1 without one.
  int stockWorkpiece = -1;
  size_t Errors() const;
  size_t Warnings() const;
};

/// The G-code a simulation pairs its moves with: every workingstep the G-code can write, and
/// implausible feeds or speeds written as given, since the moves are what is proved, not the
/// feeds.
GcodeOptions SimulationGcodeOptions();

/// Runs the program on its workpiece's stock. `gcode` is the program written with partial
/// output allowed: the workingsteps it leaves out are left out here with its reason, and its
/// lines give each finding's G-code line.
SimulateResult Simulate(const Model& model, const Program& program, const GcodeResult& gcode,
                        const SimulateOptions& options = {});

/// A table per workingstep, the findings, the stock's volume before and after. `shop` writes
/// removal rates in cm³/min, otherwise mm³/s.
void WriteSimulateText(const SimulateResult& result, std::ostream& out, bool shop = true);
/// The JSON document docs/simulate.md describes.
void WriteSimulateJson(const SimulateResult& result, std::ostream& out);

/// The stock after the program as a closed triangle mesh, each triangle turned outwards.
struct StockTriangles {
  std::vector<Vec3> vertices;
  std::vector<std::array<int, 3>> triangles;  // indices into vertices
  double volume = 0;                          // mm³ it encloses
};
/// The mesh WriteStockStl writes; false with `why` when there is none (nothing simulated, an
/// empty stock).
bool StockMesh(const SimulateResult& result, StockTriangles& mesh, std::string& why);

/// The result as it stood after workingstep `step` (an index into `steps`): its findings up to
/// then and the stock kept after it; false where no stock was kept for it (keepSteps).
bool ResultAfterStep(const SimulateResult& result, size_t step, SimulateResult& after);

/// The stock's mesh for a picture: placed as the scene places its workpiece (in the first
/// placed setup that clamps it, in machine coordinates), and per triangle whether it lies on a
/// gouge: its centre more than two cells outside every volume of the workpiece's features and
/// more than two cells inside the stock as it was. Gouges are marked only where the simulation
/// found some; `note` says why none are marked where a feature of the workpiece has no volume
/// (its removal could not be told from a gouge). False with `why` where there is no mesh.
bool StockPicture(const Model& model, const SimulateResult& result, StockTriangles& placed,
                  std::vector<bool>& gouged, std::string& note, std::string& why);
/// The same, and per triangle the step (an index into `result.steps`) after which material is
/// left where it lies: its centre more than two cells inside the volume of a feature the
/// simulation found material left in, the last step that machines that feature; -1 for none.
bool StockPicture(const Model& model, const SimulateResult& result, StockTriangles& placed,
                  std::vector<bool>& gouged, std::vector<int>& leftAfter, std::string& note, std::string& why);

/// Writes the stock after the program as a closed binary STL; false with `why` when it cannot.
/// `volume` is the volume the mesh encloses.
bool WriteStockStl(const SimulateResult& result, std::ostream& out, double& volume, std::string& why);

}  // namespace varnholt

#endif
