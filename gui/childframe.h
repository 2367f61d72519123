// A document window: one open exchange file, its instance tree on the left (one third) and its
// log on the right (two thirds). Its implementation is split by concern over childframe*.cpp,
// as its private part is grouped.
#ifndef VARNHOLT_GUI_CHILDFRAME_H
#define VARNHOLT_GUI_CHILDFRAME_H

#include <utility>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "detailsview.h"
#include "finddialog.h"
#include "gcodeview.h"
#include "problemsview.h"
#include "qttreecontrol.h"
#include "sceneview.h"
#include "stockview.h"
#include "varnholt/doc.h"
#include "varnholt/gcode.h"
#include "varnholt/model.h"
#include "varnholt/program.h"
#include "varnholt/simulate.h"
#include "varnholt/navigation.h"
#include "varnholt/treeview.h"

class QSplitter;
class QUndoStack;
class QTreeWidgetItem;

namespace varnholt {

class LogView;
struct Prompts;
struct SlotState;

class ChildFrame : public QWidget {
  Q_OBJECT
 public:
  explicit ChildFrame(Prompts& prompts, QWidget* parent = nullptr);
  ~ChildFrame() override;

  /// Opens the file and shows its tree; false when it could not be opened (the log says why).
  bool Open(const QString& path);
  /// Progress of the next Open, 0 to 100.
  void SetProgress(CDoc::Progress progress) { doc_.SetProgress(std::move(progress)); }
  /// Asks for a file name and saves; false when cancelled or when saving failed (the user was
  /// told then).
  bool Save();
  /// Saves to path; on failure the user is told and the log says why.
  bool SaveTo(const QString& path);
  /// The "Format" command: the appearance dialog.
  void Format();
  /// Expands the tree from the root down to the given number of levels.
  void ExpandLevels(int levels);

  /// Labels every row from the model again (after the display of reals changed).
  void Relabel();
  /// The tree's share of the width; the user's choice once the divider was moved.
  double TreeShare() const;
  bool TreeShareSetByUser() const { return splitByUser_; }
  /// The share the divider starts at (a remembered choice) instead of one third.
  void SetTreeShare(double share);
  /// The least width of the tree while the main window shows panes beside the documents (0 for
  /// none): the log gives up its room first, down to kLogLeast, whatever the divider says.
  void SetTreeLeast(int pixels);
  int TreeLeast() const { return treeLeast_; }
  static constexpr int kLogLeast = 100;
  /// Where Tab and Umschalt+Tab go on from the tree and the log (true when handled there).
  void SetTabOut(std::function<bool(bool next)> tabOut) { tabOut_ = std::move(tabOut); }

  /// True while edits, clears or inserts differ from what was last opened or saved.
  bool IsModified() const { return modified_; }
  /// The document's edits, for undo and redo.
  QUndoStack* UndoStack() const { return undo_; }
  /// Clears the value of the current item (Delete); false when nothing changed.
  bool ClearCurrent();
  /// Copies the current row (Ctrl+C): a value exactly as stored, any other row its label.
  /// Answers what was copied.
  QString CopyCurrent();
  /// Copies the record of the current row's instance as a save writes it.
  QString CopyCurrentRecord();
  /// Expands everything below the item ("*"), with a progress window that shows within
  /// kExpandFeedbackMs and can stop it, asking before each further kExpandBatch new rows.
  void ExpandAll(QTreeWidgetItem* item);
  static constexpr size_t kExpandBatch = 100000;
  static constexpr int kExpandFeedbackMs = 300;
  /// From this many instances on, the progress window shows at once.
  static constexpr long kExpandShowAtOnce = 50000;
  /// How often the events wait at most while rows are built (the window stays responsive).
  static constexpr int kExpandEventsMs = 100;
  /// True while ExpandAll runs.
  bool Expanding() const { return expanding_; }
  QString DocumentName() const;
  QString PathName() const;

  /// The details pane of this document; the main window shows it in its dock. It follows the
  /// current item as soon as the events of a selection change are handled.
  DetailsView* Details() const { return details_; }
  /// Shows the current item's instance in the details pane now.
  void UpdateDetails();

  /// The 3D view of this document; the main window shows it in its dock. Shown the first time
  /// (and again after changes), it asks for its scene; it highlights what the current item
  /// belongs to.
  SceneView* Scene3D() const { return scene_; }
  /// The findings of this document's last rule check; the main window shows them in its dock.
  ProblemsView* Problems() const { return problems_; }
  /// Checks the document against the rules of the data model and the machining preflight, with
  /// a progress window that can stop it; the findings go to the Probleme pane. False when
  /// stopped or when there is no document.
  bool CheckRules();
  /// The program text of this document's last G-code export or display; the main window shows
  /// it in its dock.
  GcodeView* Gcode() const { return gcode_; }
  /// Asks for a file name and exports the G-code there; false when cancelled or nothing was
  /// written (the user was told why).
  bool ExportGcode();
  /// Writes the program of the project as G-code to `path` and its source map beside it
  /// ("<path without its ending>.map.json"), each replaced only once complete. A program of
  /// which a workingstep cannot be written is written without those only when the user agrees.
  /// The notes and problems of the writer go to the log; the G-code pane shows what was written.
  bool ExportGcodeTo(const QString& path);
  /// "Als Tabelle exportieren...": asks for a file and writes the table of the current
  /// instance's entity there (ExportTableTo); false when there is no such instance, when
  /// cancelled or when nothing was written (the user was told why).
  bool ExportTable();
  /// Writes the table of `entity` (its instances and its subtypes', as `table` does) to `path`,
  /// as an xlsx workbook when the name ends in .xlsx, else as CSV; the file is replaced only
  /// once complete. The outcome goes to the log, a failure also to a message box.
  bool ExportTableTo(const std::string& entity, const QString& path);
  /// The context menu's "Als Tabelle exportieren..."; enabled on the row of an instance of
  /// an entity of the schema.
  QAction* ExportTableAction() const { return exportTable_; }
  /// Shows the G-code of the program in the G-code pane without writing a file, leaving out
  /// what cannot be written (the log and the pane say what); false when nothing could be made.
  bool ShowGcode();
  /// From this many instances on, the details pane works out the project's machining time only
  /// when asked (a link), since the whole program of a large file takes seconds to build.
  static constexpr long kTimeOnRequest = 50000;
  void SetTimeOnRequest(long entries) { timeOnRequest_ = entries; }
  /// The source map's file beside a G-code file.
  static QString GcodeMapPath(const QString& gcodePath);

  /// The "Materialabtrag" pane of this document; the main window shows it in its dock.
  StockView* Stock() const { return stock_; }
  /// Runs the program on the workpiece's stock, with a progress window that can stop it: its
  /// findings go to the Probleme pane, the stock after the current workingstep (or the last)
  /// to the pane. False when stopped or when nothing could be simulated (the pane says why).
  bool RunSimulation();
  /// Shows the stock after the run's workingstep `step` (0 for the first); false without one.
  bool ShowStockStep(int step);
  /// The spacing of the stock's rays, mm; 0 (the default) chooses it from the stock's size.
  void SetSimulationResolution(double mm) { simResolution_ = mm; }
  /// The last run, null before one (or after one that was stopped).
  const SimulateResult* Simulation() const { return simulation_.get(); }
  /// A finding of the last run chosen in the Probleme pane: selects its workingstep and marks
  /// its place in the stock's picture.
  bool GoToSimulationFinding(int index);

  /// Builds the scene of the document for the 3D view, with a progress window that can stop it
  /// on a large file. The scene's problems go to the log, once per document.
  void RebuildScene();

  /// Selects the item where the instance first appears, expanding the way to it from the
  /// project; an instance no way reaches is shown in the details pane, which says so. True
  /// when the tree selects it.
  bool GoTo(cct_Instance* instance);
  bool GoToName(const QString& name);
  /// The go-to of Enter and double-click: from an instance item under a reference to where that
  /// instance first appears. False for other items.
  bool GoToReferenced(QTreeWidgetItem* item);
  /// Back and forward through the items selected before.
  bool Back();
  bool Forward();
  bool CanGoBack() const;
  bool CanGoForward() const;

  /// The search window (made on first use), shown and ready for input.
  FindDialog* Find();
  void ShowFind();
  /// Searches with the search window's query, showing progress on a large file.
  void RunFind();
  /// The next result of the last search (F3); opens the search window when there is none.
  bool FindNext();
  /// The result before (Shift+F3).
  bool FindPrevious();
  /// Follows a line of the log to the instance it reports on.
  bool GoToLogLine(const QString& line);

  CDoc& Doc() { return doc_; }
  InstanceTree* Tree() const { return tree_; }
  LogView* Log() const { return log_; }
  QSplitter* Splitter() const { return splitter_; }
  QtTreeControl& Control() { return control_; }
  CStpTreeView& View() { return view_; }

  /// Asks whether to save unsaved changes first; true when the window may close (saved, or the
  /// user chose not to). The window then closes without asking again, until KeepOpen.
  bool MayClose();
  void KeepOpen() { closeConfirmed_ = false; }

  /// The text of the question asked before closing with unsaved changes.
  static QString SaveQuestion(const QString& name);
  /// What the details pane says of an instance that no way from the project reaches.
  static QString UnreachedNote();
  static constexpr int kHistoryLength = 200;

 Q_SIGNALS:
  void modifiedChanged(bool modified);
  /// A short message for the status bar (a refused edit).
  void statusMessage(const QString& text);
  /// Back or forward became possible or impossible.
  void historyChanged();
  /// A save under another name made the document that file.
  void pathChanged(const QString& path);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool focusNextPrevChild(bool next) override;

 private:
  /// Places the divider: one third (or the remembered share) until the user moves it, and never
  /// less than the tree's least width.
  void ApplySplit();
  // The window, files and table export (childframe.cpp).
  /// The file name as the operating system takes it.
  static std::string LocalPath(const QString& path);
  /// After every command: mark items whose children wait, show the log.
  void Finish();
  void SetModified(bool modified);
  bool AskToSave();
  /// The instance whose row is current when it is one of an entity of the schema; else null.
  cct_Instance* CurrentTableInstance();

  // Editing (childframe_edit.cpp).
  void OnLabelEdited(const QModelIndex& index, const QString& text);
  void OnDoubleClicked(QTreeWidgetItem* item);
  /// After a change of who refers to whom (an insert, its undo or redo).
  void PopulationChanged();
  /// Records a value change already made, so that undo and redo restore either state.
  void PushValueChange(const ValueSlot& slot, const SlotState& before, const QString& what);
  /// An attribute item of a list of simple values.
  bool IsValueList(QTreeWidgetItem* item);
  void Report(const EditOutcome& outcome);

  // The tree, details, navigation and search (childframe_view.cpp).
  void OnExpanded(QTreeWidgetItem* item);
  void OnCurrentChanged(QTreeWidgetItem* item);
  void ShowDetailsOf(cct_Instance* instance, const QString& note);
  bool GoToHistory(int step);
  QString FindTitle() const;
  /// Moves the search window off the current row when it covers it.
  void KeepFindClear();

  // The 3D view, G-code and machining time (childframe_machining.cpp).
  /// For a workingstep, the line about its moves, with its machining time in `time`; for the
  /// project, only the time of the whole program.
  QString MotionOf(cct_Instance* instance, DetailRows& time);
  /// The G-code of the whole program.
  GcodeResult MakeGcode(bool allowPartial, bool acceptImplausible = false);
  /// The writer's notes to the log, and its problems when `problems` is set.
  void LogGcode(const GcodeResult& result, bool problems);
  /// Highlights in the 3D view what the current item, or the nearest item above it that the
  /// scene knows, was drawn from.
  void UpdateSceneHighlight();
  /// Works out the project's machining time (the details pane's link asked for it).
  void MakeProjectTime();
  const varnholt::Model& MachiningModel();
  const varnholt::Program& ProjectProgram();
  /// Builds the project's program where it is not built yet, with progress and a way to stop
  /// it; false when stopped (nothing is kept then).
  bool EnsureProjectProgram();
  /// After an insert: where it gave an operation its own toolpath list, the log names each of
  /// its workingsteps left without moves, and why.
  void LogToolpathsNowGiven(cct_Instance* instance, long attribute);

  // The material-removal simulation (childframe_stock.cpp).
  /// The run's workingstep the current item is or lies under; -1 for none.
  int CurrentSimulationStep();
  /// The pane follows the tree to the workingstep selected there.
  void FollowStockStep();
  struct StockFrame {
    QImage image;
    Camera camera;
    QString caption;
  };

  Prompts& prompts_;
  QAction* exportTable_ = nullptr;
  CDoc doc_;
  QString path_;  // the file the document is: the one opened, then the one last saved
  QSplitter* splitter_;
  InstanceTree* tree_;
  LogView* log_;
  QtTreeControl control_;
  CStpTreeView view_;
  QUndoStack* undo_;
  QPointer<DetailsView> details_;
  QPointer<FindDialog> find_;
  QPointer<SceneView> scene_;
  QPointer<ProblemsView> problems_;
  QPointer<GcodeView> gcode_;
  QPointer<StockView> stock_;
  /// The last run, and the model it ran on (the picture places the stock and its gouges by it).
  std::shared_ptr<const SimulateResult> simulation_;
  std::shared_ptr<const Model> simModel_;
  /// Per workingstep of the run, its setup's origin in the machine (where `at` is drawn).
  std::vector<Placement> simOrigins_;
  /// The pictures made, per workingstep, until the next run.
  std::map<int, StockFrame> stockPictures_;
  std::optional<Vec3> simMark_;
  int simMarkStep_ = -1;
  double simResolution_ = 0;
  bool simulating_ = false;
  /// The project's machining time, built once for the details pane until the next change: the
  /// project is the row selected first, and its program may take a while on a large file.
  std::optional<ProgramTime> projectTime_;
  /// The machining model and the project's program, read once per state of the document: the
  /// 3D view's time, the G-code pane and the details pane all take them, until the next change.
  std::unique_ptr<varnholt::Model> model_;
  std::unique_ptr<varnholt::Program> program_;
  long timeOnRequest_ = kTimeOnRequest;
  bool checkingRules_ = false;
  bool sceneProblemsReported_ = false;
  bool buildingScene_ = false;
  bool buildingProgram_ = false;
  std::unique_ptr<Navigator> navigator_;
  QTimer detailsTimer_;
  std::vector<QPersistentModelIndex> history_;
  int historyAt_ = -1;
  bool navigating_ = false;
  bool modified_ = false;
  bool expanding_ = false;
  bool splitByUser_ = false;
  double startShare_ = 1.0 / 3;
  int treeLeast_ = 0;
  std::function<bool(bool)> tabOut_;
  bool closeConfirmed_ = false;
};

}  // namespace varnholt

#endif
