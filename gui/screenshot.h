// The --screenshot mode: renders the main window with a file open into an image, no user needed.
#ifndef VARNHOLT_GUI_SCREENSHOT_H
#define VARNHOLT_GUI_SCREENSHOT_H

#include <QSize>
#include <QString>

namespace varnholt {

struct ScreenshotOptions {
  QSize size{1200, 800};
  /// How many levels of the tree below the root are opened.
  int levels = 5;
  /// The instance selected (and shown in the details pane), when not the project.
  QString select;
  /// Whether the 3D view is shown (its scene built) beside the document.
  bool scene3d = false;
  /// With the rules checked and the "Probleme" dock below.
  bool problems = false;
};

/// Writes the main window (with input open, when given) to png; the process exit status:
/// 0 written, 1 the input could not be opened or the image not written.
int RunScreenshot(const QString& png, const QString& input, const ScreenshotOptions& options = {});

}  // namespace varnholt

#endif
