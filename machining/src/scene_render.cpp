// Pictures of a scene through cairo. One drawing routine serves every target: an image surface
// for PNG and for the 3D view's pixels, the SVG and PDF surfaces for the vector files.
#include "varnholt/scene_render.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <memory>

namespace varnholt {
namespace {

struct SurfaceDeleter {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDeleter {
  void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using Context = std::unique_ptr<cairo_t, ContextDeleter>;

// cairo's stream callback: the file's bytes collect in a string until the picture is complete.
cairo_status_t Append(void* closure, const unsigned char* data, unsigned int length) {
  try {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
  } catch (...) {  // nothing may be thrown through cairo's C frames
    return CAIRO_STATUS_WRITE_ERROR;
  }
}

// cairo refuses text that is not UTF-8 and then refuses to draw anything more on that context;
// a file name may hold any bytes. Each byte outside a well-formed sequence becomes '?'.
std::string Utf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  for (size_t i = 0; i < n;) {
    const unsigned c = s[i];
    size_t length = c < 0x80 ? 1 : c >= 0xc2 && c <= 0xdf ? 2 : c >= 0xe0 && c <= 0xef ? 3 : c >= 0xf0 && c <= 0xf4 ? 4 : 0;
    if (length > 1) {
      if (i + length > n) {
        length = 0;
      } else {
        // The second byte's range rules out overlong forms, surrogates and values past U+10FFFF.
        const unsigned lo = c == 0xe0 ? 0xa0 : c == 0xf0 ? 0x90 : 0x80;
        const unsigned hi = c == 0xed ? 0x9f : c == 0xf4 ? 0x8f : 0xbf;
        if (s[i + 1] < lo || s[i + 1] > hi) length = 0;
        for (size_t k = 2; k < length; ++k)
          if (s[i + k] < 0x80 || s[i + k] > 0xbf) length = 0;
      }
    }
    if (length == 0) {
      out += '?';
      ++i;
    } else {
      out.append(text, i, length);
      i += length;
    }
  }
  return out;
}

std::string Failure(cairo_status_t status) { return std::string("cairo: ") + cairo_status_to_string(status); }

// ---- layout ----

struct Box {
  double x0, y0, x1, y1;
};

// Where the axes and the scale bar go within the area, and what they show.
struct Decorations {
  Point2 axesOrigin;
  Point2 axisEnd[3];
  Point2 barStart, barEnd;
  std::string barText;
};

Decorations Layout(const Camera& camera, const std::string& unit, const Box& area) {
  Decorations d;
  const double width = area.x1 - area.x0;
  d.axesOrigin = {area.x0 + 50, area.y1 - 50};
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
  d.barEnd = {area.x1 - 20, area.y1 - 24};
  d.barStart = {d.barEnd.x - length * scale, d.barEnd.y};
  d.barText = ScaleBarText(length, unit);
  return d;
}

// ---- drawing ----

// Liang-Barsky against the box. False when nothing is left; otherwise whether either end was cut.
// Besides saving work, this keeps every coordinate cairo sees small: it holds them in 24.8 fixed
// point, and a zoomed-in view or a far-off point would wrap round.
bool Clip(Point2& a, Point2& b, const Box& box, bool& cut) {
  if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) || !std::isfinite(b.y)) return false;
  const double lo[2] = {box.x0, box.y0}, hi[2] = {box.x1, box.y1};
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
  cut = t0 > 0 || t1 < 1;
  const Point2 start{a.x + t0 * d[0], a.y + t0 * d[1]};
  b = {a.x + t1 * d[0], a.y + t1 * d[1]};
  a = start;
  return true;
}

// Adds the path's visible segments to cairo's current path; returns how many. With minStep > 0,
// a point nearer than that (on both axes) to the point kept before it is passed over, but for
// the last: a dense toolpath has millions of points on a few thousand pixels.
size_t AddPath(cairo_t* cr, const ScreenMap& map, const ScenePath& path, const Box& box, double minStep) {
  const std::vector<Vec3>& points = path.points;
  const size_t n = points.size();
  if (n == 0) return 0;
  const Point2 first = map(points[0]);
  Point2 last = first;
  size_t segments = 0;
  bool open = false;  // a subpath is open and ends at `last`
  bool whole = true;  // one subpath so far, nothing cut: cairo may close it with a join
  auto segment = [&](Point2 a, Point2 b) {
    bool cut = false;
    if (!Clip(a, b, box, cut)) {
      open = whole = false;
      return;
    }
    if (!open) {
      if (segments > 0) whole = false;
      cairo_move_to(cr, a.x, a.y);
    }
    cairo_line_to(cr, b.x, b.y);
    ++segments;
    open = !cut;
    if (cut) whole = false;
  };
  for (size_t i = 1; i < n; ++i) {
    const Point2 p = map(points[i]);
    if (minStep > 0 && i + 1 < n && std::fabs(p.x - last.x) < minStep && std::fabs(p.y - last.y) < minStep) continue;
    segment(last, p);
    last = p;
  }
  if (path.closed && n > 2) {
    if (whole && open) {
      cairo_close_path(cr);
      ++segments;
    } else {
      segment(last, first);
    }
  }
  if (n == 1) {
    // A single point: a dot, which the round cap makes of a segment without length.
    Point2 a = first, b = first;
    bool cut = false;
    if (Clip(a, b, box, cut)) {
      cairo_move_to(cr, a.x, a.y);
      cairo_line_to(cr, a.x, a.y);
    }
  }
  return segments;
}

void SetColour(cairo_t* cr, unsigned colour, double opacity) {
  cairo_set_source_rgba(cr, ((colour >> 16) & 0xff) / 255.0, ((colour >> 8) & 0xff) / 255.0, (colour & 0xff) / 255.0,
                        std::clamp(opacity, 0.0, 1.0));
}

// Each stroke on its own, so that a vector file holds one path per scene path.
size_t StrokeAll(cairo_t* cr, const Camera& camera, const std::vector<Stroke>& strokes, const Box& area,
                 double minStep, bool pixels) {
  const ScreenMap map(camera);
  // Room for the widest line's round caps just outside the area.
  const Box box{area.x0 - 4, area.y0 - 4, area.x1 + 4, area.y1 + 4};
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  // On pixels, cairo's coarser coverage (still antialiased) halves the time of a file with a
  // million toolpath points, and on lines a pixel or two wide the difference does not show.
  cairo_set_antialias(cr, pixels ? CAIRO_ANTIALIAS_FAST : CAIRO_ANTIALIAS_DEFAULT);
  size_t segments = 0;
  for (const Stroke& stroke : strokes) {
    if (!stroke.path || stroke.path->points.empty()) continue;
    cairo_new_path(cr);
    segments += AddPath(cr, map, *stroke.path, box, minStep);
    if (!cairo_has_current_point(cr)) continue;
    SetColour(cr, stroke.colour, stroke.opacity);
    cairo_set_line_width(cr, stroke.width);
    if (stroke.dashed) {
      const double dashes[2] = {4 * stroke.width, 2 * stroke.width};
      cairo_set_dash(cr, dashes, 2, 0);
    } else {
      cairo_set_dash(cr, nullptr, 0, 0);
    }
    cairo_stroke(cr);
  }
  cairo_set_dash(cr, nullptr, 0, 0);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
  return segments;
}

// Text centred on x; `y` is its baseline, or its middle with `middle`.
void Label(cairo_t* cr, const std::string& text, double x, double y, double size, bool middle) {
  const std::string utf8 = Utf8(text);
  cairo_set_font_size(cr, size);
  cairo_text_extents_t extents;
  cairo_text_extents(cr, utf8.c_str(), &extents);
  const double baseline = middle ? y - extents.y_bearing - extents.height / 2 : y;
  cairo_move_to(cr, x - extents.x_bearing - extents.width / 2, baseline);
  cairo_show_text(cr, utf8.c_str());
}

void Line(cairo_t* cr, Point2 a, Point2 b, double width) {
  if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) || !std::isfinite(b.y)) return;
  cairo_new_path(cr);
  cairo_move_to(cr, a.x, a.y);
  cairo_line_to(cr, b.x, b.y);
  cairo_set_line_width(cr, width);
  cairo_stroke(cr);
}

void Decorate(cairo_t* cr, const Decorations& d) {
  static const unsigned kAxisColour[3] = {0xd62728, 0x2ca02c, 0x1f77b4};
  static const char* const kAxisName[3] = {"x", "y", "z"};
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
  for (int i = 0; i < 3; ++i) {
    SetColour(cr, kAxisColour[i], 1);
    Line(cr, d.axesOrigin, d.axisEnd[i], 2);
    Label(cr, kAxisName[i], d.axisEnd[i].x + (d.axisEnd[i].x - d.axesOrigin.x) * 0.3,
          d.axisEnd[i].y + (d.axisEnd[i].y - d.axesOrigin.y) * 0.3, 11, true);
  }
  SetColour(cr, 0x000000, 1);
  Line(cr, d.barStart, d.barEnd, 2);
  Line(cr, {d.barStart.x, d.barStart.y - 4}, {d.barStart.x, d.barStart.y + 4}, 1);
  Line(cr, {d.barEnd.x, d.barEnd.y - 4}, {d.barEnd.x, d.barEnd.y + 4}, 1);
  Label(cr, d.barText, (d.barStart.x + d.barEnd.x) / 2, d.barStart.y - 8, 12, false);
}

// Which kind of line is which, in the upper left corner, where a scene shows generated moves
// beside (or instead of) the file's toolpaths.
void Legend(cairo_t* cr, const Scene& scene, const Box& area) {
  bool has[3] = {false, false, false};
  for (const ScenePath& path : scene.paths) {
    if (path.kind == ShapeKind::Toolpath) has[0] = true;
    if (path.kind == ShapeKind::Generated) has[1] = true;
    if (path.kind == ShapeKind::Rapid) has[2] = true;
  }
  if (!has[1] && !has[2]) return;
  static const char* const kText[3] = {"toolpath from the file", "generated toolpath", "rapid move"};
  static const ShapeKind kKind[3] = {ShapeKind::Toolpath, ShapeKind::Generated, ShapeKind::Rapid};
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 11);
  double y = area.y0 + 16;
  for (int k = 0; k < 3; ++k) {
    if (!has[k]) continue;
    ScenePath sample;
    sample.kind = kKind[k];
    sample.workingstep = 0;
    SetColour(cr, PathColour(sample), PathOpacity(sample));
    cairo_set_line_width(cr, PathWidth(sample) * 1.5);
    const double dashes[2] = {6, 3};
    cairo_set_dash(cr, dashes, PathDashed(sample) ? 2 : 0, 0);
    cairo_new_path(cr);
    cairo_move_to(cr, area.x0 + 12, y - 4);
    cairo_line_to(cr, area.x0 + 40, y - 4);
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0);
    SetColour(cr, 0x000000, 1);
    cairo_move_to(cr, area.x0 + 48, y);
    cairo_show_text(cr, kText[k]);
    y += 16;
  }
}

// The mesh's triangles that face the camera, far ones first (a closed surface drawn so needs no
// depth buffer where its triangles are small), each shaded by how much it faces a light from
// above the viewer's left shoulder. Without antialiasing: triangles that share an edge then
// cover every pixel along it once, where antialiased fills would leave a seam of background.
size_t FillMesh(cairo_t* cr, const Camera& camera, const ShadedMesh& mesh, const Box& area) {
  const ScreenMap map(camera);
  // Depth is linear: its gradient points at the viewer.
  const double d0 = camera.Depth({0, 0, 0});
  const Vec3 toViewer = Normalized({camera.Depth({1, 0, 0}) - d0, camera.Depth({0, 1, 0}) - d0, camera.Depth({0, 0, 1}) - d0});
  // The light: towards the viewer, tilted up the screen and to its left.
  const Point2 origin = map({0, 0, 0});
  Vec3 up{0, 0, 0}, left{0, 0, 0};
  for (int k = 0; k < 3; ++k) {
    Vec3 e{0, 0, 0};
    (k == 0 ? e.x : k == 1 ? e.y : e.z) = 1;
    const Point2 p = map(e);
    const double scale = camera.scale > 0 ? camera.scale : 1;
    (k == 0 ? up.x : k == 1 ? up.y : up.z) = -(p.y - origin.y) / scale;
    (k == 0 ? left.x : k == 1 ? left.y : left.z) = -(p.x - origin.x) / scale;
  }
  const Vec3 light = Normalized({toViewer.x + 0.5 * up.x + 0.3 * left.x, toViewer.y + 0.5 * up.y + 0.3 * left.y,
                                 toViewer.z + 0.5 * up.z + 0.3 * left.z});
  struct Face {
    double depth;
    size_t index;
    double shade;
  };
  std::vector<Face> faces;
  faces.reserve(mesh.triangles.size() / 2);
  const size_t n = mesh.vertices.size();
  for (size_t t = 0; t < mesh.triangles.size(); ++t) {
    const std::array<int, 3>& tri = mesh.triangles[t];
    if (tri[0] < 0 || tri[1] < 0 || tri[2] < 0 || size_t(tri[0]) >= n || size_t(tri[1]) >= n || size_t(tri[2]) >= n)
      continue;
    const Vec3 &a = mesh.vertices[size_t(tri[0])], &b = mesh.vertices[size_t(tri[1])], &c = mesh.vertices[size_t(tri[2])];
    const Vec3 normal = Cross(Sub(b, a), Sub(c, a));
    const double length = std::sqrt(Dot(normal, normal));
    if (!(length > 0) || Dot(normal, toViewer) <= 0) continue;  // edge-on or turned away
    const Point2 pa = map(a), pb = map(b), pc = map(c);
    if (std::max({pa.x, pb.x, pc.x}) < area.x0 || std::min({pa.x, pb.x, pc.x}) > area.x1 ||
        std::max({pa.y, pb.y, pc.y}) < area.y0 || std::min({pa.y, pb.y, pc.y}) > area.y1)
      continue;
    const double lit = std::max(0.0, Dot(normal, light) / length);
    faces.push_back({camera.Depth({(a.x + b.x + c.x) / 3, (a.y + b.y + c.y) / 3, (a.z + b.z + c.z) / 3}), t,
                     0.45 + 0.55 * lit});
  }
  std::stable_sort(faces.begin(), faces.end(), [](const Face& p, const Face& q) { return p.depth < q.depth; });
  cairo_save(cr);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  for (const Face& f : faces) {
    const std::array<int, 3>& tri = mesh.triangles[f.index];
    const bool red = f.index < mesh.red.size() && mesh.red[f.index];
    const int left = f.index < mesh.left.size() ? mesh.left[f.index] : -1;
    // Stock in a light steel blue, gouges in red, material left in its feature's colour.
    double base[3] = {red ? 0.90 : 0.66, red ? 0.12 : 0.72, red ? 0.10 : 0.80};
    if (!red && left >= 0)
      for (int k = 0; k < 3; ++k) base[k] = ((left >> (16 - 8 * k)) & 0xff) / 255.0;
    cairo_set_source_rgb(cr, base[0] * f.shade, base[1] * f.shade, base[2] * f.shade);
    const Point2 pa = map(mesh.vertices[size_t(tri[0])]), pb = map(mesh.vertices[size_t(tri[1])]),
                 pc = map(mesh.vertices[size_t(tri[2])]);
    cairo_move_to(cr, pa.x, pa.y);
    cairo_line_to(cr, pb.x, pb.y);
    cairo_line_to(cr, pc.x, pc.y);
    cairo_close_path(cr);
    cairo_fill(cr);
  }
  cairo_restore(cr);
  return faces.size();
}

// The mesh on a vector surface: filled into pixels `ratio` times finer than drawing units and
// placed as one picture, since a file of a path per triangle would hold hundreds of thousands.
void PaintMesh(cairo_t* cr, const Camera& camera, const ShadedMesh& mesh, const Box& area, double ratio) {
  const int width = static_cast<int>(std::ceil((area.x1 - area.x0) * ratio));
  const int height = static_cast<int>(std::ceil((area.y1 - area.y0) * ratio));
  if (width < 1 || height < 1 || width > 4 * kMaxPictureSide || height > 4 * kMaxPictureSide) return;
  const Surface image(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
  if (cairo_surface_status(image.get()) != CAIRO_STATUS_SUCCESS) return;
  {
    const Context ic(cairo_create(image.get()));
    cairo_scale(ic.get(), ratio, ratio);
    cairo_translate(ic.get(), -area.x0, -area.y0);
    FillMesh(ic.get(), camera, mesh, area);
  }
  cairo_surface_flush(image.get());
  cairo_save(cr);
  cairo_translate(cr, area.x0, area.y0);
  cairo_scale(cr, 1 / ratio, 1 / ratio);
  cairo_set_source_surface(cr, image.get(), 0, 0);
  cairo_paint(cr);
  cairo_restore(cr);
}

// The scene and its decorations within the area, over the mesh where there is one (on a vector
// surface as a picture of `meshRatio` pixels a unit).
void DrawPicture(cairo_t* cr, const Scene& scene, const Camera& camera, const Box& area, double minStep,
                 bool pixels, const ShadedMesh* mesh = nullptr, double meshRatio = 1) {
  if (mesh && pixels) FillMesh(cr, camera, *mesh, area);
  else if (mesh) PaintMesh(cr, camera, *mesh, area, meshRatio);
  StrokeAll(cr, camera, PictureStrokes(scene), area, minStep, pixels);
  Decorate(cr, Layout(camera, scene.lengthUnit, area));
  Legend(cr, scene, area);
}

void PaintWhite(cairo_t* cr) {
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
}

// A vector file's end: finishing the surface writes its last bytes, and reports what failed.
PictureFile Finish(cairo_t* cr, cairo_surface_t* surface, std::string& bytes) {
  PictureFile file;
  cairo_status_t status = cairo_status(cr);
  cairo_surface_finish(surface);
  if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface);
  if (status != CAIRO_STATUS_SUCCESS) file.error = Failure(status);
  else file.bytes.swap(bytes);
  return file;
}

// The moment a PDF says it was made: the one SOURCE_DATE_EPOCH names, as saves do, so that a
// sheet can be made again byte for byte; empty (cairo's own clock) otherwise.
std::string CreationDate() {
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  if (!epoch || !*epoch) return {};
  long long seconds = 0;
  const char* end = epoch + std::char_traits<char>::length(epoch);
  const auto result = std::from_chars(epoch, end, seconds);
  if (result.ec != std::errc() || result.ptr != end || seconds < 0) return {};
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm utc{};
  if (!gmtime_r(&t, &utc)) return {};
  char text[32];
  if (!std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc)) return {};
  return text;
}

const char* ViewName(ViewDirection direction) {
  switch (direction) {
    case ViewDirection::Top: return "top";
    case ViewDirection::Front: return "front";
    case ViewDirection::Side: return "side";
    case ViewDirection::Iso: return "iso";
  }
  return "iso";
}

// The sheet's page, in points: the name and the side looked from above a rule, the view framed
// below them.
void DrawSheet(cairo_t* cr, const Scene& scene, ViewDirection direction, const std::string& name,
               const ShadedMesh* mesh) {
  // A 12 mm margin, which every printer leaves white; the header's rule, then the framed view.
  const double margin = 34, headerHeight = 30;
  const double left = margin, right = kSheetWidth - margin;
  const double viewTop = margin + headerHeight, bottom = kSheetHeight - margin;

  const std::string view = std::string("view: ") + ViewName(direction);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 11);
  cairo_text_extents_t viewExtents;
  cairo_text_extents(cr, view.c_str(), &viewExtents);
  SetColour(cr, 0x000000, 1);
  cairo_move_to(cr, right - viewExtents.x_advance, margin + 16);
  cairo_show_text(cr, view.c_str());

  // The name in 14 points, smaller when it is long, and cut off at the view's label at worst.
  const double room = right - left - viewExtents.x_advance - 24;
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size(cr, 14);
  cairo_text_extents_t nameExtents;
  cairo_text_extents(cr, name.c_str(), &nameExtents);
  if (nameExtents.x_advance > room) cairo_set_font_size(cr, std::max(14 * room / nameExtents.x_advance, 7.0));
  cairo_save(cr);
  cairo_rectangle(cr, left, margin, room, headerHeight);
  cairo_clip(cr);
  cairo_move_to(cr, left, margin + 16);
  cairo_show_text(cr, name.c_str());
  cairo_restore(cr);

  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
  SetColour(cr, 0x000000, 1);
  Line(cr, {left, margin + 24}, {right, margin + 24}, 0.75);
  SetColour(cr, 0x8a8a8a, 1);
  cairo_new_path(cr);
  cairo_rectangle(cr, left, viewTop, right - left, bottom - viewTop);
  cairo_set_line_width(cr, 0.5);
  cairo_stroke(cr);

  cairo_save(cr);
  cairo_rectangle(cr, left, viewTop, right - left, bottom - viewTop);
  cairo_clip(cr);
  Camera camera = Camera::Fit(scene, direction, static_cast<int>(right - left), static_cast<int>(bottom - viewTop));
  camera.offsetX += left;
  camera.offsetY += viewTop;
  // A tenth of a point is less than a printer's dot even at 600 dpi: points closer than that
  // to the one before add nothing on paper, and a dense toolpath has millions of them.
  // The mesh at 4 pixels a point, 288 dots an inch: finer than the eye reads on paper.
  DrawPicture(cr, scene, camera, {left, viewTop, right, bottom}, 0.1, false, mesh, 4);
  cairo_restore(cr);
}

}  // namespace

unsigned LighterColour(unsigned colour, double share) {
  unsigned out = 0;
  for (int shift : {16, 8, 0}) {
    const double c = (colour >> shift) & 0xff;
    out |= static_cast<unsigned>(std::lround(c + (255 - c) * share)) << shift;
  }
  return out;
}

unsigned PathColour(const ScenePath& path) {
  switch (path.kind) {
    case ShapeKind::Toolpath: return WorkingstepColour(path.workingstep);
    case ShapeKind::Generated: return LighterColour(WorkingstepColour(path.workingstep), 0.3);
    case ShapeKind::Rapid: return 0x707070;
    case ShapeKind::Workpiece: return 0x8a8a8a;
    case ShapeKind::SecurityPlane: return 0x6a8caf;
    case ShapeKind::Feature:
    case ShapeKind::Marker: return 0x303030;
  }
  return 0x303030;
}

double PathOpacity(const ScenePath& path) {
  return path.kind == ShapeKind::SecurityPlane ? 0.3 : path.kind == ShapeKind::Rapid ? 0.6 : 1.0;
}

double PathWidth(const ScenePath& path) {
  switch (path.kind) {
    case ShapeKind::Toolpath:
    case ShapeKind::Generated: return 1.2;
    case ShapeKind::Rapid: return 0.5;
    default: return 1.0;
  }
}

bool PathDashed(const ScenePath& path) { return path.kind == ShapeKind::Generated || path.kind == ShapeKind::Rapid; }

double ScaleBarLength(double scale, double maxPixels) {
  if (!(scale > 0) || !std::isfinite(scale) || !(maxPixels > 0)) return 1;
  const double most = maxPixels / scale;
  double power = std::pow(10.0, std::floor(std::log10(most)));
  if (!(power > 0) || !std::isfinite(power)) return 1;
  for (double step : {5.0, 2.0, 1.0})
    if (step * power <= most) return step * power;
  return power;
}

std::string ScaleBarText(double length, const std::string& unit) {
  char text[64];
  auto result = std::to_chars(text, text + sizeof text, length);
  std::string label(text, result.ec == std::errc() ? result.ptr : text);
  if (!unit.empty()) label += " " + unit;
  return label;
}

std::vector<Stroke> PictureStrokes(const Scene& scene) {
  // Far kinds first, so that toolpaths stay on top of what they machine.
  auto rank = [](ShapeKind kind) {
    switch (kind) {
      case ShapeKind::SecurityPlane: return 0;
      case ShapeKind::Workpiece: return 1;
      case ShapeKind::Feature: return 2;
      case ShapeKind::Marker: return 3;
      case ShapeKind::Rapid: return 4;
      case ShapeKind::Toolpath:
      case ShapeKind::Generated: return 5;
    }
    return 6;
  };
  std::vector<Stroke> strokes;
  strokes.reserve(scene.paths.size());
  for (const ScenePath& path : scene.paths)
    strokes.push_back({&path, PathColour(path), PathOpacity(path), PathWidth(path), PathDashed(path)});
  std::stable_sort(strokes.begin(), strokes.end(),
                   [&](const Stroke& a, const Stroke& b) { return rank(a.path->kind) < rank(b.path->kind); });
  return strokes;
}

size_t DrawStrokes(const Pixels& pixels, const Camera& camera, const std::vector<Stroke>& strokes) {
  if (!pixels.data || pixels.width <= 0 || pixels.height <= 0 || !(pixels.ratio > 0)) return 0;
  const Surface surface(cairo_image_surface_create_for_data(pixels.data, CAIRO_FORMAT_ARGB32, pixels.width,
                                                            pixels.height, pixels.stride));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return 0;
  const Context cr(cairo_create(surface.get()));
  cairo_scale(cr.get(), pixels.ratio, pixels.ratio);
  const size_t segments =
      StrokeAll(cr.get(), camera, strokes, {0, 0, pixels.width / pixels.ratio, pixels.height / pixels.ratio}, 0.5, true);
  cairo_surface_flush(surface.get());
  return cairo_status(cr.get()) == CAIRO_STATUS_SUCCESS ? segments : 0;
}

PictureFile RenderPng(const Scene& scene, const Camera& camera, int width, int height, const ShadedMesh* mesh) {
  width = std::clamp(width, 1, kMaxPictureSide);
  height = std::clamp(height, 1, kMaxPictureSide);
  PictureFile file;
  const Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
  if (cairo_status_t status = cairo_surface_status(surface.get()); status != CAIRO_STATUS_SUCCESS) {
    file.error = Failure(status);
    return file;
  }
  {
    const Context cr(cairo_create(surface.get()));
    PaintWhite(cr.get());
    DrawPicture(cr.get(), scene, camera, {0, 0, double(width), double(height)}, 0.5, true, mesh);
    if (cairo_status_t status = cairo_status(cr.get()); status != CAIRO_STATUS_SUCCESS) {
      file.error = Failure(status);
      return file;
    }
  }
  cairo_surface_flush(surface.get());
  std::string bytes;
  if (cairo_status_t status = cairo_surface_write_to_png_stream(surface.get(), Append, &bytes);
      status != CAIRO_STATUS_SUCCESS)
    file.error = Failure(status);
  else
    file.bytes.swap(bytes);
  return file;
}

PictureFile RenderSvg(const Scene& scene, const Camera& camera, int width, int height, const ShadedMesh* mesh) {
  std::string bytes;
  const Surface surface(cairo_svg_surface_create_for_stream(Append, &bytes, width, height));
  cairo_svg_surface_set_document_unit(surface.get(), CAIRO_SVG_UNIT_USER);  // plain pixels
  const Context cr(cairo_create(surface.get()));
  PaintWhite(cr.get());
  DrawPicture(cr.get(), scene, camera, {0, 0, double(width), double(height)}, 0, false, mesh);
  return Finish(cr.get(), surface.get(), bytes);
}

PictureFile RenderSheet(const Scene& scene, ViewDirection direction, const std::string& fileName,
                        const ShadedMesh* mesh) {
  std::string bytes;
  const Surface surface(cairo_pdf_surface_create_for_stream(Append, &bytes, kSheetWidth, kSheetHeight));
  const std::string name = Utf8(fileName);
  cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_TITLE, name.c_str());
  cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATOR, "varnholt-cli render");
  if (const std::string date = CreationDate(); !date.empty())
    cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATE_DATE, date.c_str());
  const Context cr(cairo_create(surface.get()));
  DrawSheet(cr.get(), scene, direction, name, mesh);
  cairo_show_page(cr.get());
  return Finish(cr.get(), surface.get(), bytes);
}

}  // namespace varnholt
