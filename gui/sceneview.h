// The 3D view of a document: draws its scene (workpiece, features, toolpaths coloured per
// workingstep, security planes) through the shared orthographic camera; the mouse turns, moves
// and zooms it, a click on a line chooses its workingstep.
#ifndef VARNHOLT_GUI_SCENEVIEW_H
#define VARNHOLT_GUI_SCENEVIEW_H

#include <QImage>
#include <QPoint>
#include <QTimer>
#include <QWidget>
#include <string>
#include <unordered_map>
#include <vector>

#include "varnholt/scene.h"

namespace varnholt {

class SceneView : public QWidget {
  Q_OBJECT
 public:
  /// Where the shown scene stands against the document.
  enum class State {
    None,      // never built
    Current,   // built from the document as it is
    Outdated,  // the document changed since
    Partial,   // the build was cancelled: what was done until then
  };

  /// While the camera moves, long polylines are thinned out to about this many segments in
  /// all, so that turning stays fluid on files with millions of points.
  static constexpr size_t kMovingBudget = 200000;
  /// How far (pixels) a click may lie from a line and still choose it.
  static constexpr double kPickDistance = 5;

  explicit SceneView(QWidget* parent = nullptr);

  void SetScene(Scene scene, State state = State::Current);
  const Scene& Shown() const { return scene_; }
  State SceneState() const { return state_; }
  /// The document changed: the scene is kept until rebuilt, with a note saying so.
  void MarkOutdated();
  /// Whether showing the view should build the scene first.
  bool NeedsBuild() const { return state_ == State::None || state_ == State::Outdated; }

  const Camera& View() const { return camera_; }
  void SetView(const Camera& camera);
  /// Fits the whole scene, seen from that side; resizing then keeps it fitted.
  void LookFrom(ViewDirection direction);
  /// Fits the whole scene from the side looked from last.
  void ShowAll() { LookFrom(direction_); }

  /// Highlights what the first of the names (innermost first, "#N") that the scene knows
  /// stands for: the paths drawn from that instance, or everything of that workingstep.
  void Highlight(const std::vector<std::string>& names);
  bool IsHighlighted(size_t path) const { return path < highlighted_.size() && highlighted_[path]; }

  /// The path whose drawn line passes nearest to the point, within kPickDistance; -1 if none.
  int PathAt(const QPointF& point) const;
  /// Segments drawn by the last paint, for checking the budget while moving.
  size_t LastPaintSegments() const { return lastSegments_; }

 Q_SIGNALS:
  /// The view was shown and wants its scene built (or rebuilt after changes).
  void buildRequested();
  /// A click chose an instance (the name without "#", as the details links give it).
  void instanceChosen(const QString& name);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  /// The arrows turn the view about the scene's centre, + and - zoom about the view's middle.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Prepare();
  void Changed();
  void StartMoving();
  void StopMoving();
  /// The moving frame: the thinned lines, without antialiasing, straight onto the screen.
  void DrawMoving(QPainter& painter);
  /// The still frame: every line, antialiased, drawn by cairo into still_.
  void DrawStill();
  void DrawOverlay(QPainter& painter);
  void DrawLegend(QPainter& painter);

  Scene scene_;
  State state_ = State::None;
  Camera camera_;
  ViewDirection direction_ = ViewDirection::Iso;
  bool fitted_ = true;  // untouched since the last fit: a resize fits again
  Vec3 centre_;
  std::vector<size_t> order_;          // paths in drawing order
  std::vector<std::vector<Vec3>> coarse_;  // thinned points while moving (empty: all of them)
  size_t stride_ = 1;
  std::unordered_map<std::string, std::vector<size_t>> bySource_;
  std::unordered_map<std::string, int> workingstepByName_;
  std::vector<char> highlighted_;
  bool anyHighlighted_ = false;

  QImage still_;  // the last full drawing, valid while the camera and the scene stay
  bool stillValid_ = false;
  bool moving_ = false;
  QTimer settle_;  // ends the moving state after the last wheel step
  Qt::MouseButton dragButton_ = Qt::NoButton;
  QPoint pressAt_, lastAt_;
  bool dragged_ = false;
  size_t lastSegments_ = 0;
};

}  // namespace varnholt

#endif
