// The scene builder: walks the project's workplans and places what they machine.
#include <ostream>

#include "varnholt/scene.h"

namespace varnholt {

// Not built yet: an empty scene.
Scene BuildScene(cct_Scope&, const SceneProgress&) { return Scene{}; }

void ReportSceneProblems(const Scene&, std::ostream&) {}

}  // namespace varnholt
