// varnholt: the desktop program. Opens the files named on the command line or dropped on the
// window; "--screenshot FILE.png [INPUT [N]] [--3d]" renders the window to an image (with
// instance #N selected, with the 3D view beside it) and ends.
#include <QApplication>
#include <QDockWidget>
#include <QStringList>
#include <iostream>
#include <string>

#include "aboutbox.h"
#include "cct/factory.h"
#include "cct/schema.h"  // installs the schema binding
#include "language.h"
#include "mainwindow.h"
#include "screenshot.h"
#include "varnholt/apptexts.h"

namespace {

const char* const kUsage =
    "Usage: varnholt [--3d] [FILE...]\n"
    "       varnholt --screenshot IMAGE.png [FILE [N]] [--3d] [--problems] [--size WxH]\n"
    "       varnholt --help | --version\n";

}  // namespace

int main(int argc, char** argv) {
  // Answered before Qt starts, so that they work without a display.
  if (argc > 1 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::cout << kUsage;
    return 0;
  }
  if (argc > 1 && std::string(argv[1]) == "--version") {
    std::cout << "varnholt " << varnholt::kVersion << "\n";
    return 0;
  }
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Varnholt"));
  QApplication::setApplicationName(QStringLiteral("Varnholt"));
  QApplication::setApplicationVersion(QString::fromLatin1(varnholt::kVersion));
  QApplication::setWindowIcon(varnholt::AppIcon());
  // Before the first window: Qt's dialogs and the names of keys come out German from then on.
  varnholt::InstallGerman(app);

  QStringList args = QApplication::arguments().mid(1);

  // Files are opened only after both name tables exist: reading one needs them.
  RegisterTypeNames();
  RegisterEntityNames();

  if (!args.isEmpty() && args.front() == "--screenshot") {
    varnholt::ScreenshotOptions options;
    options.scene3d = args.removeAll(QStringLiteral("--3d")) > 0;
    options.problems = args.removeAll(QStringLiteral("--problems")) > 0;
    // The drawing takes a third of the width; the tree and the log keep theirs.
    if (options.scene3d) options.size = QSize(1600, 900);
    const int sizeAt = static_cast<int>(args.indexOf(QStringLiteral("--size")));
    if (sizeAt >= 0) {
      const QStringList wh = args.value(sizeAt + 1).split(QLatin1Char('x'));
      bool okW = false, okH = false;
      const int w = wh.value(0).toInt(&okW), h = wh.value(1).toInt(&okH);
      if (wh.size() != 2 || !okW || !okH || w < 300 || h < 200 || w > 8000 || h > 8000) {
        std::cerr << "varnholt: --size wants WIDTHxHEIGHT, such as 1200x800\n" << kUsage;
        return 2;
      }
      options.size = QSize(w, h);
      args.remove(sizeAt, 2);
    }
    if (args.size() < 2 || args.size() > 4) {
      std::cerr << kUsage;
      return 2;
    }
    if (args.size() == 4) options.select = args[3];
    return varnholt::RunScreenshot(args[1], args.size() >= 3 ? args[2] : QString(), options);
  }
  const bool scene3d = args.removeAll(QStringLiteral("--3d")) > 0;
  for (const QString& arg : args) {
    if (arg.startsWith(QLatin1String("--"))) {
      std::cerr << kUsage;
      return 2;
    }
  }

  varnholt::MainWindow window;
  // Where the user left it: size, place, docks, divider and display options.
  window.RestoreState();
  if (scene3d) window.SceneDock()->show();
  window.show();
  // Files named on the command line are what the user wants now; else the last session.
  if (args.isEmpty()) window.RestoreSession();
  for (const QString& file : args) window.OpenFile(file);
  return QApplication::exec();
}
