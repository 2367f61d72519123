// Pictures of a scene for files: SVG text, and PNG through a small line rasterizer of our own.
// Both draw each path of the scene through the camera, then the world axes in the lower left
// corner and a scale bar with its length and unit in the lower right.
#ifndef VARNHOLT_SCENE_RENDER_H
#define VARNHOLT_SCENE_RENDER_H

#include <cstdint>
#include <string>
#include <vector>

#include "varnholt/scene.h"

namespace varnholt {

/// The largest picture side accepted, in pixels.
constexpr int kMaxPictureSide = 8192;

/// An RGB picture, rows top to bottom, three bytes per pixel.
struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
};

/// An SVG document of width x height pixels: one <path> element per scene path.
std::string RenderSvg(const Scene& scene, const Camera& camera, int width, int height);
/// The scene drawn with antialiased lines on white.
Picture RenderPicture(const Scene& scene, const Camera& camera, int width, int height);
/// The bytes of a PNG file holding the picture (stored, uncompressed deflate blocks).
std::string EncodePng(const Picture& picture);

/// The colour a path is drawn in, as 0xRRGGBB, and its opacity (0 to 1).
unsigned PathColour(const ScenePath& path);
double PathOpacity(const ScenePath& path);

/// A round length for a scale bar that spans at most `maxPixels` at `scale` pixels per unit:
/// 1, 2 or 5 times a power of ten.
double ScaleBarLength(double scale, double maxPixels);

}  // namespace varnholt

#endif
