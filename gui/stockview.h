// The "Materialabtrag" pane of a document: the stock after a chosen workingstep as the
// simulation leaves it (gouges in red, under the toolpaths), a slider and keys to step
// through the workingsteps, and a line that says what is shown and whether it is still the
// document's state.
#ifndef VARNHOLT_GUI_STOCKVIEW_H
#define VARNHOLT_GUI_STOCKVIEW_H

#include <QImage>
#include <QStringList>
#include <QWidget>

class QLabel;
class QSlider;
class QToolButton;

namespace varnholt {

class StockView : public QWidget {
  Q_OBJECT
 public:
  enum class State {
    None,       // never simulated
    Current,    // simulated from the document as it is
    Outdated,   // the document changed since
    Cancelled,  // the last run was stopped: nothing is shown
    Failed,     // nothing could be simulated; the text says why
  };

  explicit StockView(QWidget* parent = nullptr);

  /// A new run: the workingsteps (one label each) the slider goes through, nothing shown yet.
  void SetSteps(const QStringList& labels);
  /// Shows the picture of the stock after workingstep `step`, and `caption` about it.
  void ShowPicture(const QImage& picture, int step, const QString& caption);
  /// Shows no picture, only why (stopped, nothing to simulate, no picture of that step).
  void ShowMessage(State state, const QString& text);
  /// The document changed: the picture stays, with a note that it is out of date.
  void MarkOutdated();
  /// Whether showing the pane should run the simulation first.
  bool NeedsRun() const { return state_ == State::None; }

  State StockState() const { return state_; }
  int Step() const { return step_; }
  int Steps() const { return static_cast<int>(labels_.size()); }
  const QImage& Picture() const { return picture_; }
  /// The line above the picture: what is shown, or why nothing is.
  QString StatusText() const;
  QSlider* Slider() const { return slider_; }

  /// The text of an out-of-date picture.
  static QString OutdatedNote();

 Q_SIGNALS:
  /// Shown for the first time: the simulation should run.
  void runRequested();
  /// The slider or a key chose the stock after this workingstep.
  void stepRequested(int step);

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void Go(int delta);
  void UpdateStatus();

  State state_ = State::None;
  QStringList labels_;
  int step_ = -1;
  QImage picture_;
  QString caption_, message_;
  QLabel* status_ = nullptr;
  QLabel* canvas_ = nullptr;
  QSlider* slider_ = nullptr;
  QToolButton* previous_ = nullptr;
  QToolButton* next_ = nullptr;
  QLabel* stepText_ = nullptr;
};

}  // namespace varnholt

#endif
