#include "prompts.h"

#include <QDialog>
#include <QFileDialog>

namespace varnholt {

Prompts::Prompts()
    : exec([](QDialog& dialog) { return dialog.exec(); }),
      openPath([](QWidget* parent) { return QFileDialog::getOpenFileName(parent); }),
      // QFileDialog asks before replacing an existing file unless told otherwise.
      savePath([](QWidget* parent) { return QFileDialog::getSaveFileName(parent); }) {}

}  // namespace varnholt
