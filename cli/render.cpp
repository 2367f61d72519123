// render FILE OUT: the program's workpiece, features and toolpaths as a picture.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "commands.h"
#include "varnholt/doc.h"
#include "varnholt/save_io.h"
#include "varnholt/scene.h"
#include "varnholt/scene_render.h"

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

  std::string log, why;
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
      const varnholt::Camera camera = varnholt::Camera::Fit(scene, view, width, height);
      // The sheet names the file as a machinist finds it, without the folders of this machine.
      const varnholt::PictureFile picture =
          pdf ? varnholt::RenderSheet(scene, view, std::filesystem::path(in).filename().string())
          : svg ? varnholt::RenderSvg(scene, camera, width, height)
                : varnholt::RenderPng(scene, camera, width, height);
      if (!picture.error.empty()) {
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
  return ok ? 0 : Refuse(why);
}

}  // namespace cli
