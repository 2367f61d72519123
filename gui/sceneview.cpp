#include "sceneview.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "varnholt/scene_render.h"

namespace varnholt {

namespace {

/// The shared projection as Qt points.
struct QtMap {
  explicit QtMap(const Camera& camera) : map(camera) {}
  QPointF operator()(const Vec3& p) const {
    const Point2 q = map(p);
    return {q.x, q.y};
  }
  ScreenMap map;
};

int Rank(ShapeKind kind) {
  switch (kind) {
    case ShapeKind::Workpiece: return 0;
    case ShapeKind::SecurityPlane: return 1;
    case ShapeKind::Feature: return 2;
    case ShapeKind::Marker: return 3;
    case ShapeKind::Rapid: return 4;
    case ShapeKind::Toolpath:
    case ShapeKind::Generated: return 5;
  }
  return 0;
}

size_t Segments(const ScenePath& path) {
  const size_t n = path.points.size();
  return n < 2 ? 0 : n - 1 + (path.closed && n > 2 ? 1 : 0);
}

/// How a path is drawn in the view: the picture's colours but for the workpiece and the
/// security plane, what is highlighted stronger and the rest, when something is, paler.
Stroke StyleFor(const ScenePath& path, bool highlighted, bool dimmed) {
  Stroke stroke;
  stroke.path = &path;
  stroke.width = highlighted ? 2.5 : 1;
  switch (path.kind) {
    case ShapeKind::Workpiece: stroke.colour = 0x909090; break;
    case ShapeKind::Feature:
    case ShapeKind::Marker: stroke.colour = 0x303030; break;
    case ShapeKind::Toolpath: stroke.colour = WorkingstepColour(path.workingstep); break;
    case ShapeKind::Generated:
    case ShapeKind::Rapid:
      // Generated moves the picture's way: lighter and dashed, rapids thin.
      stroke.colour = PathColour(path);
      stroke.opacity = PathOpacity(path);
      stroke.dashed = true;
      if (path.kind == ShapeKind::Rapid) stroke.width = highlighted ? 1.5 : 0.6;
      break;
    case ShapeKind::SecurityPlane:
      // Only a reference height: it must not cover what is machined below it.
      stroke.colour = highlighted ? WorkingstepColour(path.workingstep) : 0x8080a0;
      stroke.opacity = highlighted ? 170 / 255.0 : 70 / 255.0;
      stroke.dashed = true;
      stroke.width = highlighted ? 1.5 : 1;
      break;
  }
  if (highlighted && (path.kind == ShapeKind::Feature || path.kind == ShapeKind::Marker ||
                      path.kind == ShapeKind::Workpiece))
    stroke.colour = 0xff8000;
  // With something chosen, the rest steps back so that the choice stands out.
  if (dimmed) stroke.opacity /= 3;
  return stroke;
}

QPen PenFor(const Stroke& stroke) {
  QColor colour = QColor::fromRgb(static_cast<QRgb>(stroke.colour));
  colour.setAlphaF(static_cast<float>(stroke.opacity));
  QPen pen(colour, stroke.width, stroke.dashed ? Qt::DashLine : Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  pen.setCosmetic(true);
  return pen;
}

double SegmentDistance2(const QPointF& p, const QPointF& a, const QPointF& b) {
  const QPointF d = b - a;
  const double length2 = QPointF::dotProduct(d, d);
  const double t = length2 > 0 ? std::clamp(QPointF::dotProduct(p - a, d) / length2, 0.0, 1.0) : 0;
  const QPointF q = a + t * d - p;
  return QPointF::dotProduct(q, q);
}

/// A round length (1, 2 or 5 times a power of ten) near the one given.
double RoundLength(double length) {
  const double base = std::pow(10.0, std::floor(std::log10(length)));
  for (double m : {5.0, 2.0, 1.0})
    if (m * base <= length) return m * base;
  return base;
}

}  // namespace

SceneView::SceneView(QWidget* parent) : QWidget(parent) {
  setMinimumSize(120, 120);
  // Reached by Tab and Ctrl+4 as well: the keys turn and zoom it.
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  settle_.setSingleShot(true);
  settle_.setInterval(200);
  connect(&settle_, &QTimer::timeout, this, &SceneView::StopMoving);
}

void SceneView::SetScene(Scene scene, State state) {
  const bool first = state_ == State::None;
  scene_ = std::move(scene);
  state_ = state;
  Prepare();
  // A rebuild after edits keeps the user's camera; a first scene is shown whole.
  if (first || fitted_) LookFrom(direction_);
  Changed();
}

void SceneView::Prepare() {
  const std::vector<ScenePath>& paths = scene_.paths;
  Vec3 low, high;
  centre_ = scene_.Bounds(low, high)
                ? Vec3{(low.x + high.x) / 2, (low.y + high.y) / 2, (low.z + high.z) / 2}
                : Vec3{};
  order_.resize(paths.size());
  for (size_t i = 0; i < paths.size(); ++i) order_[i] = i;
  std::stable_sort(order_.begin(), order_.end(),
                   [&](size_t a, size_t b) { return Rank(paths[a].kind) < Rank(paths[b].kind); });
  bySource_.clear();
  workingstepByName_.clear();
  for (size_t i = 0; i < paths.size(); ++i) bySource_[paths[i].source].push_back(i);
  for (size_t i = 0; i < scene_.workingsteps.size(); ++i)
    workingstepByName_.emplace(scene_.workingsteps[i].name, static_cast<int>(i));
  highlighted_.assign(paths.size(), 0);
  anyHighlighted_ = false;

  // The thinned copy is made once per scene: every moving frame draws from it.
  size_t total = 0;
  for (const ScenePath& path : paths) total += Segments(path);
  coarse_.clear();
  stride_ = total > kMovingBudget ? (total + kMovingBudget - 1) / kMovingBudget : 1;
  if (stride_ == 1) return;
  coarse_.resize(paths.size());
  for (size_t i = 0; i < paths.size(); ++i) {
    const std::vector<Vec3>& points = paths[i].points;
    if (points.size() <= 2) continue;  // drawn as they are
    std::vector<Vec3>& thin = coarse_[i];
    thin.reserve(points.size() / stride_ + 2);
    for (size_t at = 0; at < points.size(); at += stride_) thin.push_back(points[at]);
    if ((points.size() - 1) % stride_ != 0) thin.push_back(points.back());
  }
}

void SceneView::MarkOutdated() {
  if (state_ != State::Current) return;
  state_ = State::Outdated;
  update();
}

void SceneView::SetView(const Camera& camera) {
  camera_ = camera;
  fitted_ = false;
  Changed();
}

void SceneView::LookFrom(ViewDirection direction) {
  direction_ = direction;
  camera_ = Camera::Fit(scene_, direction, width(), height());
  fitted_ = true;
  Changed();
}

void SceneView::Highlight(const std::vector<std::string>& names) {
  std::vector<char> chosen(scene_.paths.size(), 0);
  bool any = false;
  for (const std::string& name : names) {
    // A workingstep stands for all of it; its security plane has its name as source as well.
    if (auto ws = workingstepByName_.find(name); ws != workingstepByName_.end()) {
      for (size_t i = 0; i < scene_.paths.size(); ++i)
        if (scene_.paths[i].workingstep == ws->second) chosen[i] = any = true;
    } else if (auto found = bySource_.find(name); found != bySource_.end()) {
      for (size_t i : found->second) chosen[i] = any = true;
    }
    if (any) break;
  }
  if (chosen == highlighted_) return;
  highlighted_.swap(chosen);
  anyHighlighted_ = any;
  Changed();
}

int SceneView::PathAt(const QPointF& point) const {
  const QtMap map(camera_);
  double best = kPickDistance * kPickDistance;
  int found = -1;
  for (size_t i = 0; i < scene_.paths.size(); ++i) {
    const ScenePath& path = scene_.paths[i];
    // A plane's outline runs round everything machined under it; it is not what one points at.
    if (path.kind == ShapeKind::SecurityPlane || path.points.empty()) continue;
    QPointF previous = map(path.points.front());
    const QPointF first = previous;
    auto consider = [&](const QPointF& a, const QPointF& b) {
      const double d = SegmentDistance2(point, a, b);
      if (d <= best) {
        best = d;
        found = static_cast<int>(i);
      }
    };
    if (path.points.size() == 1) consider(previous, previous);
    for (size_t k = 1; k < path.points.size(); ++k) {
      const QPointF next = map(path.points[k]);
      consider(previous, next);
      previous = next;
    }
    if (path.closed && path.points.size() > 2) consider(previous, first);
  }
  return found;
}

void SceneView::Changed() {
  stillValid_ = false;
  update();
}

void SceneView::StartMoving() {
  moving_ = true;
  fitted_ = false;
}

void SceneView::StopMoving() {
  if (!moving_) return;
  moving_ = false;
  Changed();
}

void SceneView::DrawMoving(QPainter& painter) {
  const QtMap map(camera_);
  const bool thin = !coarse_.empty();
  QPolygonF line;
  size_t segments = 0;
  for (int pass = 0; pass < 2; ++pass) {
    for (size_t i : order_) {
      const bool highlighted = highlighted_[i] != 0;
      if (highlighted != (pass == 1)) continue;
      const ScenePath& path = scene_.paths[i];
      const std::vector<Vec3>& points = thin && !coarse_[i].empty() ? coarse_[i] : path.points;
      if (points.empty()) continue;
      painter.setPen(PenFor(StyleFor(path, highlighted, anyHighlighted_ && !highlighted)));
      line.clear();
      line.reserve(static_cast<qsizetype>(points.size()) + 1);
      for (size_t k = 0; k < points.size(); ++k) {
        const QPointF q = map(points[k]);
        // Points that fall on the pixel of the one before add nothing to the picture; a dense
        // toolpath has millions of them.
        if (!line.isEmpty() && k + 1 < points.size() && std::abs(q.x() - line.last().x()) < 0.5 &&
            std::abs(q.y() - line.last().y()) < 0.5)
          continue;
        line << q;
      }
      if (path.closed && line.size() > 2) line << line.first();
      if (line.size() == 1) {
        painter.drawPoint(line.first());
        continue;
      }
      painter.drawPolyline(line);
      segments += static_cast<size_t>(line.size() - 1);
    }
  }
  lastSegments_ = segments;
}

void SceneView::DrawStill() {
  // What is highlighted comes last, over the rest.
  std::vector<Stroke> strokes;
  strokes.reserve(order_.size());
  for (int pass = 0; pass < 2; ++pass)
    for (size_t i : order_) {
      const bool highlighted = highlighted_[i] != 0;
      if (highlighted == (pass == 1))
        strokes.push_back(StyleFor(scene_.paths[i], highlighted, anyHighlighted_ && !highlighted));
    }
  // cairo draws straight into the image's own pixels: the formats are the same.
  const Pixels pixels{still_.bits(), still_.width(), still_.height(), static_cast<int>(still_.bytesPerLine()),
                      still_.devicePixelRatio()};
  lastSegments_ = DrawStrokes(pixels, camera_, strokes);
}

// Which line is which, in the upper right corner, once generated moves are shown.
void SceneView::DrawLegend(QPainter& painter) {
  bool has[3] = {false, false, false};
  for (const ScenePath& path : scene_.paths) {
    has[0] = has[0] || path.kind == ShapeKind::Toolpath;
    has[1] = has[1] || path.kind == ShapeKind::Generated;
    has[2] = has[2] || path.kind == ShapeKind::Rapid;
  }
  if (!has[1] && !has[2]) return;
  static const ShapeKind kinds[3] = {ShapeKind::Toolpath, ShapeKind::Generated, ShapeKind::Rapid};
  const QString texts[3] = {QStringLiteral("Werkzeugweg aus der Datei"), QStringLiteral("Erzeugter Werkzeugweg"),
                            QStringLiteral("Eilgang")};
  const QFontMetrics metrics(painter.font());
  int widest = 0;
  for (int k = 0; k < 3; ++k)
    if (has[k]) widest = std::max(widest, metrics.horizontalAdvance(texts[k]));
  const int right = width() - 10, lineLeft = right - widest - 40;
  int y = 10 + metrics.ascent();
  for (int k = 0; k < 3; ++k) {
    if (!has[k]) continue;
    ScenePath sample;
    sample.kind = kinds[k];
    sample.workingstep = 0;
    Stroke stroke = StyleFor(sample, false, false);
    stroke.width = std::max(stroke.width, 1.0);
    painter.setPen(PenFor(stroke));
    painter.drawLine(QPointF(lineLeft, y - metrics.ascent() / 2.0), QPointF(lineLeft + 28, y - metrics.ascent() / 2.0));
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(QPointF(lineLeft + 36, y), texts[k]);
    y += metrics.height() + 2;
  }
}

void SceneView::DrawOverlay(QPainter& painter) {
  painter.setRenderHint(QPainter::Antialiasing, !moving_);
  painter.setPen(palette().color(QPalette::Text));
  const QRect inner = rect().adjusted(8, 6, -8, -6);
  QString note;
  if (state_ == State::Outdated)
    note = QStringLiteral("Die Datei wurde ge\u00e4ndert: \"Neu aufbauen\" (F5) zeigt den neuen Stand.");
  else if (state_ == State::Partial)
    note = QStringLiteral("Aufbau abgebrochen: die Ansicht ist unvollst\u00e4ndig.");
  if (!note.isEmpty()) painter.drawText(inner, Qt::AlignTop | Qt::AlignLeft | Qt::TextWordWrap, note);

  Vec3 low, high;
  if (!scene_.Bounds(low, high)) {
    const QString empty = state_ == State::None ? QStringLiteral("Noch nicht aufgebaut.")
                          : !scene_.hasProject  ? QStringLiteral("Die Datei enth\u00e4lt kein Projekt.")
                                                : QStringLiteral("Nichts zu zeigen.");
    painter.drawText(inner, Qt::AlignCenter | Qt::TextWordWrap, empty);
    return;
  }

  DrawLegend(painter);

  // The world axes, foreshortened as the camera sees them.
  const QtMap map(camera_);
  const QPointF origin(34, height() - 34);
  const double length = 26 / std::max(camera_.scale, 1e-300);
  const struct {
    Vec3 axis;
    QColor colour;
    const char* name;
  } axes[] = {{{length, 0, 0}, QColor(0xc0, 0x20, 0x20), "X"},
              {{0, length, 0}, QColor(0x20, 0x90, 0x20), "Y"},
              {{0, 0, length}, QColor(0x20, 0x40, 0xc0), "Z"}};
  for (const auto& axis : axes) {
    const QPointF tip = origin + (map(axis.axis) - map({0, 0, 0}));
    painter.setPen(QPen(axis.colour, 2));
    painter.drawLine(origin, tip);
    const QPointF away = tip - origin;
    const double reach = std::hypot(away.x(), away.y());
    const QPointF label = reach > 1 ? tip + away * (8 / reach) : origin + QPointF(6, -6);
    painter.drawText(QRectF(label.x() - 8, label.y() - 8, 16, 16), Qt::AlignCenter,
                     QString::fromLatin1(axis.name));
  }

  // A scale bar of a round length, about a hundred pixels long.
  if (!(camera_.scale > 0) || !std::isfinite(camera_.scale)) return;
  const double bar = RoundLength(100 / camera_.scale);
  const double pixels = bar * camera_.scale;
  const double right = width() - 14.0, y = height() - 16.0;
  painter.setPen(QPen(palette().color(QPalette::Text), 1.5));
  painter.drawLine(QPointF(right - pixels, y), QPointF(right, y));
  painter.drawLine(QPointF(right - pixels, y - 4), QPointF(right - pixels, y + 4));
  painter.drawLine(QPointF(right, y - 4), QPointF(right, y + 4));
  QString text = QString::number(bar, 'g', 6);
  if (!scene_.lengthUnit.empty()) text += QLatin1Char(' ') + QString::fromStdString(scene_.lengthUnit);
  painter.drawText(QRectF(right - pixels - 40, y - 22, pixels + 80, 16), Qt::AlignCenter, text);
}

void SceneView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QColor background(Qt::white);
  if (moving_) {
    painter.fillRect(rect(), background);
    DrawMoving(painter);
  } else {
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = size() * ratio;
    if (!stillValid_ || still_.size() != pixels) {
      if (still_.size() != pixels) still_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
      still_.setDevicePixelRatio(ratio);
      still_.fill(background);
      if (!still_.isNull()) DrawStill();
      stillValid_ = true;
    }
    if (still_.isNull()) painter.fillRect(rect(), background);  // no memory for the image
    else painter.drawImage(QPointF(0, 0), still_);
  }
  DrawOverlay(painter);
}

void SceneView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (fitted_) {
    camera_ = Camera::Fit(scene_, direction_, width(), height());
  } else {
    // Keep what was in the middle in the middle.
    camera_.offsetX += (event->size().width() - event->oldSize().width()) / 2.0;
    camera_.offsetY += (event->size().height() - event->oldSize().height()) / 2.0;
  }
  Changed();
}

void SceneView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Later, not while the dock or the document window is still being shown: building may open
  // a progress window.
  if (NeedsBuild())
    QTimer::singleShot(0, this, [this] {
      if (isVisible() && NeedsBuild()) Q_EMIT buildRequested();
    });
}

void SceneView::mousePressEvent(QMouseEvent* event) {
  if (dragButton_ != Qt::NoButton) return;
  dragButton_ = event->button();
  pressAt_ = lastAt_ = event->position().toPoint();
  dragged_ = false;
}

void SceneView::mouseMoveEvent(QMouseEvent* event) {
  if (dragButton_ == Qt::NoButton) return;
  const QPoint at = event->position().toPoint();
  // A click that wobbles a little is still a click.
  if (!dragged_ && (at - pressAt_).manhattanLength() < 4) return;
  dragged_ = true;
  StartMoving();
  const QPoint delta = at - lastAt_;
  lastAt_ = at;
  if (dragButton_ == Qt::LeftButton) {
    // About the scene's centre: a quarter turn for about 160 pixels.
    camera_.Orbit(-delta.x() * 0.01, delta.y() * 0.01, centre_);
  } else {
    camera_.offsetX += delta.x();
    camera_.offsetY += delta.y();
  }
  update();
}

void SceneView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != dragButton_) return;
  dragButton_ = Qt::NoButton;
  if (dragged_) {
    StopMoving();
    return;
  }
  if (event->button() != Qt::LeftButton) return;
  const int found = PathAt(event->position());
  if (found < 0) return;
  const ScenePath& path = scene_.paths[static_cast<size_t>(found)];
  // What is machined is chosen by its workingstep; the workpiece by itself.
  std::string name = path.source;
  if (path.workingstep >= 0 && static_cast<size_t>(path.workingstep) < scene_.workingsteps.size())
    name = scene_.workingsteps[static_cast<size_t>(path.workingstep)].name;
  if (!name.empty() && name.front() == '#') name.erase(0, 1);
  if (!name.empty()) Q_EMIT instanceChosen(QString::fromStdString(name));
}

void SceneView::wheelEvent(QWheelEvent* event) {
  const int steps = event->angleDelta().y();
  if (steps == 0) return;
  StartMoving();
  // One notch of a wheel (120) zooms by a fifth.
  camera_.Zoom(std::pow(1.2, steps / 120.0), event->position().x(), event->position().y());
  settle_.start();
  update();
  event->accept();
}

void SceneView::keyPressEvent(QKeyEvent* event) {
  // A step of a key is what a short drag or one notch of the wheel does.
  constexpr double kTurn = 0.15;
  constexpr double kZoom = 1.2;
  double yaw = 0, pitch = 0, zoom = 1;
  switch (event->key()) {
    case Qt::Key_Left: yaw = kTurn; break;
    case Qt::Key_Right: yaw = -kTurn; break;
    case Qt::Key_Up: pitch = -kTurn; break;
    case Qt::Key_Down: pitch = kTurn; break;
    case Qt::Key_Plus:
    case Qt::Key_Equal: zoom = kZoom; break;
    case Qt::Key_Minus: zoom = 1 / kZoom; break;
    default: QWidget::keyPressEvent(event); return;
  }
  fitted_ = false;
  if (zoom != 1) camera_.Zoom(zoom, width() / 2.0, height() / 2.0);
  else camera_.Orbit(yaw, pitch, centre_);
  Changed();
  event->accept();
}

}  // namespace varnholt
