#include "language.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeySequence>
#include <QLibraryInfo>
#include <QTranslator>

namespace varnholt {

QString QtGermanCatalogue() {
  return QDir(QLibraryInfo::path(QLibraryInfo::TranslationsPath)).filePath(QStringLiteral("qtbase_de.qm"));
}

QTranslator* InstallGerman(QCoreApplication& app) {
  const QString file = QtGermanCatalogue();
  if (!QFileInfo::exists(file)) return nullptr;
  auto* translator = new QTranslator(&app);
  if (!translator->load(file) || !QCoreApplication::installTranslator(translator)) {
    delete translator;
    return nullptr;
  }
  return translator;
}

QString KeyText(const QKeySequence& key) {
  // Without the catalogue Qt writes "Ctrl"; the menus have always written "Strg", and every
  // label of ours must read the same whether the catalogue is there or not.
  QString text = key.toString(QKeySequence::NativeText);
  text.replace(QStringLiteral("Ctrl+"), QStringLiteral("Strg+"));
  text.replace(QStringLiteral("Shift+"), QStringLiteral("Umschalt+"));
  text.replace(QStringLiteral("Del"), QStringLiteral("Entf"));
  return text;
}

}  // namespace varnholt
