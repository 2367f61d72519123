// Pictures read back as a viewer reads them: the PNG decoded by cairo and sampled where lines
// must be (and where none may be), the same strokes in pixels the caller owns, the SVG's path
// elements, the PDF's page.
#include "varnholt/scene_render.h"

#include <cairo.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using varnholt::Camera;
using varnholt::Scene;
using varnholt::ShapeKind;
using varnholt::Vec3;

namespace {

constexpr int kWidth = 400, kHeight = 300;
constexpr unsigned kWhite = 0xffffff;

void Add(Scene& scene, ShapeKind kind, int workingstep, std::vector<Vec3> points, bool closed = false) {
  varnholt::ScenePath path;
  path.kind = kind;
  path.workingstep = workingstep;
  path.points = std::move(points);
  path.closed = closed;
  scene.paths.push_back(std::move(path));
}

// Seen from the top at 2 pixels per unit: world (x, y) is at (100.5 + 2x, 250.5 - 2y), so a
// whole x or y falls on the middle of a pixel and a line of width 1 covers its pixels fully.
Camera TopCamera() {
  Camera camera;
  camera.pitch = 1.5707963267948966;
  camera.scale = 2;
  camera.offsetX = 100.5;
  camera.offsetY = 250.5;
  return camera;
}

// A block, a feature, a security plane round both and four toolpaths: one across the block, one
// across its lower edge (drawn after the workpiece), one from ten million units away (beyond what
// cairo's fixed-point coordinates hold), and one that leaves the picture and comes back.
Scene Drawing() {
  Scene scene;
  scene.hasProject = true;
  scene.lengthUnit = "mm";
  Add(scene, ShapeKind::Toolpath, 0, {{10, 50, 0}, {90, 50, 0}});
  Add(scene, ShapeKind::Toolpath, 1, {{70, -10, 0}, {70, 110, 0}});
  Add(scene, ShapeKind::Toolpath, 2, {{-1e7, 80, 0}, {90, 80, 0}});
  Add(scene, ShapeKind::Toolpath, 3, {{30, 60, 0}, {45, 1e6, 0}, {60, 60, 0}});
  Add(scene, ShapeKind::Workpiece, -1, {{0, 0, 0}, {100, 0, 0}, {100, 100, 0}, {0, 100, 0}}, true);
  Add(scene, ShapeKind::Feature, 0, {{20, 20, 0}, {80, 20, 0}});
  Add(scene, ShapeKind::SecurityPlane, 0, {{-10, -10, 0}, {110, -10, 0}, {110, 110, 0}, {-10, 110, 0}}, true);
  return scene;
}

unsigned OverWhite(unsigned colour, double alpha) {
  unsigned out = 0;
  for (int shift : {16, 8, 0}) {
    const double c = (colour >> shift) & 0xff;
    out |= static_cast<unsigned>(std::lround(255 + (c - 255) * alpha)) << shift;
  }
  return out;
}

struct Sample {
  const char* what;
  int x, y;
  unsigned colour;
  bool decoration;  // drawn by the picture, not by the strokes alone
};

std::vector<Sample> Samples() {
  return {
      {"a toolpath", 200, 150, varnholt::WorkingstepColour(0), false},
      {"a toolpath over the workpiece's edge", 240, 250, varnholt::WorkingstepColour(1), false},
      {"a toolpath from far away", 200, 90, varnholt::WorkingstepColour(2), false},
      {"a toolpath on its way out", 160, 100, varnholt::WorkingstepColour(3), false},
      {"nothing between where a path left and came back", 190, 130, kWhite, false},
      {"nothing on a line joining where it left and came back", 190, 63, kWhite, false},
      {"the feature", 200, 210, 0x303030, false},
      {"the workpiece's closing edge", 100, 150, 0x8a8a8a, false},
      {"the security plane, faint", 200, 30, OverWhite(0x6a8caf, 0.3), false},
      {"nothing", 180, 180, kWhite, false},
      {"the x axis", 70, 250, 0xd62728, true},
      {"the y axis", 50, 230, 0x2ca02c, true},
      {"the scale bar", 330, 276, 0x000000, true},
  };
}

unsigned Rgb(uint32_t argb) { return argb & 0xffffff; }

void ExpectColour(unsigned got, unsigned want, const std::string& where) {
  for (int shift : {16, 8, 0})
    EXPECT_NEAR(static_cast<int>((got >> shift) & 0xff), static_cast<int>((want >> shift) & 0xff), 8)
        << where << std::hex << ": got " << got << ", want " << want;
}

struct PngReader {
  const std::string& bytes;
  size_t at = 0;
  static cairo_status_t Read(void* closure, unsigned char* data, unsigned int length) {
    auto* reader = static_cast<PngReader*>(closure);
    if (reader->at + length > reader->bytes.size()) return CAIRO_STATUS_READ_ERROR;
    reader->bytes.copy(reinterpret_cast<char*>(data), length, reader->at);
    reader->at += length;
    return CAIRO_STATUS_SUCCESS;
  }
};

uint32_t Big32(const std::string& bytes, size_t at) {
  return uint32_t(uint8_t(bytes[at])) << 24 | uint32_t(uint8_t(bytes[at + 1])) << 16 |
         uint32_t(uint8_t(bytes[at + 2])) << 8 | uint8_t(bytes[at + 3]);
}

}  // namespace

TEST(ScenePicture, PngIsACompressedRgbPngWithEachLineWhereItBelongs) {
  const varnholt::PictureFile png = varnholt::RenderPng(Drawing(), TopCamera(), kWidth, kHeight);
  ASSERT_EQ(png.error, "");
  ASSERT_GT(png.bytes.size(), 33u);
  EXPECT_EQ(png.bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  EXPECT_EQ(png.bytes.substr(12, 4), "IHDR");
  EXPECT_EQ(Big32(png.bytes, 16), unsigned(kWidth));
  EXPECT_EQ(Big32(png.bytes, 20), unsigned(kHeight));
  EXPECT_EQ(png.bytes[24], 8);  // bits per channel
  EXPECT_EQ(png.bytes[25], 2);  // RGB
  EXPECT_LT(png.bytes.size(), size_t(kWidth) * kHeight * 3 / 20);  // mostly white: compresses well

  PngReader reader{png.bytes};
  cairo_surface_t* image = cairo_image_surface_create_from_png_stream(PngReader::Read, &reader);
  ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
  ASSERT_EQ(cairo_image_surface_get_width(image), kWidth);
  ASSERT_EQ(cairo_image_surface_get_height(image), kHeight);
  const unsigned char* data = cairo_image_surface_get_data(image);
  const int stride = cairo_image_surface_get_stride(image);
  auto pixel = [&](int x, int y) { return Rgb(reinterpret_cast<const uint32_t*>(data + y * stride)[x]); };
  for (const Sample& sample : Samples()) ExpectColour(pixel(sample.x, sample.y), sample.colour, sample.what);
  // The scale bar's label, "50 mm", above its middle.
  int inked = 0;
  for (int y = 255; y < 270; ++y)
    for (int x = 305; x < 355; ++x) inked += pixel(x, y) != kWhite;
  EXPECT_GT(inked, 20);
  cairo_surface_destroy(image);
}

// The 3D view's way: the strokes alone, into pixels the caller owns and has filled; at a device
// pixel ratio of 2 everything lands at twice the coordinates.
TEST(ScenePicture, StrokesLandInTheCallersPixelsAtItsRatio) {
  const Scene scene = Drawing();
  for (int ratio : {1, 2}) {
    const int width = kWidth * ratio, height = kHeight * ratio;
    std::vector<uint32_t> pixels(size_t(width) * height, 0xffffffff);
    const varnholt::Pixels target{reinterpret_cast<unsigned char*>(pixels.data()), width, height, width * 4,
                                  double(ratio)};
    EXPECT_GE(varnholt::DrawStrokes(target, TopCamera(), varnholt::PictureStrokes(scene)), 9u);
    for (const Sample& sample : Samples()) {
      const unsigned want = sample.decoration ? kWhite : sample.colour;
      const uint32_t got = pixels[size_t(sample.y * ratio) * width + size_t(sample.x * ratio)];
      EXPECT_EQ(got >> 24, 0xffu) << sample.what;
      ExpectColour(Rgb(got), want, std::string(sample.what) + " at ratio " + std::to_string(ratio));
    }
  }
  // A stride cairo cannot take draws nothing and says so.
  std::vector<uint32_t> pixels(size_t(kWidth) * kHeight, 0xffffffff);
  EXPECT_EQ(varnholt::DrawStrokes({reinterpret_cast<unsigned char*>(pixels.data()), kWidth, kHeight, 3, 1},
                                  TopCamera(), varnholt::PictureStrokes(scene)),
            0u);
}

// One <path> per scene path, far kinds first, in its colour; then the three axes and the bar's
// line and two ends.
TEST(ScenePicture, SvgHoldsOnePathPerScenePathInDrawingOrder) {
  const Scene scene = Drawing();
  const varnholt::PictureFile svg = varnholt::RenderSvg(scene, TopCamera(), kWidth, kHeight);
  ASSERT_EQ(svg.error, "");
  EXPECT_NE(svg.bytes.find("width=\"400\" height=\"300\" viewBox=\"0 0 400 300\""), std::string::npos);
  struct Element {
    unsigned colour;
    double opacity;
    std::string d;
  };
  std::vector<Element> paths;
  const std::string start = "<path style=\"fill:none;";
  for (size_t at = svg.bytes.find(start); at != std::string::npos; at = svg.bytes.find(start, at + 1)) {
    const size_t end = svg.bytes.find("/>", at);
    const std::string element = svg.bytes.substr(at, end - at);
    Element e{0, 1, ""};
    const size_t rgb = element.find("stroke:rgb(");
    if (rgb != std::string::npos) {
      const char* p = element.c_str() + rgb + 11;
      for (int shift : {16, 8, 0}) {
        char* next = nullptr;
        e.colour |= static_cast<unsigned>(std::lround(std::strtod(p, &next) * 2.55)) << shift;
        p = next + 2;  // past "%,"
      }
    }
    if (const size_t o = element.find("stroke-opacity:"); o != std::string::npos)
      e.opacity = std::strtod(element.c_str() + o + 15, nullptr);
    const size_t d = element.find("d=\"");
    if (d != std::string::npos) e.d = element.substr(d + 3, element.find('"', d + 3) - d - 3);
    paths.push_back(e);
  }
  ASSERT_EQ(paths.size(), scene.paths.size() + 6);
  const struct {
    unsigned colour;
    double opacity;
    const char* d;  // "" when not compared
  } want[] = {
      {0x6a8caf, 0.3, ""},
      {0x8a8a8a, 1, "M 100.5 250.5 L 300.5 250.5 L 300.5 50.5 L 100.5 50.5 Z M 100.5 250.5 "},
      {0x303030, 1, "M 140.5 210.5 L 260.5 210.5 "},
      {varnholt::WorkingstepColour(0), 1, "M 120.5 150.5 L 280.5 150.5 "},
      {varnholt::WorkingstepColour(1), 1, ""},
      {varnholt::WorkingstepColour(2), 1, "M -4 90.5 L 280.5 90.5 "},
      {varnholt::WorkingstepColour(3), 1, ""},
      {0xd62728, 1, ""},
      {0x2ca02c, 1, ""},
      {0x1f77b4, 1, ""},
      {0, 1, "M 280 276 L 380 276 "},
      {0, 1, ""},
      {0, 1, ""},
  };
  for (size_t i = 0; i < paths.size(); ++i) {
    EXPECT_EQ(paths[i].colour, want[i].colour) << i;
    EXPECT_NEAR(paths[i].opacity, want[i].opacity, 1e-6) << i;
    if (*want[i].d) {
      EXPECT_EQ(paths[i].d, want[i].d) << i;
    }
  }
  // The path that leaves the picture and comes back: two pieces, each cut at the edge.
  EXPECT_EQ(std::count(paths[6].d.begin(), paths[6].d.end(), 'M'), 2) << paths[6].d;
}

TEST(ScenePicture, ScaleBarLabels) {
  const struct {
    double scale, pixels;
    const char* unit;
    const char* label;
  } rows[] = {
      {2, 100, "mm", "50 mm"},     {2, 99, "mm", "20 mm"},        {0.5, 300, "", "500"},
      {40, 100, "in", "2 in"},     {1e4, 100, "mm", "0.01 mm"},   {0, 100, "mm", "1 mm"},
      {NAN, 100, "mm", "1 mm"},    {3e-7, 240, "mm", "5e+08 mm"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(varnholt::ScaleBarText(varnholt::ScaleBarLength(row.scale, row.pixels), row.unit), row.label)
        << row.scale << " " << row.pixels;
}

namespace {

// The page's content stream, inflated.
std::string PageContent(const std::string& pdf) {
  std::string content;
  for (size_t at = pdf.find("stream\n"); at != std::string::npos; at = pdf.find("stream\n", at + 1)) {
    if (at >= 3 && pdf.compare(at - 3, 3, "end") == 0) continue;
    const size_t begin = at + 7, end = pdf.find("endstream", begin);
    std::string out(1 << 20, '\0');
    uLongf size = out.size();
    if (uncompress(reinterpret_cast<Bytef*>(&out[0]), &size, reinterpret_cast<const Bytef*>(pdf.data() + begin),
                   end - begin) != Z_OK)
      continue;
    out.resize(size);
    if (out.find(" RG") != std::string::npos) content += out;
  }
  return content;
}

}  // namespace

// One A4 landscape page with the view on it, named after the file even when the name's bytes
// are not UTF-8, and made again byte for byte at the time SOURCE_DATE_EPOCH names.
TEST(ScenePicture, SheetIsOneA4PageWithTheViewAndTheFileName) {
  const Scene scene = Drawing();
  const struct {
    std::string name, title;
  } rows[] = {
      {"bracket.stp", "(bracket.stp)"},
      {"br\xff" "cket.stp", "(br?cket.stp)"},
      {"", "()"},
      {std::string(300, 'w') + ".stp", "(" + std::string(300, 'w') + ".stp)"},
  };
  setenv("SOURCE_DATE_EPOCH", "1060822333", 1);
  for (const auto& row : rows) {
    const varnholt::PictureFile pdf = varnholt::RenderSheet(scene, varnholt::ViewDirection::Top, row.name);
    ASSERT_EQ(pdf.error, "") << row.title;
    EXPECT_EQ(pdf.bytes.rfind("%PDF-", 0), 0u) << row.title;
    size_t pages = 0;
    for (size_t at = pdf.bytes.find("/Type /Page "); at != std::string::npos; at = pdf.bytes.find("/Type /Page ", at + 1))
      ++pages;
    EXPECT_EQ(pages, 1u) << row.title;
    EXPECT_NE(pdf.bytes.find("/MediaBox [ 0 0 841.89 595.28 ]"), std::string::npos) << row.title;
    EXPECT_NE(pdf.bytes.find("/Title " + row.title), std::string::npos) << row.title;
    // cairo 1.16 writes the date without its "D:", which readers take as well.
    EXPECT_NE(pdf.bytes.find("20030814005213Z)", pdf.bytes.find("/CreationDate (")), std::string::npos) << row.title;
    EXPECT_EQ(varnholt::RenderSheet(scene, varnholt::ViewDirection::Top, row.name).bytes, pdf.bytes) << row.title;
  }
  unsetenv("SOURCE_DATE_EPOCH");
  // The view is drawn on it: the toolpaths' colours and the axes' red are stroked.
  const std::string content = PageContent(varnholt::RenderSheet(scene, varnholt::ViewDirection::Iso, "b.stp").bytes);
  for (unsigned colour : {varnholt::WorkingstepColour(0), varnholt::WorkingstepColour(3), 0xd62728u}) {
    char op[64];
    std::snprintf(op, sizeof op, "%g %g %g RG", ((colour >> 16) & 0xff) / 255.0, ((colour >> 8) & 0xff) / 255.0,
                  (colour & 0xff) / 255.0);
    EXPECT_NE(content.find(op), std::string::npos) << op;
  }
}
