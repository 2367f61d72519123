#include "screenshot.h"

#include <QApplication>
#include <QDialog>
#include <QDockWidget>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPixmap>
#include <QScrollBar>
#include <QTreeWidget>
#include <iostream>

#include "childframe.h"
#include "mainwindow.h"

namespace varnholt {

int RunScreenshot(const QString& png, const QString& input, const ScreenshotOptions& options) {
  MainWindow window;
  window.SetRememberRecent(false);
  // Nobody is there to answer: a message goes to standard error, every dialog is cancelled.
  window.UserPrompts().exec = [](QDialog& dialog) {
    if (auto* box = qobject_cast<QMessageBox*>(&dialog))
      std::cerr << "varnholt: " << box->text().toStdString() << "\n";
    return static_cast<int>(QDialog::Rejected);
  };
  window.resize(options.size);
  window.show();
  if (options.scene3d) window.SceneDock()->show();
  if (options.problems) window.ProblemsDock()->show();
  QApplication::processEvents();

  bool opened = true;
  if (!input.isEmpty()) {
    ChildFrame* frame = window.OpenFile(input);
    opened = frame != nullptr;
    if (frame) {
      frame->ExpandLevels(options.levels);
      if (QTreeWidgetItem* root = frame->Tree()->topLevelItem(0))
        frame->Tree()->scrollToItem(root);
      if (!options.select.isEmpty()) frame->GoToName(options.select);
      // Built now, not whenever the view's own request comes round.
      if (options.scene3d && frame->Scene3D()->NeedsBuild()) frame->RebuildScene();
      if (options.problems) frame->CheckRules();
    }
  }
  QApplication::processEvents();
  // The docks give the tree its room once the events of their showing are through.
  window.FitPanes();
  QApplication::processEvents();
  // The dock, shown or resized meanwhile, narrowed the tree, which then scrolled sideways to
  // the selected item and cut off the start of every label.
  if (ChildFrame* frame = window.ActiveFrame()) {
    frame->Tree()->horizontalScrollBar()->setValue(0);
    QApplication::processEvents();
  }

  const bool written = window.grab().save(png, "PNG");
  if (!written) std::cerr << "varnholt: cannot write " << png.toStdString() << "\n";
  return opened && written ? 0 : 1;
}

}  // namespace varnholt
