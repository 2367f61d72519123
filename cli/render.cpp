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

// "W" "x" "H" with both between 16 and the largest side; nothing else around them.
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

int Refuse(const std::string& message) {
  std::cerr << "varnholt-cli: " << message << "\n";
  return 1;
}

}  // namespace

int Render(int argc, char** argv) {
  if (argc < 2 || argc % 2 != 0) return 2;
  const char* in = argv[0];
  const std::string out = argv[1];
  varnholt::ViewDirection view = varnholt::ViewDirection::Iso;
  int width = 1200, height = 900;
  bool sized = false;
  for (int i = 2; i < argc; i += 2) {
    const std::string option = argv[i], value = argv[i + 1];
    if (option == "--view") {
      if (value == "top") view = varnholt::ViewDirection::Top;
      else if (value == "front") view = varnholt::ViewDirection::Front;
      else if (value == "side") view = varnholt::ViewDirection::Side;
      else if (value == "iso") view = varnholt::ViewDirection::Iso;
      else return Refuse("\"" + value + "\" is no view: top, front, side or iso");
    } else if (option == "--size") {
      if (!ParseSize(value.c_str(), width, height))
        return Refuse("\"" + value + "\" is no size: WIDTHxHEIGHT, each from 16 to " +
                      std::to_string(varnholt::kMaxPictureSide));
      sized = true;
    } else {
      return 2;
    }
  }
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
        scene = varnholt::BuildScene(*doc->Scope());
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
