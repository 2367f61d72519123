// Pictures of a scene, drawn through cairo: PNG and SVG of a given size in pixels, a printable
// PDF sheet, and the same strokes into pixels the caller owns (the 3D view's still frame).
// Each draws every path of the scene through the camera, then the world axes in the lower left
// corner and a scale bar with its length and unit in the lower right.
#ifndef VARNHOLT_SCENE_RENDER_H
#define VARNHOLT_SCENE_RENDER_H

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "varnholt/scene.h"

namespace varnholt {

/// The largest picture side accepted, in pixels.
constexpr int kMaxPictureSide = 8192;

/// The PDF sheet: an A4 page in landscape, in points (1/72 inch). A4 is what the printer beside
/// a machine takes; landscape because the views are wider than high.
constexpr double kSheetWidth = 841.89, kSheetHeight = 595.28;

/// How one path is stroked. Widths are in pixels (points on the sheet).
struct Stroke {
  const ScenePath* path = nullptr;
  unsigned colour = 0;  // 0xRRGGBB
  double opacity = 1;   // 0 to 1
  double width = 1;
  bool dashed = false;
};

/// The strokes of a rendered picture: every path of the scene, far kinds first so that toolpaths
/// stay on top of what they machine, in the colours of PathColour and PathOpacity.
std::vector<Stroke> PictureStrokes(const Scene& scene);

/// Pixels owned by the caller: 32 bits each, alpha premultiplied, in the machine's byte order
/// (cairo's ARGB32, Qt's ARGB32_Premultiplied). `ratio` device pixels make one drawing unit.
struct Pixels {
  unsigned char* data = nullptr;
  int width = 0, height = 0, stride = 0;
  double ratio = 1;
};

/// Strokes the paths, antialiased, over what the pixels hold, in the camera's coordinates
/// (drawing units). A point within half a unit of the point drawn before it adds nothing and is
/// passed over. Returns the number of segments drawn; 0 when cairo cannot draw into the pixels.
size_t DrawStrokes(const Pixels& pixels, const Camera& camera, const std::vector<Stroke>& strokes);

/// The bytes of a picture file, or nothing and why cairo could not make them.
struct PictureFile {
  std::string bytes;
  std::string error;
};

/// Triangles drawn shaded under the scene's paths (the stock after the program), in the
/// scene's coordinates; those marked in `red` (gouges) are drawn red, those on material left in
/// the colour `left` gives them.
struct ShadedMesh {
  std::vector<Vec3> vertices;
  std::vector<std::array<int, 3>> triangles;  // counter-clockwise seen from outside
  std::vector<bool> red;                      // per triangle, or empty for none
  /// Per triangle the colour (0xRRGGBB) of the material left it lies on, -1 for none; or empty.
  std::vector<int> left;
};

/// An SVG document of width x height pixels: the mesh, where one is given, as one picture
/// element, one <path> element per scene path, then the axes and the scale bar (their labels
/// as glyph outlines).
PictureFile RenderSvg(const Scene& scene, const Camera& camera, int width, int height,
                      const ShadedMesh* mesh = nullptr);
/// A compressed 8-bit RGB PNG of the scene on white, width x height pixels, over the mesh.
PictureFile RenderPng(const Scene& scene, const Camera& camera, int width, int height,
                      const ShadedMesh* mesh = nullptr);
/// A one-page PDF for the set-up sheet: the file's name and the side it is seen from at the
/// top, below them the scene (over the mesh) fitted into a frame with its axes and scale bar.
PictureFile RenderSheet(const Scene& scene, ViewDirection direction, const std::string& fileName,
                        const ShadedMesh* mesh = nullptr);

/// The colour a path is drawn in, as 0xRRGGBB, and its opacity (0 to 1).
unsigned PathColour(const ScenePath& path);
double PathOpacity(const ScenePath& path);
/// Its line width in pixels; generated moves are dashed, so they read apart from the file's.
double PathWidth(const ScenePath& path);
bool PathDashed(const ScenePath& path);
/// The colour mixed with white: `share` 0 keeps it, 1 gives white.
unsigned LighterColour(unsigned colour, double share);

/// A round length for a scale bar that spans at most `maxPixels` at `scale` pixels per unit:
/// 1, 2 or 5 times a power of ten.
double ScaleBarLength(double scale, double maxPixels);

/// The label of a scale bar of that length: the number as short as it reads exactly, and the
/// unit after a blank when there is one ("50 mm").
std::string ScaleBarText(double length, const std::string& unit);

}  // namespace varnholt

#endif
