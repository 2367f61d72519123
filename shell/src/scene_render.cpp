// SVG and PNG pictures of a scene. The PNG path needs no library: Wu's antialiased lines on an
// RGB buffer, a 5x7 bitmap font for the scale bar, and a PNG writer with stored deflate blocks.
#include "varnholt/scene_render.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace varnholt {
namespace {

// ---- shared layout ----

// Where the axes and the scale bar go, and what they show.
struct Decorations {
  Point2 axesOrigin;
  Point2 axisEnd[3];
  Point2 barStart, barEnd;
  std::string barText;
};

Decorations Layout(const Camera& camera, const std::string& unit, int width, int height) {
  Decorations d;
  d.axesOrigin = {50, height - 50.0};
  const Point2 zero = camera.Project({0, 0, 0});
  const Vec3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  const double scale = camera.scale > 0 && std::isfinite(camera.scale) ? camera.scale : 1;
  for (int i = 0; i < 3; ++i) {
    const Point2 p = camera.Project(axes[i]);
    // The camera's scale divided out: the axis's direction and foreshortening on the screen.
    const double dx = (p.x - zero.x) / scale, dy = (p.y - zero.y) / scale;
    d.axisEnd[i] = {d.axesOrigin.x + 40 * (std::isfinite(dx) ? dx : 0),
                    d.axesOrigin.y + 40 * (std::isfinite(dy) ? dy : 0)};
  }
  const double length = ScaleBarLength(scale, std::max(width / 4.0, 20.0));
  const double pixels = length * scale;
  d.barEnd = {width - 20.0, height - 24.0};
  d.barStart = {d.barEnd.x - pixels, d.barEnd.y};
  char text[64];
  auto result = std::to_chars(text, text + sizeof text, length);
  d.barText.assign(text, result.ec == std::errc() ? result.ptr : text);
  if (!unit.empty()) d.barText += " " + unit;
  return d;
}

void AppendNumber(std::string& out, double v) {
  char text[64];
  if (!std::isfinite(v)) v = 0;
  v = std::clamp(v, -1e9, 1e9);  // far outside the picture either way
  auto result = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, 2);
  out.append(text, result.ptr);
}

void AppendColour(std::string& out, unsigned colour) {
  static const char kHex[] = "0123456789abcdef";
  out += '#';
  for (int shift = 20; shift >= 0; shift -= 4) out += kHex[(colour >> shift) & 0xf];
}

// Far kinds first, so that toolpaths stay on top of what they machine.
int DrawOrder(ShapeKind kind) {
  switch (kind) {
    case ShapeKind::SecurityPlane: return 0;
    case ShapeKind::Workpiece: return 1;
    case ShapeKind::Feature: return 2;
    case ShapeKind::Marker: return 3;
    case ShapeKind::Toolpath: return 4;
  }
  return 5;
}

std::vector<const ScenePath*> InDrawOrder(const Scene& scene) {
  std::vector<const ScenePath*> order;
  order.reserve(scene.paths.size());
  for (const ScenePath& path : scene.paths) order.push_back(&path);
  std::stable_sort(order.begin(), order.end(), [](const ScenePath* a, const ScenePath* b) {
    return DrawOrder(a->kind) < DrawOrder(b->kind);
  });
  return order;
}

// ---- raster ----

class Canvas {
 public:
  explicit Canvas(Picture& picture) : p_(picture) {}

  void Blend(int x, int y, unsigned colour, double alpha) {
    if (x < 0 || y < 0 || x >= p_.width || y >= p_.height || !(alpha > 0)) return;
    alpha = std::min(alpha, 1.0);
    uint8_t* px = &p_.rgb[(static_cast<size_t>(y) * p_.width + x) * 3];
    const unsigned channel[3] = {(colour >> 16) & 0xff, (colour >> 8) & 0xff, colour & 0xff};
    for (int i = 0; i < 3; ++i)
      px[i] = static_cast<uint8_t>(std::lround(px[i] + (static_cast<double>(channel[i]) - px[i]) * alpha));
  }

  // Wu's antialiased line, after clipping to the picture (with a pixel to spare).
  void Line(Point2 a, Point2 b, unsigned colour, double alpha) {
    if (!Clip(a, b)) return;
    const bool steep = std::fabs(b.y - a.y) > std::fabs(b.x - a.x);
    if (steep) std::swap(a.x, a.y), std::swap(b.x, b.y);
    if (a.x > b.x) std::swap(a, b);
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double gradient = dx < 1e-12 ? 1 : dy / dx;
    auto plot = [&](int x, int y, double c) {
      if (steep) Blend(y, x, colour, c * alpha);
      else Blend(x, y, colour, c * alpha);
    };
    auto frac = [](double v) { return v - std::floor(v); };
    // The two end pixels get the share of the line that covers them.
    const double xEnd0 = std::round(a.x), yEnd0 = a.y + gradient * (xEnd0 - a.x);
    const double gap0 = 1 - frac(a.x + 0.5);
    const int x0 = static_cast<int>(xEnd0);
    plot(x0, static_cast<int>(std::floor(yEnd0)), (1 - frac(yEnd0)) * gap0);
    plot(x0, static_cast<int>(std::floor(yEnd0)) + 1, frac(yEnd0) * gap0);
    const double xEnd1 = std::round(b.x), yEnd1 = b.y + gradient * (xEnd1 - b.x);
    const double gap1 = frac(b.x + 0.5);
    const int x1 = static_cast<int>(xEnd1);
    plot(x1, static_cast<int>(std::floor(yEnd1)), (1 - frac(yEnd1)) * gap1);
    plot(x1, static_cast<int>(std::floor(yEnd1)) + 1, frac(yEnd1) * gap1);
    double y = yEnd0 + gradient;
    for (int x = x0 + 1; x < x1; ++x, y += gradient) {
      plot(x, static_cast<int>(std::floor(y)), 1 - frac(y));
      plot(x, static_cast<int>(std::floor(y)) + 1, frac(y));
    }
  }

  // 5x7 glyphs, each row five bits (the highest bit leftmost), drawn `size` pixels per dot.
  void Text(const std::string& text, double x, double y, unsigned colour, int size) {
    for (char c : text) {
      if (const uint8_t* rows = Glyph(c))
        for (int row = 0; row < 7; ++row)
          for (int col = 0; col < 5; ++col)
            if (rows[row] & (0x10 >> col))
              for (int i = 0; i < size; ++i)
                for (int j = 0; j < size; ++j)
                  Blend(static_cast<int>(x) + col * size + i, static_cast<int>(y) + row * size + j, colour, 1);
      x += 6 * size;
    }
  }

  static int TextWidth(const std::string& text, int size) { return static_cast<int>(text.size()) * 6 * size; }

 private:
  static const uint8_t* Glyph(char c) {
    static const struct {
      char c;
      uint8_t rows[7];
    } kFont[] = {
        {'0', {0x0e, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0e}}, {'1', {0x04, 0x0c, 0x04, 0x04, 0x04, 0x04, 0x0e}},
        {'2', {0x0e, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1f}}, {'3', {0x1f, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0e}},
        {'4', {0x02, 0x06, 0x0a, 0x12, 0x1f, 0x02, 0x02}}, {'5', {0x1f, 0x10, 0x1e, 0x01, 0x01, 0x11, 0x0e}},
        {'6', {0x06, 0x08, 0x10, 0x1e, 0x11, 0x11, 0x0e}}, {'7', {0x1f, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
        {'8', {0x0e, 0x11, 0x11, 0x0e, 0x11, 0x11, 0x0e}}, {'9', {0x0e, 0x11, 0x11, 0x0f, 0x01, 0x02, 0x0c}},
        {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0c, 0x0c}}, {'-', {0x00, 0x00, 0x00, 0x1f, 0x00, 0x00, 0x00}},
        {'e', {0x00, 0x00, 0x0e, 0x11, 0x1f, 0x10, 0x0e}}, {'m', {0x00, 0x00, 0x1a, 0x15, 0x15, 0x11, 0x11}},
        {'c', {0x00, 0x00, 0x0e, 0x10, 0x10, 0x11, 0x0e}}, {'i', {0x04, 0x00, 0x0c, 0x04, 0x04, 0x04, 0x0e}},
        {'n', {0x00, 0x00, 0x16, 0x19, 0x11, 0x11, 0x11}}, {'h', {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x11}},
        {'f', {0x06, 0x09, 0x08, 0x1c, 0x08, 0x08, 0x08}}, {'t', {0x08, 0x08, 0x1c, 0x08, 0x08, 0x09, 0x06}},
        {'x', {0x00, 0x00, 0x11, 0x0a, 0x04, 0x0a, 0x11}}, {'y', {0x00, 0x00, 0x11, 0x11, 0x0f, 0x01, 0x0e}},
        {'z', {0x00, 0x00, 0x1f, 0x02, 0x04, 0x08, 0x1f}},
    };
    for (const auto& g : kFont)
      if (g.c == c) return g.rows;
    return nullptr;  // blank: a space, or a letter the font lacks
  }

  // Liang-Barsky against the picture grown by two pixels; false when nothing is left.
  bool Clip(Point2& a, Point2& b) const {
    if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) || !std::isfinite(b.y)) return false;
    const double lo[2] = {-2, -2}, hi[2] = {p_.width + 2.0, p_.height + 2.0};
    double t0 = 0, t1 = 1;
    const double d[2] = {b.x - a.x, b.y - a.y}, s[2] = {a.x, a.y};
    for (int axis = 0; axis < 2; ++axis) {
      for (int side = 0; side < 2; ++side) {
        const double p = side == 0 ? -d[axis] : d[axis];
        const double q = side == 0 ? s[axis] - lo[axis] : hi[axis] - s[axis];
        if (p == 0) {
          if (q < 0) return false;
          continue;
        }
        const double t = q / p;
        if (p < 0) t0 = std::max(t0, t);
        else t1 = std::min(t1, t);
        if (t0 > t1) return false;
      }
    }
    const Point2 start{a.x + t0 * d[0], a.y + t0 * d[1]};
    b = {a.x + t1 * d[0], a.y + t1 * d[1]};
    a = start;
    return true;
  }

  Picture& p_;
};

// ---- PNG ----

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
  static uint32_t table[256];
  static const bool filled = [] {
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320u ^ (c >> 1) : c >> 1;
      table[n] = c;
    }
    return true;
  }();
  (void)filled;
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xff] ^ (crc >> 8);
  return ~crc;
}

void Put32(std::string& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xff);
}

void Chunk(std::string& out, const char* type, const std::string& data) {
  Put32(out, static_cast<uint32_t>(data.size()));
  const size_t start = out.size();
  out.append(type, 4);
  out += data;
  Put32(out, Crc32(reinterpret_cast<const uint8_t*>(out.data() + start), out.size() - start));
}

}  // namespace

unsigned PathColour(const ScenePath& path) {
  switch (path.kind) {
    case ShapeKind::Toolpath: return WorkingstepColour(path.workingstep);
    case ShapeKind::Workpiece: return 0x8a8a8a;
    case ShapeKind::SecurityPlane: return 0x6a8caf;
    case ShapeKind::Feature:
    case ShapeKind::Marker: return 0x303030;
  }
  return 0x303030;
}

double PathOpacity(const ScenePath& path) { return path.kind == ShapeKind::SecurityPlane ? 0.3 : 1.0; }

double ScaleBarLength(double scale, double maxPixels) {
  if (!(scale > 0) || !std::isfinite(scale) || !(maxPixels > 0)) return 1;
  const double most = maxPixels / scale;
  double power = std::pow(10.0, std::floor(std::log10(most)));
  if (!(power > 0) || !std::isfinite(power)) return 1;
  for (double step : {5.0, 2.0, 1.0})
    if (step * power <= most) return step * power;
  return power;
}

std::string RenderSvg(const Scene& scene, const Camera& camera, int width, int height) {
  std::string out;
  out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
         std::to_string(width) + "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " +
         std::to_string(width) + " " + std::to_string(height) + "\">\n";
  out += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  out += "<g fill=\"none\" stroke-linejoin=\"round\" stroke-linecap=\"round\">\n";
  const ScreenMap map(camera);
  for (const ScenePath* path : InDrawOrder(scene)) {
    if (path->points.empty()) continue;
    out += "<path d=\"";
    for (size_t i = 0; i < path->points.size(); ++i) {
      const Point2 p = map(path->points[i]);
      out += i == 0 ? "M" : " L";
      AppendNumber(out, p.x);
      out += ' ';
      AppendNumber(out, p.y);
    }
    if (path->closed) out += " Z";
    out += "\" stroke=\"";
    AppendColour(out, PathColour(*path));
    out += path->kind == ShapeKind::Toolpath ? "\" stroke-width=\"1.2\"" : "\" stroke-width=\"1\"";
    if (PathOpacity(*path) < 1) out += " stroke-opacity=\"0.3\"";
    out += "/>\n";
  }
  out += "</g>\n";
  const Decorations d = Layout(camera, scene.lengthUnit, width, height);
  static const char* const kAxisColour[3] = {"#d62728", "#2ca02c", "#1f77b4"};
  static const char* const kAxisName[3] = {"x", "y", "z"};
  for (int i = 0; i < 3; ++i) {
    out += "<line x1=\"";
    AppendNumber(out, d.axesOrigin.x);
    out += "\" y1=\"";
    AppendNumber(out, d.axesOrigin.y);
    out += "\" x2=\"";
    AppendNumber(out, d.axisEnd[i].x);
    out += "\" y2=\"";
    AppendNumber(out, d.axisEnd[i].y);
    out += std::string("\" stroke=\"") + kAxisColour[i] + "\" stroke-width=\"2\"/>\n<text x=\"";
    AppendNumber(out, d.axisEnd[i].x + (d.axisEnd[i].x - d.axesOrigin.x) * 0.25);
    out += "\" y=\"";
    AppendNumber(out, d.axisEnd[i].y + (d.axisEnd[i].y - d.axesOrigin.y) * 0.25 + 4);
    out += std::string("\" font-family=\"sans-serif\" font-size=\"11\" text-anchor=\"middle\" fill=\"") +
           kAxisColour[i] + "\">" + kAxisName[i] + "</text>\n";
  }
  out += "<line x1=\"";
  AppendNumber(out, d.barStart.x);
  out += "\" y1=\"";
  AppendNumber(out, d.barStart.y);
  out += "\" x2=\"";
  AppendNumber(out, d.barEnd.x);
  out += "\" y2=\"";
  AppendNumber(out, d.barEnd.y);
  out += "\" stroke=\"#000000\" stroke-width=\"2\"/>\n<text x=\"";
  AppendNumber(out, (d.barStart.x + d.barEnd.x) / 2);
  out += "\" y=\"";
  AppendNumber(out, d.barStart.y - 6);
  out += "\" font-family=\"sans-serif\" font-size=\"12\" text-anchor=\"middle\" fill=\"#000000\">" +
         d.barText + "</text>\n</svg>\n";
  return out;
}

Picture RenderPicture(const Scene& scene, const Camera& camera, int width, int height) {
  Picture picture;
  picture.width = std::clamp(width, 1, kMaxPictureSide);
  picture.height = std::clamp(height, 1, kMaxPictureSide);
  picture.rgb.assign(static_cast<size_t>(picture.width) * picture.height * 3, 0xff);
  Canvas canvas(picture);
  const ScreenMap map(camera);
  for (const ScenePath* path : InDrawOrder(scene)) {
    const unsigned colour = PathColour(*path);
    const double alpha = PathOpacity(*path);
    const size_t n = path->points.size();
    if (n == 0) continue;
    Point2 previous = map(path->points[0]);
    const Point2 first = previous;
    for (size_t i = 1; i < n; ++i) {
      const Point2 next = map(path->points[i]);
      canvas.Line(previous, next, colour, alpha);
      previous = next;
    }
    if (path->closed && n > 2) canvas.Line(previous, first, colour, alpha);
  }
  const Decorations d = Layout(camera, scene.lengthUnit, picture.width, picture.height);
  static const unsigned kAxisColour[3] = {0xd62728, 0x2ca02c, 0x1f77b4};
  static const char* const kAxisName[3] = {"x", "y", "z"};
  for (int i = 0; i < 3; ++i) {
    for (double offset : {-0.5, 0.5})  // two pixels wide
      canvas.Line({d.axesOrigin.x + offset, d.axesOrigin.y}, {d.axisEnd[i].x + offset, d.axisEnd[i].y},
                  kAxisColour[i], 1);
    const double lx = d.axisEnd[i].x + (d.axisEnd[i].x - d.axesOrigin.x) * 0.3 - 5;
    const double ly = d.axisEnd[i].y + (d.axisEnd[i].y - d.axesOrigin.y) * 0.3 - 7;
    canvas.Text(kAxisName[i], lx, ly, kAxisColour[i], 2);
  }
  for (double offset : {-0.5, 0.5})
    canvas.Line({d.barStart.x, d.barStart.y + offset}, {d.barEnd.x, d.barEnd.y + offset}, 0x000000, 1);
  canvas.Line({d.barStart.x, d.barStart.y - 4}, {d.barStart.x, d.barStart.y + 4}, 0x000000, 1);
  canvas.Line({d.barEnd.x, d.barEnd.y - 4}, {d.barEnd.x, d.barEnd.y + 4}, 0x000000, 1);
  const int textWidth = Canvas::TextWidth(d.barText, 2);
  canvas.Text(d.barText, (d.barStart.x + d.barEnd.x - textWidth) / 2, d.barStart.y - 20, 0x000000, 2);
  return picture;
}

std::string EncodePng(const Picture& picture) {
  std::string out("\x89PNG\r\n\x1a\n", 8);
  std::string header;
  Put32(header, static_cast<uint32_t>(picture.width));
  Put32(header, static_cast<uint32_t>(picture.height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace
  Chunk(out, "IHDR", header);

  // A zlib stream of stored blocks: each row behind its filter byte 0 (none).
  const size_t row = static_cast<size_t>(picture.width) * 3;
  std::string raw;
  raw.reserve((row + 1) * picture.height);
  for (int y = 0; y < picture.height; ++y) {
    raw += '\0';
    raw.append(reinterpret_cast<const char*>(picture.rgb.data() + y * row), row);
  }
  std::string z("\x78\x01", 2);
  z.reserve(raw.size() + raw.size() / 65535 * 5 + 16);
  size_t at = 0;
  do {
    const size_t n = std::min<size_t>(65535, raw.size() - at);
    const bool last = at + n == raw.size();
    z += static_cast<char>(last ? 1 : 0);
    z += static_cast<char>(n & 0xff);
    z += static_cast<char>(n >> 8);
    z += static_cast<char>(~n & 0xff);
    z += static_cast<char>((~n >> 8) & 0xff);
    z.append(raw, at, n);
    at += n;
  } while (at < raw.size());
  uint32_t a = 1, b = 0;
  for (size_t i = 0; i < raw.size(); ++i) {
    a = (a + static_cast<uint8_t>(raw[i])) % 65521;
    b = (b + a) % 65521;
  }
  Put32(z, (b << 16) | a);
  Chunk(out, "IDAT", z);
  Chunk(out, "IEND", "");
  return out;
}

}  // namespace varnholt
