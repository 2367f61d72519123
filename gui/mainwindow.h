// The main window: a multiple-document area with one window per open file, the German menus,
// the recently used files, toolbar and status bar.
#ifndef VARNHOLT_GUI_MAINWINDOW_H
#define VARNHOLT_GUI_MAINWINDOW_H

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include "prompts.h"
#include "varnholt/scene.h"

class QAction;
class QDockWidget;
class QMdiArea;
class QStackedWidget;
class QMdiSubWindow;

namespace varnholt {

class ChildFrame;

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
  QStringList RecentFiles() const { return recent_; }

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
  /// The dock that shows the details of the active document's current instance.
  QDockWidget* DetailsDock() const { return detailsDock_; }
  /// The details pane the dock shows now.
  QWidget* ShownDetails() const;
  /// The dock of the active document's 3D view ("&3D-Ansicht" in "&Ansicht"), hidden at first.
  QDockWidget* SceneDock() const { return sceneDock_; }
  QWidget* ShownScene() const;
  /// The 3D view's commands, on the active document's view.
  QAction* SceneFitAction() const { return sceneFit_; }
  QAction* SceneViewAction(ViewDirection direction) const {
    return sceneViews_[static_cast<int>(direction)];
  }
  QAction* SceneRebuildAction() const { return sceneRebuild_; }

 public Q_SLOTS:
  void Open();
  void Save();
  void CloseDocument();
  void Format();
  void About();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateMenus();
  /// The document window the user works in: the active one, or the one last active while no
  /// window of this program has the focus.
  QMdiSubWindow* CurrentSub() const;
  void CreateSceneDock();
  /// Title and document commands follow the active document window.
  void UpdateForActive();
  void Remember(const QString& path);
  void Forget(const QString& path);
  void ShowRecent();

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
  QDockWidget* detailsDock_ = nullptr;
  QStackedWidget* detailsStack_ = nullptr;
  QDockWidget* sceneDock_ = nullptr;
  QStackedWidget* sceneStack_ = nullptr;
  QAction* sceneFit_ = nullptr;
  QAction* sceneViews_[4] = {};
  QAction* sceneRebuild_ = nullptr;
  bool sceneSized_ = false;
  QAction* recentSeparator_ = nullptr;
  QList<QAction*> recentActions_;
  QStringList recent_;
  bool rememberRecent_ = true;
};

}  // namespace varnholt

#endif
