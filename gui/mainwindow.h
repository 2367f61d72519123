// The main window: a multiple-document area with one window per open file, the German menus,
// the recently used files, toolbar and status bar.
#ifndef VARNHOLT_GUI_MAINWINDOW_H
#define VARNHOLT_GUI_MAINWINDOW_H

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include "prompts.h"
#include "varnholt/scene.h"

class QAction;
class QDockWidget;
class QLabel;
class QMdiArea;
class QStackedWidget;
class QToolButton;
class QMdiSubWindow;

namespace varnholt {

class ChildFrame;
class DiffView;

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  static constexpr int kRecentCount = 5;
  static const char* const kTitle;

  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

  /// Opens a document window for the file, or brings forward the one that has it open already;
  /// null when the file could not be opened (the user was shown why).
  ChildFrame* OpenFile(const QString& path);
  ChildFrame* ActiveFrame() const;
  QList<ChildFrame*> Frames() const;
  QMdiArea* MdiArea() const { return mdi_; }
  Prompts& UserPrompts() { return prompts_; }

  /// Whether opened files go into the recently used list (not for screenshots).
  void SetRememberRecent(bool remember) { rememberRecent_ = remember; }
  /// Restores size, position, docks, the documents' divider and the display options of the last
  /// session, and remembers them from now on when the window closes (the program does this;
  /// screenshots and tests start from the defaults).
  void RestoreState();
  void SaveState();
  QStringList RecentFiles() const { return recent_; }
  /// The documents open now, the active one and each one's selected instance, for the next
  /// start (nothing when the user turned that off); done when the window closes.
  void SaveSession();
  /// Opens the documents of the last session (unless turned off), skipping files gone (the
  /// status bar names them); answers how many were opened.
  int RestoreSession();
  bool RestoresSession() const;
  /// The setting of that choice (read by RestoreState).
  static const char* const kSessionKey;
  /// "Ansicht > Darstellung > Sitzung wiederherstellen".
  QAction* RestoreSessionAction() const { return restoreSession_; }
  /// What the empty window says: how to open a file, and the recently used ones as links.
  QLabel* EmptyHint() const { return emptyHint_; }

  /// The menu commands, for the toolbar and for tests.
  QAction* OpenAction() const { return open_; }
  QAction* SaveAction() const { return save_; }
  QAction* CloseAction() const { return close_; }
  QAction* FormatAction() const { return format_; }
  QAction* AboutAction() const { return about_; }
  QAction* UndoAction() const { return undo_; }
  QAction* RedoAction() const { return redo_; }
  QAction* FindAction() const { return find_; }
  QAction* FindNextAction() const { return findNext_; }
  QAction* BackAction() const { return back_; }
  QAction* ForwardAction() const { return forward_; }
  QAction* FindPreviousAction() const { return findPrevious_; }
  QAction* QuitAction() const { return quit_; }
  QAction* HelpAction() const { return help_; }
  /// "&Fenster": arranging the document windows and going from one to the next.
  QAction* CascadeAction() const { return cascade_; }
  QAction* TileAction() const { return tile_; }
  QAction* NextWindowAction() const { return nextWindow_; }
  QAction* PreviousWindowAction() const { return previousWindow_; }
  /// "Darstellung": documents as tabs, and how the tree shows reals.
  QAction* TabsAction() const { return tabs_; }
  QAction* ExactRealsAction() const { return exactReals_; }
  QAction* FourDigitRealsAction() const { return fourDigitReals_; }
  /// The document windows, the one last used first.
  QList<QMdiSubWindow*> UsedOrder() const;
  /// The dock that shows the details of the active document's current instance.
  QDockWidget* DetailsDock() const { return detailsDock_; }
  /// The details pane the dock shows now.
  QWidget* ShownDetails() const;
  /// The dock of the active document's 3D view ("&3D-Ansicht" in "&Ansicht"), hidden at first.
  QDockWidget* SceneDock() const { return sceneDock_; }
  /// The dock of the active document's rule findings.
  QDockWidget* ProblemsDock() const { return problemsDock_; }
  QAction* CheckRulesAction() const { return checkRules_; }
  /// The dock of the active document's G-code, shown by an export and by "G-Code anzeigen".
  QDockWidget* GcodeDock() const { return gcodeDock_; }
  QWidget* ShownGcode() const;
  QAction* ExportGcodeAction() const { return exportGcode_; }
  /// "Vergleichen mit...": the active document against a second file, in the "Unterschiede" dock.
  QAction* CompareAction() const { return compare_; }
  QDockWidget* DiffDock() const { return diffDock_; }
  DiffView* Differences() const { return diffView_; }
  /// Compares the active document with the file at `path` (opened or brought forward), places
  /// the two windows side by side and shows the differences; false when there is no second
  /// document to compare with.
  bool CompareWith(const QString& path);
  QAction* ShowGcodeAction() const { return showGcode_; }
  QWidget* ShownScene() const;
  /// The 3D view's commands, on the active document's view.
  QAction* SceneFitAction() const { return sceneFit_; }
  QAction* SceneViewAction(ViewDirection direction) const {
    return sceneViews_[static_cast<int>(direction)];
  }
  QAction* SceneRebuildAction() const { return sceneRebuild_; }
  /// "Neu aufbauen", always in view at the head of the 3D view's tools.
  QToolButton* SceneRebuildButton() const { return sceneRebuildButton_; }

  /// Beside the 3D view, a comparison, the problems or the G-code, the tree of the document
  /// keeps this share of the window's width and at least kTreeLeast pixels (in a comparison the
  /// two trees share it); the docks beside give up room for it, the log first.
  static constexpr double kTreeShareLeast = 0.4;
  static constexpr int kTreeLeast = 240;
  /// A dock beside the documents is not made narrower than this to make room.
  static constexpr int kDockLeast = 160;
  /// Makes that room now (it is made by itself, soon after the window or a dock changes).
  void FitPanes();
  /// The least width the tree gets now; 0 while no such dock is shown.
  int TreeLeast() const;

  /// The panes the keyboard reaches: Ctrl+1 to Ctrl+7 go to one, F6 and Umschalt+F6 go round.
  enum class Pane { Tree, Details, Log, Scene, Problems, Gcode, Differences };
  static constexpr int kPaneCount = 7;
  /// Moves the focus to the pane, showing its dock first; false without a document.
  bool FocusPane(Pane pane);
  /// The widget of a pane that takes the focus; null when there is none.
  QWidget* PaneWidget(Pane pane) const;
  /// The pane the focus is in, or -1.
  int FocusedPane() const;
  /// F6: the next pane shown (step 1) or the one before (-1).
  void CyclePanes(int step);
  QAction* PaneAction(Pane pane) const { return paneActions_[static_cast<int>(pane)]; }

  /// The dock of the active document's stock after a workingstep ("&Materialabtrag" in
  /// "&Ansicht", its last entry), hidden at first; showing it the first time runs the
  /// simulation.
  QDockWidget* StockDock() const { return stockDock_; }
  QAction* StockAction() const { return stockShown_; }
  QAction* StockRunAction() const { return stockRun_; }

 public Q_SLOTS:
  void Open();
  void Save();
  void CloseDocument();
  void Format();
  void About();
  void Help();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool focusNextPrevChild(bool next) override;

 private:
  // The window, its docks, documents and remembered state (mainwindow.cpp).
  /// The document window the user works in: the active one, or the one last active while no
  /// window of this program has the focus.
  QMdiSubWindow* CurrentSub() const;
  void CreateSceneDock();
  void CreateStockDock();
  void SetExactReals(bool exact);
  /// Title and document commands follow the active document window.
  void UpdateForActive();
  void Remember(const QString& path);
  void Forget(const QString& path);
  void ShowRecent();

  // The room of the panes and the keyboard's way through them (mainwindow_layout.cpp).
  void CreatePaneKeys();
  /// Tab and Umschalt+Tab go through the panes of the active document in reading order.
  void ChainTabOrder();
  /// The widgets Tab goes through, in order, for the active document.
  QList<QWidget*> TabChain() const;
  /// Moves the focus along that chain from the widget that has it; false when it is not on it.
  bool TabAlongChain(bool next);
  /// The two documents of the comparison shown side by side, or none.
  QList<ChildFrame*> SideBySide() const;

  // The session and the empty window's hint (mainwindow_session.cpp).
  void CreateEmptyHint();
  void UpdateEmptyHint();

  // The menus and the toolbar (mainwindow_menus.cpp).
  void CreateMenus();

  // Arranging the document windows and going through them (mainwindow_windows.cpp).
  void CreateWindowMenu(QMenu* menu);
  void ShowWindowList();
  /// Ctrl+Tab and Ctrl+Shift+Tab: through the documents in the order last used, that order
  /// held until Ctrl is let go.
  void CycleWindows(int step, bool keyHeld);
  void EndCycle();
  void SetTabbed(bool tabbed);
  /// A new document window fits into the area, wholly visible.
  void FitIntoArea(QMdiSubWindow* sub);

  Prompts prompts_;
  QMdiArea* mdi_;
  QPointer<QMdiSubWindow> lastActive_;
  QAction* open_ = nullptr;
  QAction* save_ = nullptr;
  QAction* close_ = nullptr;
  QAction* format_ = nullptr;
  QAction* about_ = nullptr;
  QAction* undo_ = nullptr;
  QAction* redo_ = nullptr;
  QAction* findSeparator_ = nullptr;
  QAction* find_ = nullptr;
  QAction* findNext_ = nullptr;
  QAction* back_ = nullptr;
  QAction* forward_ = nullptr;
  QAction* findPrevious_ = nullptr;
  QAction* quit_ = nullptr;
  QAction* help_ = nullptr;
  QAction* cascade_ = nullptr;
  QAction* tile_ = nullptr;
  QAction* nextWindow_ = nullptr;
  QAction* previousWindow_ = nullptr;
  QAction* windowListSeparator_ = nullptr;
  QMenu* windowMenu_ = nullptr;
  QList<QAction*> windowActions_;
  QAction* tabs_ = nullptr;
  QAction* exactReals_ = nullptr;
  QAction* fourDigitReals_ = nullptr;
  QList<QPointer<QMdiSubWindow>> used_;  // the one last used first
  QList<QPointer<QMdiSubWindow>> cycle_;  // the order Ctrl+Tab goes through, while Ctrl is held
  int cycleAt_ = 0;
  bool rememberState_ = false;
  QDockWidget* detailsDock_ = nullptr;
  QStackedWidget* detailsStack_ = nullptr;
  QDockWidget* sceneDock_ = nullptr;
  QStackedWidget* sceneStack_ = nullptr;
  QDockWidget* problemsDock_ = nullptr;
  QStackedWidget* problemsStack_ = nullptr;
  QAction* checkRules_ = nullptr;
  QDockWidget* gcodeDock_ = nullptr;
  QStackedWidget* gcodeStack_ = nullptr;
  QAction* exportGcode_ = nullptr;
  QAction* compare_ = nullptr;
  QDockWidget* diffDock_ = nullptr;
  DiffView* diffView_ = nullptr;
  // The documents of the comparison shown, for a click on a row; null once closed.
  QPointer<ChildFrame> diffA_, diffB_;
  QAction* showGcode_ = nullptr;
  QAction* sceneFit_ = nullptr;
  QAction* sceneViews_[4] = {};
  QAction* sceneRebuild_ = nullptr;
  QToolButton* sceneRebuildButton_ = nullptr;
  bool sceneSized_ = false;
  QTimer fitTimer_;
  QAction* restoreSession_ = nullptr;
  QLabel* emptyHint_ = nullptr;
  bool fitting_ = false;
  QAction* paneActions_[kPaneCount] = {};
  QAction* nextPane_ = nullptr;
  QAction* previousPane_ = nullptr;

  QDockWidget* stockDock_ = nullptr;
  QStackedWidget* stockStack_ = nullptr;
  QAction* stockShown_ = nullptr;
  QAction* stockRun_ = nullptr;
  QAction* recentSeparator_ = nullptr;
  QList<QAction*> recentActions_;
  QStringList recent_;
  bool rememberRecent_ = true;
};

}  // namespace varnholt

#endif
