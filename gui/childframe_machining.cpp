// The panes that look at what the document makes: the 3D scene, the rule check, the G-code and
// the machining time in the details.
#include "childframe.h"
#include "gcodechoices.h"

#include "varnholt/model_read.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <algorithm>
#include <fstream>

#include "cct/cct.h"
#include "cct/instance.h"
#include "cct/scope.h"
#include "gcodeview.h"
#include "problemsview.h"
#include "prompts.h"
#include "sceneview.h"
#include "varnholt/gcode.h"
#include "varnholt/navigation.h"
#include "varnholt/program.h"
#include "varnholt/rules.h"
#include "varnholt/save_io.h"

namespace varnholt {

void ChildFrame::UpdateSceneHighlight() {
  if (!scene_ || scene_->SceneState() == SceneView::State::None) return;
  std::vector<std::string> names;
  {
    CDoc::LogRoute route(doc_);
    for (QTreeWidgetItem* item = tree_->currentItem(); item; item = item->parent()) {
      cct_Instance* instance = view_.ItemInstance(item);
      if (!instance || !instance->InstanceName()) continue;
      std::string name = std::string("#") + instance->InstanceName();
      if (names.empty() || names.back() != name) names.push_back(std::move(name));
    }
  }
  scene_->Highlight(names);
}

void ChildFrame::RebuildScene() {
  cct_Scope* scope = doc_.Scope();
  // The progress window lets events through, among them a second request of the view.
  if (!scope || !scene_ || buildingScene_) return;
  buildingScene_ = true;
  // On the calling thread like everything that reads the population; a large file takes a
  // while, so it can be stopped, and shows what was done until then.
  QProgressDialog progress(QStringLiteral("Baue die 3D-Ansicht auf ..."), QStringLiteral("Abbrechen"),
                           0, 100, this);
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(500);
  bool cancelled = false;
  Scene scene;
  {
    CDoc::LogRoute route(doc_);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    scene = varnholt::BuildScene(*scope, [&](int percent) {
      progress.setValue(std::clamp(percent, 0, 99));
      QCoreApplication::processEvents();
      cancelled = progress.wasCanceled();
      return !cancelled;
    }, true, &MachiningModel());
    QGuiApplication::restoreOverrideCursor();
    // Once: a rebuild after an edit would repeat the same lines.
    if (!cancelled && !sceneProblemsReported_) {
      ReportSceneProblems(scene, doc_.Log());
      sceneProblemsReported_ = true;
    }
  }
  progress.reset();
  buildingScene_ = false;
  Finish();
  scene_->SetScene(std::move(scene), cancelled ? SceneView::State::Partial : SceneView::State::Current);
  UpdateSceneHighlight();
}

bool ChildFrame::CheckRules() {
  cct_Scope* scope = doc_.Scope();
  if (!scope || !problems_ || checkingRules_) return false;
  checkingRules_ = true;
  // On the calling thread like everything that reads the population; a large file takes a
  // while, so it can be stopped, and then says that what it shows is not all.
  QProgressDialog progress(QStringLiteral("Pr\u00fcfe die Regeln ..."), QStringLiteral("Abbrechen"),
                           0, 100, this);
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(500);
  rules::Report report;
  {
    CDoc::LogRoute route(doc_);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    report = rules::Check(*scope, [&](int percent) {
      progress.setValue(std::clamp(percent, 0, 99));
      QCoreApplication::processEvents();
      return !progress.wasCanceled();
    });
    QGuiApplication::restoreOverrideCursor();
  }
  progress.reset();
  checkingRules_ = false;
  const long errors = report.Errors(), warnings = report.Warnings();
  QString summary = QStringLiteral("%1 Fehler, %2 Warnungen; %3 Regeln gepr\u00fcft, %4 nicht gepr\u00fcft")
                        .arg(errors)
                        .arg(warnings)
                        .arg(report.evaluated.size())
                        .arg(report.notEvaluated.size());
  // Which rules were not evaluated the pane folds away under a line of its own.
  QStringList ids;
  for (const rules::Rule* rule : report.notEvaluated) ids << QString::fromStdString(rule->id);
  if (report.cancelled) summary = QStringLiteral("Abgebrochen: nicht alle Regeln sind gepr\u00fcft. ") + summary;
  problems_->Show(report.findings, summary + QStringLiteral("."), ids);
  Q_EMIT statusMessage(report.cancelled ? QStringLiteral("Regelpr\u00fcfung abgebrochen")
                                        : QStringLiteral("Regeln gepr\u00fcft: %1 Fehler, %2 Warnungen")
                                              .arg(errors)
                                              .arg(warnings));
  return !report.cancelled;
}

GcodeResult ChildFrame::MakeGcode(bool allowPartial, bool acceptImplausible) {
  GcodeResult result;
  {
    CDoc::LogRoute route(doc_);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    // As last chosen for the export, as the command line's gcode takes them.
    const GcodeChoices choices = GcodeChoices::Load();
    Program own;
    if (choices.OwnProgram()) {
      varnholt::ProgramOptions programOptions;
      programOptions.unitsGiven = choices.units != GcodeChoices::FromFile;
      programOptions.units = choices.units == GcodeChoices::Shop ? UnitSystem::Shop : UnitSystem::Si;
      programOptions.tolerance = choices.tolerance;
      own = varnholt::BuildProgram(*doc_.Scope(), programOptions);
    }
    const Program& program = choices.OwnProgram() ? own : ProjectProgram();
    GcodeOptions options;
    options.dialect = choices.fanuc ? Dialect::Fanuc : Dialect::LinuxCnc;
    options.tolerance = choices.tolerance;
    if (!choices.toolTable.isEmpty()) {
      std::ifstream stream(LocalPath(choices.toolTable));
      std::string why;
      if (!stream)
        why = "it cannot be read";
      else if (!varnholt::ReadToolTable(stream, options.toolNumbers, why) && why.empty())
        why = "it cannot be read";
      if (!why.empty()) {
        doc_.Log() << "G-code: the tool table \"" << LocalPath(choices.toolTable) << "\": " << why << '\n';
        QGuiApplication::restoreOverrideCursor();
        return result;  // not ok, and no workingstep to blame: the log says why
      }
    }
    options.allowPartial = allowPartial;
    options.acceptImplausible = acceptImplausible;
    // The name alone: the program goes to the machine, the folders of this computer do not.
    options.source = FromQt(DocumentName());
    result = varnholt::WriteGcode(program, options);
    QGuiApplication::restoreOverrideCursor();
  }
  return result;
}

void ChildFrame::LogGcode(const GcodeResult& result, bool problems) {
  for (const std::string& note : result.notes) doc_.Log() << "G-code: " << note << '\n';
  // A structure within itself is entered once: the program says where, as the command line does.
  for (const std::string& cycle : ProjectProgram().cycles) doc_.Log() << "G-code: " << cycle << '\n';
  if (problems) {
    for (const std::string& problem : result.problems) doc_.Log() << "G-code: " << problem << '\n';
    for (const std::string& step : result.implausible) doc_.Log() << "G-code: implausible: " << step << '\n';
  }
}

namespace {

// What the summary of a program written with implausible values adds.
QString ImplausibleSummary(size_t steps) {
  return steps == 1 ? QStringLiteral(" Unplausible Werte in einem Arbeitsschritt (siehe Protokoll).")
                    : QStringLiteral(" Unplausible Werte in %1 Arbeitsschritten (siehe Protokoll).").arg(steps);
}

// The lines of a message box's list: the first ten, then how many more.
QString Listed(const std::vector<std::string>& items) {
  constexpr size_t kListed = 10;
  QStringList listed;
  for (const std::string& item : items) {
    if (static_cast<size_t>(listed.size()) == kListed) break;
    listed << QStringLiteral("\u2022 ") + ToQt(item);
  }
  if (items.size() > kListed) listed << QStringLiteral("\u2026 und %1 weitere").arg(items.size() - kListed);
  return listed.join(QLatin1Char('\n'));
}

QString Everything(const std::vector<std::string>& items) {
  QStringList all;
  for (const std::string& item : items) all << ToQt(item);
  return all.join(QLatin1Char('\n'));
}

}  // namespace

QString ChildFrame::GcodeMapPath(const QString& gcodePath) {
  const QFileInfo file(gcodePath);
  return file.dir().filePath(file.completeBaseName() + QStringLiteral(".map.json"));
}

bool ChildFrame::ExportGcode() {
  if (!doc_.Scope()) return false;
  GcodeChoices choices = GcodeChoices::Load();
  if (!prompts_.gcodeChoices(this, choices)) return false;
  choices.Save();
  const QFileInfo document(path_);
  const QString proposed = document.dir().filePath(document.completeBaseName() + QStringLiteral(".ngc"));
  const QString path = prompts_.gcodePath(this, proposed);
  if (path.isEmpty()) return false;
  return ExportGcodeTo(path);
}

bool ChildFrame::ExportGcodeTo(const QString& path) {
  if (!doc_.Scope() || !EnsureProjectProgram()) return false;
  GcodeResult result = MakeGcode(false);
  LogGcode(result, true);
  auto refuse = [this](const QString& text, const QString& reason) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Varnholt"), text, QMessageBox::Ok, this);
    box.setInformativeText(reason);
    prompts_.exec(box);
    return false;
  };
  // Asked, with the list in the box itself: they are what the user decides on. A long one is
  // cut there and given whole in the details. No is the default.
  auto ask = [this](const QString& text, const QString& question, const std::vector<std::string>& items) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Varnholt"), text.arg(Listed(items)),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setInformativeText(question);
    box.setDetailedText(Everything(items));
    box.button(QMessageBox::Yes)->setText(QStringLiteral("&Ja"));
    box.button(QMessageBox::No)->setText(QStringLiteral("&Nein"));
    box.setDefaultButton(QMessageBox::No);
    return prompts_.exec(box) == QMessageBox::Yes;
  };
  const QString target = QDir::toNativeSeparators(path);
  bool partial = false;
  if (!result.ok && !result.problems.empty()) {
    if (!ask(QStringLiteral("Nicht jeder Arbeitsschritt l\u00e4sst sich als G-Code schreiben:\n\n%1"),
             QStringLiteral("Ohne diese Arbeitsschritte nach \"%1\" exportieren?").arg(target), result.problems)) {
      doc_.Log() << "G-code not written: " << result.problems.size()
                 << (result.problems.size() == 1 ? " workingstep cannot" : " workingsteps cannot")
                 << " be written.\n";
      Finish();
      return false;
    }
    // Its problems are those just logged; a refused program has no notes, this one has.
    partial = true;
    result = MakeGcode(true);
    LogGcode(result, false);
  }
  if (!result.ok && !result.implausible.empty()) {
    // Feeds and speeds no machine runs as meant: written as given only when the user says so.
    if (!ask(QStringLiteral("Das Programm enth\u00e4lt unplausible Vorsch\u00fcbe oder Drehzahlen:\n\n%1"),
             QStringLiteral("Trotzdem mit diesen Werten nach \"%1\" exportieren?").arg(target), result.implausible)) {
      doc_.Log() << "G-code not written: " << result.implausible.size()
                 << (result.implausible.size() == 1 ? " workingstep has" : " workingsteps have")
                 << " implausible feeds or speeds.\n";
      Finish();
      return false;
    }
    result = MakeGcode(partial, true);
    LogGcode(result, false);
  }
  if (!result.ok) {
    if (!partial) {
      doc_.Log() << "G-code not written: the program cannot be written.\n";
      Finish();
      return refuse(QStringLiteral("Das Programm l\u00e4sst sich nicht als G-Code schreiben; \"%1\" "
                                   "wurde nicht geschrieben.").arg(target),
                    QStringLiteral("Der Grund steht im Protokoll."));
    }
    doc_.Log() << "G-code not written: the program cannot be written even without those workingsteps.\n";
    Finish();
    return refuse(QStringLiteral("Das Programm l\u00e4sst sich auch ohne diese Arbeitsschritte nicht "
                                 "als G-Code schreiben; \"%1\" wurde nicht geschrieben.").arg(target),
                  QStringLiteral("Der Grund steht im Protokoll."));
  }

  // The map is of the program written, so it follows the program; a program whose map could
  // not be written is still the program, and is said to be so.
  const QString map = GcodeMapPath(path);
  std::string why;
  QString failed;
  if (!varnholt::ReplaceFile(LocalPath(path), [&](std::ostream& out) {
        out << result.text;
        return std::string();
      }, why)) {
    failed = path;
  } else if (!varnholt::ReplaceFile(LocalPath(map), [&](std::ostream& out) {
               varnholt::WriteGcodeMap(result, out);
               return std::string();
             }, why)) {
    failed = map;
  }
  if (!failed.isEmpty()) {
    doc_.Log() << "G-code: cannot write \"" << LocalPath(failed) << "\": " << why << '\n';
    Finish();
    const QString text = failed == path
                             ? QStringLiteral("Der G-Code konnte nicht nach \"%1\" geschrieben werden.")
                             : QStringLiteral("Der G-Code ist geschrieben, seine Zuordnung der Zeilen "
                                              "konnte nicht nach \"%1\" geschrieben werden.");
    return refuse(text.arg(QDir::toNativeSeparators(failed)), ToQt(why));
  }
  doc_.Log() << "G-code written to \"" << LocalPath(path) << "\" (" << result.lines.size()
             << " lines), its source map to \"" << LocalPath(map) << "\".\n";
  Finish();
  QString summary = QStringLiteral("%1 Zeilen G-Code aus %2, geschrieben nach %3.")
                        .arg(result.lines.size())
                        .arg(DocumentName(), QDir::toNativeSeparators(path));
  if (!result.problems.empty())
    summary += QStringLiteral(" Ohne %1 Arbeitsschritte (siehe Protokoll).").arg(result.problems.size());
  if (!result.implausible.empty())
    summary += ImplausibleSummary(result.implausible.size());
  gcode_->Show(result, summary);
  Q_EMIT statusMessage(QStringLiteral("G-Code geschrieben: %1").arg(QDir::toNativeSeparators(path)));
  return true;
}

bool ChildFrame::ShowGcode() {
  if (!doc_.Scope() || !gcode_ || !EnsureProjectProgram()) return false;
  // Shown, not written: what can be written is shown at once, implausible values as given,
  // and the rest named.
  const GcodeResult result = MakeGcode(true, true);
  LogGcode(result, true);
  Finish();
  if (!result.ok) {
    gcode_->Show(GcodeResult{},
                 QStringLiteral("Kein G-Code aus %1: das Programm l\u00e4sst sich nicht schreiben "
                                "(siehe Protokoll).").arg(DocumentName()));
    return false;
  }
  QString summary = QStringLiteral("%1 Zeilen G-Code aus %2 (nicht gespeichert).")
                        .arg(result.lines.size())
                        .arg(DocumentName());
  if (!result.problems.empty())
    summary += QStringLiteral(" Ohne %1 Arbeitsschritte (siehe Protokoll).").arg(result.problems.size());
  if (!result.implausible.empty())
    summary += ImplausibleSummary(result.implausible.size());
  gcode_->Show(result, summary);
  return true;
}

namespace {

QString Millimetres(double length) { return QStringLiteral("%1 mm").arg(length, 0, 'f', 1); }

/// The feeds of a step, as the file gives them converted to mm/min; a long list is cut, the
/// project may use dozens.
QString Feeds(const std::vector<double>& feeds) {
  constexpr size_t kShown = 8;
  if (feeds.empty()) return QStringLiteral("none");
  QStringList shown;
  for (size_t i = 0; i < feeds.size() && i < kShown; ++i) shown << QString::number(feeds[i], 'g', 6);
  QString text = shown.join(QStringLiteral(", "));
  if (feeds.size() > kShown) text += QStringLiteral(", \u2026 %1 more").arg(feeds.size() - kShown);
  return text + QStringLiteral(" mm/min");
}

/// The lines of the details pane for the time of a workingstep or of the whole program.
DetailRows TimeRows(const StepTime& time) {
  DetailRows rows;
  auto add = [&rows](const QString& label, const QString& text) { rows.push_back({label, text, QString()}); };
  add(QStringLiteral("Schnittweg:"), Millimetres(time.cutting));
  add(QStringLiteral("Eilgangweg:"), Millimetres(time.rapid));
  add(time.feeds.size() > 1 ? QStringLiteral("Feeds:") : QStringLiteral("Feed:"), Feeds(time.feeds));
  QString cutting = ToQt(Duration(time.cuttingSeconds));
  // A time that leaves out moves must not pass for the whole time.
  if (time.feedMissing) cutting += QStringLiteral(" (Bewegungen ohne Vorschub nicht gez\u00e4hlt)");
  add(QStringLiteral("Schnittzeit:"), cutting);
  add(QStringLiteral("Eilgangzeit:"), ToQt(Duration(time.rapidSeconds)));
  add(QStringLiteral("Werkzeugwechselzeit:"), ToQt(Duration(time.toolChangeSeconds)));
  if (time.dwellSeconds > 0) add(QStringLiteral("Verweilzeit:"), ToQt(Duration(time.dwellSeconds)));
  add(QStringLiteral("Gesamtzeit:"), ToQt(Duration(time.Total())));
  return rows;
}

QString Number(double value) { return QString::number(value, 'g', 6); }

/// What of a workingstep's technology is implausible, in German, as the warning beside its time.
QString Implausible(const ProgramStep& step) {
  QStringList parts;
  for (const Implausibility& value : step.implausible) {
    const QString v = Number(value.value), limit = Number(value.limit);
    switch (value.kind) {
      case Implausibility::FeedLow:
        parts << QStringLiteral("Vorschub %1 mm/min unter %2 mm/min").arg(v, limit);
        break;
      case Implausibility::FeedHigh:
        parts << QStringLiteral("Vorschub %1 mm/min \u00fcber %2 mm/min").arg(v, limit);
        break;
      case Implausibility::Spindle:
        parts << QStringLiteral("Drehzahl %1 U/min \u00fcber %2 U/min").arg(v, limit);
        break;
      case Implausibility::Cutspeed:
        parts << QStringLiteral("Schnittgeschwindigkeit %1 m/min \u00fcber %2 m/min").arg(v, limit);
        break;
      case Implausibility::FeedPerTooth:
        parts << QStringLiteral("Vorschub je Zahn %1 mm \u00fcber %2 mm").arg(v, limit);
        break;
    }
  }
  return QStringLiteral("unplausibel: ") + parts.join(QStringLiteral("; "));
}

/// The warning beside a time: after the total, the last row.
void Warn(DetailRows& rows, const QString& warning) {
  if (!rows.empty()) rows.back().text += QStringLiteral("  \u26a0 ") + warning;
}

}  // namespace

const varnholt::Model& ChildFrame::MachiningModel() {
  if (!model_) model_ = std::make_unique<varnholt::Model>(varnholt::ReadModel(*doc_.Scope()));
  return *model_;
}

const varnholt::Program& ChildFrame::ProjectProgram() {
  if (!program_) program_ = std::make_unique<varnholt::Program>(varnholt::BuildProgram(MachiningModel()));
  return *program_;
}

bool ChildFrame::EnsureProjectProgram() {
  if (program_) return true;
  // The progress window lets events through, among them a second request.
  if (!doc_.Scope() || buildingProgram_) return false;
  // A file below the size whose time waits for a request builds its program at once: the
  // progress window, which lets events through, is kept for the files that need it.
  if (static_cast<long>(doc_.Scope()->EntryCount()) < timeOnRequest_) {
    ProjectProgram();
    return true;
  }
  buildingProgram_ = true;
  // On the calling thread like everything that reads the population: a large file's toolpaths
  // take a while to read, so it can be stopped.
  QProgressDialog progress(QStringLiteral("Baue das Programm auf ..."), QStringLiteral("Abbrechen"), 0, 100, this);
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(500);
  varnholt::ProgramOptions options;
  options.progress = [&progress](int percent) {
    progress.setValue(std::clamp(percent, 0, 99));
    QCoreApplication::processEvents();
    return !progress.wasCanceled();
  };
  varnholt::Program program;
  {
    CDoc::LogRoute route(doc_);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    program = varnholt::BuildProgram(MachiningModel(), options);
    QGuiApplication::restoreOverrideCursor();
  }
  progress.reset();
  buildingProgram_ = false;
  if (program.cancelled) {
    Q_EMIT statusMessage(QStringLiteral("Aufbau des Programms abgebrochen"));
    return false;
  }
  program_ = std::make_unique<varnholt::Program>(std::move(program));
  return true;
}

void ChildFrame::MakeProjectTime() {
  if (!doc_.Scope() || !EnsureProjectProgram()) return;
  CDoc::LogRoute route(doc_);
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  projectTime_ = varnholt::MachiningTime(ProjectProgram());
  QGuiApplication::restoreOverrideCursor();
}

// For a workingstep: how many moves it has, from the file's toolpaths or generated, and how
// long its cutting and rapid moves are; the reason where it has none. Its machining time, and
// the project's, go to `time`.
QString ChildFrame::MotionOf(cct_Instance* instance, DetailRows& time) {
  time.clear();
  if (!instance || !doc_.Scope()) return QString();
  if (varnholt::IsOfType(*instance, "project")) {
    // The project is the row selected when a file opens: a large one would open seconds later.
    if (!projectTime_ && static_cast<long>(doc_.Scope()->EntryCount()) < timeOnRequest_) MakeProjectTime();
    // Not worked out yet (a large file), or stopped: offered on request.
    if (!projectTime_) {
      time.push_back({QStringLiteral("Bearbeitungszeit:"),
                      QStringLiteral("berechnen (eine gro\u00dfe Datei: das dauert eine Weile)"),
                      DetailsView::TimeLink()});
      return QString();
    }
    // A project without a workingstep the G-code runs has no time to speak of.
    const auto& steps = projectTime_->steps;
    if (std::none_of(steps.begin(), steps.end(), [](const StepTime& t) { return t.run; })) return QString();
    time = TimeRows(projectTime_->total);
    const auto implausible = std::count_if(steps.begin(), steps.end(), [](const StepTime& t) { return t.implausible; });
    if (implausible == 1)
      Warn(time, QStringLiteral("unplausibel: Vorsch\u00fcbe oder Drehzahlen eines Arbeitsschritts"));
    else if (implausible > 1)
      Warn(time, QStringLiteral("unplausibel: Vorsch\u00fcbe oder Drehzahlen von %1 Arbeitsschritten").arg(implausible));
    return QString();
  }
  if (!varnholt::IsOfType(*instance, "workingstep")) return QString();
  varnholt::ProgramOptions options;
  options.only = instance;
  varnholt::Program program;
  varnholt::ProgramTime machining;
  {
    CDoc::LogRoute route(doc_);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    program = varnholt::BuildProgram(MachiningModel(), options);
    machining = varnholt::MachiningTime(program);
    QGuiApplication::restoreOverrideCursor();
  }
  if (program.steps.empty()) return QString();
  const varnholt::ProgramStep& step = program.steps.front();
  if (step.moves.empty()) return QStringLiteral("keine (%1)").arg(ToQt(step.reason));
  // The first time the workplans reach it, as the moves above.
  if (!machining.steps.empty()) {
    const StepTime& t = machining.steps.front();
    if (!t.run) {
      time.push_back({QStringLiteral("Machining time:"),
                      QStringLiteral("none: the G-code does not run it (%1)").arg(ToQt(t.reason)), QString()});
    } else {
      time = TimeRows(t);
      if (!step.implausible.empty()) Warn(time, Implausible(step));
    }
  }
  const varnholt::MoveLengths lengths = varnholt::Lengths(step.start, step.moves);
  return QStringLiteral("%1 %2, Schnitt %3 mm, Eilgang %4 mm")
      .arg(step.moves.size())
      .arg(step.explicitMoves ? QStringLiteral("aus der Datei") : QStringLiteral("erzeugt"))
      .arg(lengths.cutting, 0, 'f', 1)
      .arg(lengths.rapid, 0, 'f', 1);
}

}  // namespace varnholt
