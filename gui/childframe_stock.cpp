// The material-removal simulation in the desktop: the program run on the workpiece's stock,
// its findings in the Probleme pane, and the stock after each workingstep in its own pane.
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QProgressDialog>
#include <QTreeWidgetItem>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cct/instance.h"
#include "childframe.h"
#include "stockview.h"
#include "varnholt/feature_volume.h"
#include "varnholt/scene_render.h"

namespace varnholt {

namespace {

// The picture is made once per workingstep at this size and scaled into the pane.
constexpr int kPictureWidth = 800, kPictureHeight = 600;

QString Mm(double value) { return QLocale().toString(value, 'f', 3); }

long Number(const std::string& name) {
  return name.size() > 1 && name[0] == '#' ? std::strtol(name.c_str() + 1, nullptr, 10) : 0;
}

// A finding as a row of the Probleme pane: on its workingstep (its feature where it names
// none), the words around the simulation's own text in German.
rules::Finding AsRow(const SimFinding& f) {
  rules::Finding row;
  row.rule = std::string(ProblemsView::kSimulationPrefix) + f.kind;
  row.severity = f.severity == "error" ? rules::Severity::Error : rules::Severity::Warning;
  row.instance = Number(f.workingstep.empty() ? f.feature : f.workingstep);
  QString text;
  if (f.move >= 0) text += QStringLiteral("Bewegung %1, ").arg(f.move);
  if (f.gcodeLine > 0) text += QStringLiteral("G-Code-Zeile %1, ").arg(f.gcodeLine);
  text += QStringLiteral("%1 mm tief bei (%2; %3; %4): ")
              .arg(Mm(f.depth), Mm(f.at.x), Mm(f.at.y), Mm(f.at.z));
  row.text = FromQt(text) + f.text;
  return row;
}

// As the picture of the command line: no finer cells than a picture shows, so that the mesh
// stays a few hundred thousand triangles.
double PictureResolution(const Model& model) {
  double size = 0;
  for (const ModelWorkpiece& w : model.workpieces) {
    const ModelStock& stock = w.stock;
    if (stock.kind == ModelStock::Block) size = std::max({size, stock.x, stock.y, stock.z});
    if (stock.kind == ModelStock::Cylinder) size = std::max({size, 2 * stock.x, stock.z});
  }
  return size > 0 && std::isfinite(size) ? std::clamp(size / 400, 0.1, 100.0) : 0;
}

}  // namespace

bool ChildFrame::RunSimulation() {
  if (!doc_.Scope() || !stock_ || simulating_) return false;
  simulating_ = true;
  const bool built = EnsureProjectProgram();
  simulation_.reset();
  simModel_.reset();
  simOrigins_.clear();
  stockPictures_.clear();
  simMark_.reset();
  auto stop = [this](StockView::State state, const QString& text) {
    simulating_ = false;
    problems_->ClearSimulation();
    stock_->ShowMessage(state, text);
    Q_EMIT statusMessage(text);
    return false;
  };
  if (!built) return stop(StockView::State::Cancelled, QStringLiteral("Materialabtrag abgebrochen: das Programm wurde nicht aufgebaut."));
  // Copies: the events the progress window lets through must not pull them from under the run.
  auto model = std::make_shared<const Model>(MachiningModel());
  const Program program = ProjectProgram();
  if (!program.hasProject)
    return stop(StockView::State::Failed, QStringLiteral("Kein Materialabtrag: die Datei hat kein Projekt, es wird nichts bearbeitet."));
  const GcodeResult gcode = MakeGcode(true);
  SimulateOptions options;
  options.resolution = simResolution_ > 0 ? simResolution_ : PictureResolution(*model);
  options.keepSteps = true;
  options.volumes = [](const Model& m, int index, std::string& why) { return MakeFeatureVolume(m, index, why); };
  QProgressDialog progress(QStringLiteral("Simuliere den Materialabtrag ..."), QStringLiteral("Abbrechen"), 0, 100, this);
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(500);
  options.progress = [&progress](int percent) {
    progress.setValue(std::clamp(percent, 0, 99));
    QCoreApplication::processEvents();
    return !progress.wasCanceled();
  };
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  auto result = std::make_shared<SimulateResult>(Simulate(*model, program, gcode, options));
  QGuiApplication::restoreOverrideCursor();
  progress.reset();
  if (result->cancelled) return stop(StockView::State::Cancelled, QStringLiteral("Materialabtrag abgebrochen: nichts wird gezeigt (F5 berechnet neu)."));
  if (!result->ok) return stop(StockView::State::Failed, QStringLiteral("Kein Materialabtrag: ") + ToQt(result->error));
  simulating_ = false;

  // Where a finding's place lies in the picture: each workingstep's setup in the machine.
  for (const SimStep& step : result->steps) {
    Placement origin;
    for (const ProgramStep& p : program.steps)
      if (p.name == step.instance && p.setup >= 0 && p.setup < static_cast<int>(program.setups.size()))
        origin = program.setups[static_cast<size_t>(p.setup)].origin;
    simOrigins_.push_back(origin);
  }
  std::vector<rules::Finding> rows;
  for (const SimFinding& f : result->findings) rows.push_back(AsRow(f));
  const QString summary = QStringLiteral("Materialabtrag: %1 Fehler, %2 Warnungen; Aufl\u00f6sung %3 mm.")
                              .arg(result->Errors())
                              .arg(result->Warnings())
                              .arg(QLocale().toString(result->resolution));
  problems_->ShowSimulation(rows, summary);
  QStringList labels;
  for (const SimStep& step : result->steps) labels << ToQt(step.instance + " " + step.label);
  simulation_ = std::move(result);
  simModel_ = std::move(model);
  stock_->SetSteps(labels);
  Q_EMIT statusMessage(summary);
  const int current = CurrentSimulationStep();
  ShowStockStep(current >= 0 ? current : static_cast<int>(simulation_->steps.size()) - 1);
  return true;
}

int ChildFrame::CurrentSimulationStep() {
  if (!simulation_) return -1;
  CDoc::LogRoute route(doc_);
  for (QTreeWidgetItem* item = tree_->currentItem(); item; item = item->parent()) {
    cct_Instance* instance = view_.ItemInstance(item);
    if (!instance || !instance->InstanceName()) continue;
    const std::string name = std::string("#") + instance->InstanceName();
    for (size_t k = 0; k < simulation_->steps.size(); ++k)
      if (simulation_->steps[k].instance == name) return static_cast<int>(k);
  }
  return -1;
}

void ChildFrame::FollowStockStep() {
  if (!simulation_ || !stock_) return;
  const int step = CurrentSimulationStep();
  if (step >= 0 && step != stock_->Step()) ShowStockStep(step);
}

bool ChildFrame::ShowStockStep(int step) {
  if (!simulation_ || !stock_ || step < 0 || step >= static_cast<int>(simulation_->steps.size())) return false;
  const SimStep& row = simulation_->steps[static_cast<size_t>(step)];
  const QString which = QStringLiteral("Rohteil nach %1 \"%2\" (%3 von %4)")
                            .arg(ToQt(row.instance), ToQt(row.label))
                            .arg(step + 1)
                            .arg(simulation_->steps.size());
  auto found = stockPictures_.find(step);
  if (found == stockPictures_.end()) {
    SimulateResult after;
    StockTriangles placed;
    std::vector<bool> gouged;
    std::vector<int> leftAfter;
    std::string note, why;
    if (!ResultAfterStep(*simulation_, static_cast<size_t>(step), after)) why = "no stock was kept for it";
    else StockPicture(*simModel_, after, placed, gouged, leftAfter, note, why);
    if (placed.triangles.empty()) {
      stock_->ShowMessage(StockView::State::Current, which + QStringLiteral(": kein Bild (") + ToQt(why) + QLatin1Char(')'));
      return false;
    }
    if (scene_ && scene_->SceneState() == SceneView::State::None) RebuildScene();
    const Scene empty;
    const Scene& scene = scene_ ? scene_->Shown() : empty;
    ShadedMesh mesh;
    mesh.vertices = std::move(placed.vertices);
    mesh.triangles = std::move(placed.triangles);
    const size_t red = static_cast<size_t>(std::count(gouged.begin(), gouged.end(), true));
    mesh.red = std::move(gouged);
    // Material left in a light shade of the colour of the workingstep that last machines its
    // feature; gouges keep the full red.
    for (int k : leftAfter) mesh.left.push_back(k >= 0 ? static_cast<int>(LighterColour(WorkingstepColour(k), 0.45)) : -1);
    StockFrame frame;
    frame.camera = Camera::Fit(scene, ViewDirection::Iso, kPictureWidth, kPictureHeight);
    const PictureFile png = RenderPng(scene, frame.camera, kPictureWidth, kPictureHeight, &mesh);
    frame.image = QImage::fromData(reinterpret_cast<const uchar*>(png.bytes.data()), static_cast<int>(png.bytes.size()), "PNG")
                      .convertToFormat(QImage::Format_RGB32);
    if (frame.image.isNull()) {
      stock_->ShowMessage(StockView::State::Current, which + QStringLiteral(": kein Bild (") + ToQt(png.error) + QLatin1Char(')'));
      return false;
    }
    frame.caption = QStringLiteral("%1; %2 Dreiecke, %3 auf Konturverletzungen (rot)").arg(which).arg(mesh.triangles.size()).arg(red);
    if (!note.empty()) frame.caption += QStringLiteral("; ") + ToQt(note);
    found = stockPictures_.emplace(step, std::move(frame)).first;
  }
  QImage picture = found->second.image;
  QString caption = found->second.caption;
  // The place of the finding chosen last, where it is in this workingstep.
  if (simMark_ && simMarkStep_ == step) {
    const Point2 at = found->second.camera.Project(simOrigins_[static_cast<size_t>(step)].Apply(*simMark_));
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0xd0, 0, 0), 3));
    painter.drawEllipse(QPointF(at.x, at.y), 14, 14);
    painter.drawLine(QPointF(at.x - 22, at.y), QPointF(at.x + 22, at.y));
    painter.drawLine(QPointF(at.x, at.y - 22), QPointF(at.x, at.y + 22));
    caption += QStringLiteral("; markiert: (%1; %2; %3)").arg(Mm(simMark_->x), Mm(simMark_->y), Mm(simMark_->z));
  }
  stock_->ShowPicture(picture, step, caption);
  return true;
}

bool ChildFrame::GoToSimulationFinding(int index) {
  if (!simulation_ || index < 0 || index >= static_cast<int>(simulation_->findings.size())) return false;
  const SimFinding& f = simulation_->findings[static_cast<size_t>(index)];
  int step = -1;
  for (size_t k = 0; k < simulation_->steps.size(); ++k)
    if (simulation_->steps[k].instance == f.workingstep) step = static_cast<int>(k);
  simMark_ = f.at;
  simMarkStep_ = step;
  const bool selected = GoToName(ToQt(f.workingstep.empty() ? f.feature : f.workingstep).mid(1));
  if (step >= 0) ShowStockStep(step);
  return selected;
}

}  // namespace varnholt
