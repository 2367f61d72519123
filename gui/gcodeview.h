// The "G-Code" pane: the program of a document as G-code, read-only, with a line above it that
// says where it came from and what was left out; a click on a line selects the workingstep the
// line was written for.
#ifndef VARNHOLT_GUI_GCODEVIEW_H
#define VARNHOLT_GUI_GCODEVIEW_H

#include <QPlainTextEdit>
#include <QWidget>
#include <vector>

#include "varnholt/gcode.h"

class QLabel;

namespace varnholt {

class GcodeView : public QWidget {
  Q_OBJECT
 public:
  explicit GcodeView(QWidget* parent = nullptr);

  /// Shows the program; `summary` goes above it.
  void Show(const GcodeResult& result, const QString& summary);
  /// Shows that no G-code was made yet.
  void ShowNothing();

  QPlainTextEdit* Text() const { return text_; }
  QLabel* Summary() const { return summary_; }
  /// The workingstep line `line` (from 0) of the text was written for, without its "#"; empty
  /// for a line of no workingstep and for a line the text does not have.
  QString WorkingstepOfLine(int line) const;

 Q_SIGNALS:
  /// A line of a workingstep was clicked: that workingstep's instance name ("300").
  void instanceChosen(const QString& name);

 private:
  void Clicked(int line);
  /// Marks the line clicked last, so that one sees which line the tree now follows.
  void MarkLine(int line);

  QLabel* summary_ = nullptr;
  QPlainTextEdit* text_ = nullptr;
  std::vector<GcodeSource> sources_;
};

}  // namespace varnholt

#endif
