// Placements and the orthographic camera shared by the 3D view and the rendered picture.
#include <algorithm>
#include <cmath>

#include "varnholt/scene.h"

namespace varnholt {
namespace {

Vec3 Rotate(const Vec3 axis[3], const Vec3& v) {
  return {axis[0].x * v.x + axis[1].x * v.y + axis[2].x * v.z,
          axis[0].y * v.x + axis[1].y * v.y + axis[2].y * v.z,
          axis[0].z * v.x + axis[1].z * v.y + axis[2].z * v.z};
}


constexpr double kHalfPi = 1.5707963267948966;

// Screen right, screen up and the direction towards the viewer for a yaw and pitch.
void Frame(double yaw, double pitch, Vec3& right, Vec3& up, Vec3& towards) {
  const double cy = std::cos(yaw), sy = std::sin(yaw), cp = std::cos(pitch), sp = std::sin(pitch);
  const Vec3 ahead{-sy, cy, 0};  // the horizontal direction the viewer looks in
  right = {cy, sy, 0};
  up = {sp * ahead.x, sp * ahead.y, cp};
  towards = {-cp * ahead.x, -cp * ahead.y, sp};
}

}  // namespace

Vec3 Placement::Apply(const Vec3& local) const {
  const Vec3 r = Rotate(axis, local);
  return {origin.x + r.x, origin.y + r.y, origin.z + r.z};
}

Vec3 Placement::Local(const Vec3& outer) const {
  const Vec3 d{outer.x - origin.x, outer.y - origin.y, outer.z - origin.z};
  return {Dot(axis[0], d), Dot(axis[1], d), Dot(axis[2], d)};
}

Placement Placement::Within(const Placement& outer) const {
  Placement placed;
  placed.origin = outer.Apply(origin);
  for (int i = 0; i < 3; ++i) placed.axis[i] = Rotate(outer.axis, axis[i]);
  return placed;
}

bool Scene::Bounds(Vec3& low, Vec3& high) const {
  bool any = false;
  for (const ScenePath& path : paths) {
    for (const Vec3& p : path.points) {
      if (!any) {
        low = high = p;
        any = true;
        continue;
      }
      low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
      high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
  }
  return any;
}

Point2 Camera::Project(const Vec3& p) const {
  Vec3 right, up, towards;
  Frame(yaw, pitch, right, up, towards);
  return {offsetX + scale * Dot(right, p), offsetY - scale * Dot(up, p)};
}

double Camera::Depth(const Vec3& p) const {
  Vec3 right, up, towards;
  Frame(yaw, pitch, right, up, towards);
  return Dot(towards, p);
}

Camera Camera::Fit(const Scene& scene, ViewDirection direction, int width, int height) {
  Camera camera;
  switch (direction) {
    case ViewDirection::Top: camera.pitch = kHalfPi; break;
    case ViewDirection::Front: break;
    case ViewDirection::Side: camera.yaw = kHalfPi; break;
    case ViewDirection::Iso:
      camera.yaw = kHalfPi / 2;
      camera.pitch = std::atan(1 / std::sqrt(2.0));
      break;
  }
  Vec3 low, high;
  if (!scene.Bounds(low, high)) {
    camera.offsetX = width / 2.0;
    camera.offsetY = height / 2.0;
    return camera;
  }
  // The projection is linear, so the box's corners bound the projected scene.
  double minX = 0, maxX = 0, minY = 0, maxY = 0;
  for (int corner = 0; corner < 8; ++corner) {
    const Vec3 p{corner & 1 ? high.x : low.x, corner & 2 ? high.y : low.y, corner & 4 ? high.z : low.z};
    const Point2 s = camera.Project(p);
    if (corner == 0 || s.x < minX) minX = s.x;
    if (corner == 0 || s.x > maxX) maxX = s.x;
    if (corner == 0 || s.y < minY) minY = s.y;
    if (corner == 0 || s.y > maxY) maxY = s.y;
  }
  const double margin = std::min(width, height) * 0.08;
  const double spanX = std::max(maxX - minX, 1e-9), spanY = std::max(maxY - minY, 1e-9);
  camera.scale = std::min(std::max(width - 2 * margin, 1.0) / spanX, std::max(height - 2 * margin, 1.0) / spanY);
  if (!(camera.scale > 0) || !std::isfinite(camera.scale)) camera.scale = 1;
  // With offset 0 and this scale, the centre of the projected box lands at the screen's centre.
  camera.offsetX = width / 2.0 - camera.scale * (minX + maxX) / 2;
  camera.offsetY = height / 2.0 - camera.scale * (minY + maxY) / 2;
  return camera;
}

void Camera::Orbit(double dyaw, double dpitch, const Vec3& pivot) {
  const Point2 before = Project(pivot);
  yaw += dyaw;
  pitch = std::clamp(pitch + dpitch, -kHalfPi, kHalfPi);
  const Point2 after = Project(pivot);
  offsetX += before.x - after.x;
  offsetY += before.y - after.y;
}

void Camera::Zoom(double factor, double x, double y) {
  if (!(factor > 0) || !std::isfinite(factor)) return;
  scale *= factor;
  offsetX = x + (offsetX - x) * factor;
  offsetY = y + (offsetY - y) * factor;
}

ScreenMap::ScreenMap(const Camera& camera) {
  const Point2 o = camera.Project({0, 0, 0});
  const Point2 x = camera.Project({1, 0, 0});
  const Point2 y = camera.Project({0, 1, 0});
  const Point2 z = camera.Project({0, 0, 1});
  ox = o.x, oy = o.y;
  ax = x.x - o.x, ay = x.y - o.y;
  bx = y.x - o.x, by = y.y - o.y;
  cx = z.x - o.x, cy = z.y - o.y;
}

unsigned WorkingstepColour(int index) {
  // Well-separated hues that stay readable on white, repeated for long programs.
  static const unsigned kColours[] = {0x1f77b4, 0xd62728, 0x2ca02c, 0xff7f0e, 0x9467bd,
                                      0x8c564b, 0xe377c2, 0x17becf, 0xbcbd22, 0x7f7f7f};
  if (index < 0) return 0x404040;
  return kColours[index % (sizeof kColours / sizeof kColours[0])];
}

}  // namespace varnholt
