// The material a machining feature removes, as a solid: what the designed part is the stock
// less. A material-removal check compares what the moves took away with these solids: removed
// outside all of them is a gouge, left inside one is material the program does not take.
#ifndef VARNHOLT_FEATURE_VOLUME_H
#define VARNHOLT_FEATURE_VOLUME_H

#include <memory>
#include <string>
#include <vector>

#include "varnholt/geometry.h"
#include "varnholt/model.h"

namespace varnholt {

/// One feature's removal volume in its workpiece's system (the system the file places the
/// feature in, before any setup).
class FeatureVolume {
 public:
  virtual ~FeatureVolume() = default;
  /// The signed distance from `p` (workpiece system) to the volume's surface: negative inside,
  /// positive outside. Exact (to 1e-6 mm) where the surface nearest to `p` is a plane, a
  /// cylinder, a cone, a sphere or a torus of the feature; elsewhere and far from the surface
  /// (more than the feature's smallest size) its magnitude may be smaller than the true
  /// distance, never larger, and its sign is always right.
  virtual double Distance(const Vec3& p) const = 0;
  /// The exact volume in mm³ where it can be worked out in closed form (the part of the solid
  /// below the feature's top only: see `open`); NaN otherwise.
  virtual double ExactVolume() const = 0;
  /// Whether `p` lies inside the solid (its surface counts as outside).
  bool Inside(const Vec3& p) const { return Distance(p) < 0; }

  /// A stretch of a line, from lo to hi.
  struct Span {
    double lo, hi;
  };
  /// Appends to `out`, in order, the stretches of the line through `p` along the workpiece's
  /// axis `axis` (0 x, 1 y, 2 z), taken from lo to hi of that coordinate, where the distance is
  /// below `level`. Their ends lie within `tol` of the true ones; a stretch or gap shorter than
  /// 8·tol may be missed. Asks far less than Distance at every step would: a line along the
  /// feature's own axis works out what does not change along it once.
  virtual void Below(const Vec3& p, int axis, double lo, double hi, double level, double tol,
                     std::vector<Span>& out) const;

  std::string feature;   // "#70"
  int featureIndex = -1; // into Model::features
  std::string type;      // its entity, "closed_pocket"
  /// Around the solid, in the workpiece's system. Sides the feature leaves open (the top of
  /// every feature, a slot's open ends, an open pocket's open side, a step's outer side) reach
  /// `open` mm beyond the feature, so that a tool coming in through them is not taken for a
  /// gouge.
  Box bounds;
  double open = 0;
};

struct FeatureVolumeOptions {
  /// How far the solid reaches beyond the feature's open sides (mm).
  double open = 1000;
};

/// The removal volume of the model's feature `index`; null, with `why` set in one sentence,
/// where its kind has no volume here or its geometry cannot be read (the same reasons the
/// program gives where it can).
std::unique_ptr<FeatureVolume> MakeFeatureVolume(const Model& model, int index, std::string& why,
                                                 const FeatureVolumeOptions& options = {});

/// The removal volume of every feature of the model, in the order of Model::features; where one
/// is null, `whys` (as long as the features) says why.
std::vector<std::unique_ptr<FeatureVolume>> MakeFeatureVolumes(const Model& model, std::vector<std::string>& whys,
                                                               const FeatureVolumeOptions& options = {});

}  // namespace varnholt

#endif
