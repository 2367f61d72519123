// render FILE OUT: the program's workpiece, features and toolpaths as a picture; with --stock
// the stock the program leaves under them.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>

#include "commands.h"
#include "varnholt/doc.h"
#include "varnholt/feature_volume.h"
#include "varnholt/gcode.h"
#include "varnholt/model_read.h"
#include "varnholt/program.h"
#include "varnholt/save_io.h"
#include "varnholt/scene.h"
#include "varnholt/scene_render.h"
#include "varnholt/simulate.h"

namespace {

bool EndsWith(const std::string& text, const char* suffix) {
  const size_t n = std::strlen(suffix);
  if (text.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    char c = text[text.size() - n + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != suffix[i]) return false;
  }
  return true;
}

// The stock after the program (or after `until`) as the picture's mesh, and a line saying what
// it is; false with `why` where nothing can be simulated. A picture needs no finer cells than
// its pixels: the resolution is the largest side of a stock over 400, so that the mesh stays
// a few hundred thousand triangles.
bool StockMeshOf(CDoc& doc, const std::string& until, varnholt::ShadedMesh& mesh, std::string& summary,
                 std::string& why) {
  CDoc::LogRoute route(doc);
  const varnholt::Model model = varnholt::ReadModel(*doc.Scope());
  const varnholt::Program program = varnholt::BuildProgram(model);
  if (!program.hasProject) {
    why = "it has no project: nothing is machined";
    return false;
  }
  const varnholt::GcodeResult gcode = varnholt::WriteGcode(program, varnholt::SimulationGcodeOptions());
  varnholt::SimulateOptions options;
  options.until = until;
  options.volumes = [](const varnholt::Model& m, int index, std::string& problem) {
    return varnholt::MakeFeatureVolume(m, index, problem);
  };
  double size = 0;
  for (const varnholt::ModelWorkpiece& w : model.workpieces) {
    const varnholt::ModelStock& stock = w.stock;
    if (stock.kind == varnholt::ModelStock::Block) size = std::max({size, stock.x, stock.y, stock.z});
    if (stock.kind == varnholt::ModelStock::Cylinder) size = std::max({size, 2 * stock.x, stock.z});
  }
  if (size > 0 && std::isfinite(size)) options.resolution = std::clamp(size / 400, 0.1, 100.0);
  const varnholt::SimulateResult result = varnholt::Simulate(model, program, gcode, options);
  if (!result.ok) {
    why = result.error;
    return false;
  }
  if (!until.empty())
    for (const std::string& note : result.notes)
      if (note.rfind("no workingstep ", 0) == 0) {
        why = note;
        return false;
      }
  varnholt::StockTriangles placed;
  std::vector<bool> gouged;
  std::vector<int> leftAfter;
  std::string note;
  if (!varnholt::StockPicture(model, result, placed, gouged, leftAfter, note, why)) return false;
  const size_t red = static_cast<size_t>(std::count(gouged.begin(), gouged.end(), true));
  mesh.vertices = std::move(placed.vertices);
  mesh.triangles = std::move(placed.triangles);
  mesh.red = std::move(gouged);
  // Material left in a light shade of the colour of the workingstep that last machines its
  // feature, as the scene draws that workingstep's toolpaths (the steps are the scene's, in its
  // order); gouges keep the full red.
  size_t left = 0;
  for (int step : leftAfter) {
    mesh.left.push_back(step >= 0 ? static_cast<int>(varnholt::LighterColour(varnholt::WorkingstepColour(step), 0.45)) : -1);
    left += step >= 0;
  }
  std::ostringstream line;
  line << "the stock after " << (until.empty() ? std::string("the program") : until) << " at " << result.resolution
       << " mm: " << mesh.triangles.size() << " triangles, " << red << " on gouges, " << left
       << " on material left";
  if (!note.empty()) line << "; " << note;
  summary = line.str();
  return true;
}

}  // namespace

namespace cli {

int Refuse(const std::string& message) {
  std::cerr << "varnholt-cli: " << message << "\n";
  return 1;
}

bool ParseSize(const char* text, int& width, int& height) {
  char* end = nullptr;
  const long w = std::strtol(text, &end, 10);
  if (end == text || (*end != 'x' && *end != 'X') || !(end[1] >= '0' && end[1] <= '9')) return false;
  const char* rest = end + 1;
  const long h = std::strtol(rest, &end, 10);
  if (*end || *text < '0' || *text > '9') return false;
  if (w < 16 || h < 16 || w > varnholt::kMaxPictureSide || h > varnholt::kMaxPictureSide) return false;
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  return true;
}

bool ParseView(const std::string& text, varnholt::ViewDirection* view) {
  varnholt::ViewDirection found;
  if (text == "top") found = varnholt::ViewDirection::Top;
  else if (text == "front") found = varnholt::ViewDirection::Front;
  else if (text == "side") found = varnholt::ViewDirection::Side;
  else if (text == "iso") found = varnholt::ViewDirection::Iso;
  else return false;
  if (view) *view = found;
  return true;
}

// The table has refused a view or size that is not of their forms before this runs.
int Render(const Arguments& arguments) {
  const char* in = arguments.positional[0].c_str();
  const std::string& out = arguments.positional[1];
  varnholt::ViewDirection view = varnholt::ViewDirection::Iso;
  int width = 1200, height = 900;
  if (arguments.Has("--view")) ParseView(arguments.Last("--view"), &view);
  const bool sized = arguments.Has("--size");
  if (sized) ParseSize(arguments.Last("--size").c_str(), width, height);
  const bool svg = EndsWith(out, ".svg"), pdf = EndsWith(out, ".pdf");
  if (!svg && !pdf && !EndsWith(out, ".png"))
    return Refuse("\"" + out + "\": the picture is written as .svg, .png or .pdf");
  if (pdf && sized) return Refuse("\"" + out + "\": a .pdf is an A4 page; --size gives the pixels of .svg and .png");
  const bool withStock = arguments.Has("--stock");
  if (arguments.Has("--until") && !withStock) return Misuse("--until says how far the stock is cut: it needs --stock");

  std::string log, why, summary;
  bool ok = false;
  {
    auto* doc = new CDoc;
    if (doc->OnOpenDocument(in)) {
      varnholt::Scene scene;
      {
        CDoc::LogRoute route(*doc);
        scene = varnholt::BuildScene(*doc->Scope(), {}, !arguments.Has("--no-generated"));
      }
      varnholt::ReportSceneProblems(scene, doc->Log());
      varnholt::ShadedMesh mesh;
      const bool stockMade = !withStock || StockMeshOf(*doc, arguments.Last("--until"), mesh, summary, why);
      const varnholt::ShadedMesh* stock = withStock ? &mesh : nullptr;
      const varnholt::Camera camera = varnholt::Camera::Fit(scene, view, width, height);
      // The sheet names the file as a machinist finds it, without the folders of this machine.
      const varnholt::PictureFile picture =
          !stockMade ? varnholt::PictureFile{}
          : pdf      ? varnholt::RenderSheet(scene, view, std::filesystem::path(in).filename().string(), stock)
          : svg      ? varnholt::RenderSvg(scene, camera, width, height, stock)
                     : varnholt::RenderPng(scene, camera, width, height, stock);
      if (!stockMade) {
        why = std::string("\"") + in + "\": " + why;
      } else if (!picture.error.empty()) {
        why = "cannot draw \"" + out + "\": " + picture.error;
      } else {
        ok = varnholt::ReplaceFile(out, [&](std::ostream& stream) {
          stream.write(picture.bytes.data(), static_cast<std::streamsize>(picture.bytes.size()));
          return std::string();
        }, why);
        if (!ok) why = "cannot write \"" + out + "\": " + why;
      }
    } else {
      why = std::string("\"") + in + "\" could not be opened";
    }
    log = doc->LogText();
    CloseDocument(doc, true);
  }
  std::cout << log;
  std::cout.flush();
  if (ok && !summary.empty()) std::cerr << "varnholt-cli: " << summary << "\n";
  return ok ? 0 : Refuse(why);
}

}  // namespace cli
