// What every GUI test needs: one QApplication on the offscreen platform, settings kept out of
// the user's home, the schema's name tables, and small exchange files.
#ifndef VARNHOLT_TEST_GUI_SUPPORT_H
#define VARNHOLT_TEST_GUI_SUPPORT_H

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>

#include "cct/factory.h"
#include "cct/schema.h"

/// Failures show texts, not UTF-16 code units.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QStringList& texts, std::ostream* out) {
  *out << '{';
  for (const QString& text : texts) *out << ' ' << '"' << text.toStdString() << '"';
  *out << " }";
}

namespace gui_test {

/// Creates the application before the first test and destroys it after the last, while Qt's
/// own globals still exist (and before the leak checker looks).
class AppEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    // Set before the application exists; an explicit choice from outside wins.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_.path());
    app_ = std::make_unique<QApplication>(argc_, argv_);
    QApplication::setOrganizationName(QStringLiteral("VarnholtTest"));
    QApplication::setApplicationName(QStringLiteral("VarnholtTest"));
    RegisterTypeNames();
    RegisterEntityNames();
  }
  void TearDown() override { app_.reset(); }

 private:
  QTemporaryDir settings_;
  int argc_ = 1;
  char name_[18] = "varnholt-gui-test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

inline ::testing::Environment* const kAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment);

/// A small project: a workplan with one workingstep, a workpiece whose clamping position is a
/// point with three coordinates, a reference left unset (its_owner).
inline const char* const kProject =
    "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('t'),'2;1');\n"
    "FILE_NAME('t.stp','2020-1-1T0-0-0',('a'),('o'),'p','s','x');\n"
    "FILE_SCHEMA(('COMBINED_SCHEMA'));\nENDSEC;\nDATA;\n"
    "#1=PROJECT('P1',#2,(#10),$,$,$);\n"
    "#2=WORKPLAN('main',(#3),$,$,$);\n"
    "#3=MACHINING_WORKINGSTEP('WS1',#5,$,$,$);\n"
    "#5=PLANE('sec',#6);\n"
    "#6=AXIS2_PLACEMENT_3D('origin',#7,#8,$);\n"
    "#7=CARTESIAN_POINT('p',(1.,2.5,-3.));\n"
    "#8=DIRECTION('z',(0.,0.,1.));\n"
    "#10=WORKPIECE('WP',$,$,$,$,$,(#7));\n"
    "ENDSEC;\nEND-ISO-10303-21;\n";

/// A folder for the files of one test.
class Files {
 public:
  QString Write(const QString& name, const std::string& content) {
    const QString path = dir_.filePath(name);
    std::ofstream(path.toStdString(), std::ios::binary) << content;
    return path;
  }
  QString Path(const QString& name) const { return dir_.filePath(name); }

 private:
  QTemporaryDir dir_;
};

/// The bundled milling sample.
inline QString MillingSample() {
  return QStringLiteral(VARNHOLT_SOURCE_DIR "/samples/milling_project.stp");
}

}  // namespace gui_test

#endif
