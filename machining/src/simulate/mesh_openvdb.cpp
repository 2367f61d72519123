// The stock after the program as a closed triangle mesh: the tri-dexel rays give a signed
// distance along each ray near the surface, OpenVDB's mesher makes the surface of it. Kept in
// a file of its own: OpenVDB's headers take long to compile.
#include <openvdb/openvdb.h>
#include <openvdb/tools/SignedFloodFill.h>
#include <openvdb/tools/VolumeToMesh.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <vector>

#include "stock.h"
#include "varnholt/simulate.h"

namespace varnholt {

using simulate_detail::DexelGrid;
using simulate_detail::Interval;
using simulate_detail::Stock;

namespace {

// The distance along the ray from t to the nearest end of a material interval: negative inside.
double AlongRay(const DexelGrid& g, size_t ray, double t, double far) {
  size_t count = 0;
  const Interval* in = g.Begin(ray, count);
  double best = far;
  for (size_t k = 0; k < count; ++k) {
    const double lo = in[k].lo, hi = in[k].hi;
    if (t >= lo && t <= hi) return -std::min(t - lo, hi - t);
    best = std::min(best, t < lo ? lo - t : t - hi);
  }
  return best;
}

void PutFloat(std::ostream& out, float v) {
  char bytes[4];
  std::memcpy(bytes, &v, 4);
  out.write(bytes, 4);
}

}  // namespace

bool StockMesh(const SimulateResult& result, StockTriangles& mesh, std::string& why) {
  mesh = StockTriangles();
  if (!result.stock) {
    why = "there is no stock: nothing was simulated";
    return false;
  }
  const Stock& stock = *result.stock;
  const double h = stock.h;
  const int n[3] = {stock.grid[1].n2, stock.grid[0].n1, stock.grid[0].n2};  // cells along x, y, z
  const double low[3] = {stock.box.low.x, stock.box.low.y, stock.box.low.z};
  openvdb::initialize();
  const float background = static_cast<float>(3 * h);
  openvdb::FloatGrid::Ptr grid = openvdb::FloatGrid::create(background);
  openvdb::math::Transform::Ptr xform = openvdb::math::Transform::createLinearTransform(h);
  xform->postTranslate(openvdb::Vec3d(low[0] + h / 2, low[1] + h / 2, low[2] + h / 2));
  grid->setTransform(xform);
  grid->setGridClass(openvdb::GRID_LEVEL_SET);
  auto access = grid->getAccessor();

  // The voxel (i, j, k) lies on the x ray (j, k), the y ray (k, i) and the z ray (i, j).
  auto value = [&](int i, int j, int k) {
    const double p[3] = {low[0] + (i + 0.5) * h, low[1] + (j + 0.5) * h, low[2] + (k + 0.5) * h};
    const int idx[3] = {i, j, k};
    double best = background;
    bool any = false;
    for (int a = 0; a < 3; ++a) {
      const int c1 = (a + 1) % 3, c2 = (a + 2) % 3;
      if (idx[c1] < 0 || idx[c1] >= n[c1] || idx[c2] < 0 || idx[c2] >= n[c2]) continue;
      const DexelGrid& g = stock.grid[a];
      const double d = AlongRay(g, g.Index(idx[c1], idx[c2]), p[a], background);
      if (!any || std::fabs(d) < std::fabs(best)) best = d;
      any = true;
    }
    return static_cast<float>(std::clamp(best, -static_cast<double>(background), static_cast<double>(background)));
  };
  // The voxels next to every end of every interval make the narrow band.
  for (int a = 0; a < 3; ++a) {
    const DexelGrid& g = stock.grid[a];
    const int c1 = (a + 1) % 3, c2 = (a + 2) % 3;
    for (int j = 0; j < g.n2; ++j)
      for (int i = 0; i < g.n1; ++i) {
        size_t count = 0;
        const Interval* in = g.Begin(g.Index(i, j), count);
        for (size_t q = 0; q < count; ++q)
          for (double end : {static_cast<double>(in[q].lo), static_cast<double>(in[q].hi)}) {
            const int c = static_cast<int>(std::floor((end - low[a]) / h - 0.5));
            for (int s = c - 1; s <= c + 2; ++s) {
              int idx[3];
              idx[a] = s;
              idx[c1] = i;
              idx[c2] = j;
              const openvdb::Coord xyz(idx[0], idx[1], idx[2]);
              if (access.isValueOn(xyz)) continue;
              access.setValue(xyz, value(idx[0], idx[1], idx[2]));
            }
          }
      }
  }
  openvdb::tools::signedFloodFill(grid->tree());
  std::vector<openvdb::Vec3s> points;
  std::vector<openvdb::Vec3I> triangles;
  std::vector<openvdb::Vec4I> quads;
  openvdb::tools::volumeToMesh(*grid, points, triangles, quads, 0.0, 0.0);
  std::vector<openvdb::Vec3I> all = triangles;
  all.reserve(triangles.size() + 2 * quads.size());
  for (const openvdb::Vec4I& q : quads) {
    all.push_back(openvdb::Vec3I(q[0], q[1], q[2]));
    all.push_back(openvdb::Vec3I(q[0], q[2], q[3]));
  }
  if (all.empty()) {
    why = "the stock after the program is empty";
    return false;
  }
  double signedVolume = 0;
  for (const openvdb::Vec3I& t : all) {
    const openvdb::Vec3d a = points[t[0]], b = points[t[1]], c = points[t[2]];
    signedVolume += a.dot(b.cross(c)) / 6;
  }
  // Every triangle turned so that its normal points out of the material.
  const bool flip = signedVolume < 0;
  mesh.volume = std::fabs(signedVolume);
  mesh.vertices.reserve(points.size());
  for (const openvdb::Vec3s& p : points) mesh.vertices.push_back({p[0], p[1], p[2]});
  mesh.triangles.reserve(all.size());
  for (const openvdb::Vec3I& t : all)
    mesh.triangles.push_back({static_cast<int>(t[0]), static_cast<int>(flip ? t[2] : t[1]), static_cast<int>(flip ? t[1] : t[2])});
  return true;
}

bool WriteStockStl(const SimulateResult& result, std::ostream& out, double& volume, std::string& why) {
  volume = 0;
  StockTriangles mesh;
  if (!StockMesh(result, mesh, why)) return false;
  volume = mesh.volume;
  char header[80] = {};
  std::strncpy(header, "varnholt stock after the program", sizeof header - 1);
  out.write(header, 80);
  const uint32_t count = static_cast<uint32_t>(mesh.triangles.size());
  out.write(reinterpret_cast<const char*>(&count), 4);
  auto at = [&](int k) {
    const Vec3& v = mesh.vertices[static_cast<size_t>(k)];
    return openvdb::Vec3s(static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z));
  };
  for (const std::array<int, 3>& t : mesh.triangles) {
    const openvdb::Vec3s a = at(t[0]), b = at(t[1]), c = at(t[2]);
    openvdb::Vec3s normal = (b - a).cross(c - a);
    const float length = normal.length();
    if (length > 0) normal /= length;
    for (int k = 0; k < 3; ++k) PutFloat(out, normal[k]);
    for (const openvdb::Vec3s& p : {a, b, c})
      for (int k = 0; k < 3; ++k) PutFloat(out, p[k]);
    const char attribute[2] = {0, 0};
    out.write(attribute, 2);
  }
  if (!out) {
    why = "the STL could not be written";
    return false;
  }
  return true;
}

}  // namespace varnholt
