#include "stockview.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace varnholt {

namespace {

// The picture scaled into the pane, its proportions kept: the render is made once per
// workingstep, not per resize.
class Canvas : public QLabel {
 public:
  using QLabel::QLabel;
  void SetPicture(const QImage& picture) {
    picture_ = picture;
    setText(QString());
    update();
  }
  void SetMessage(const QString& text) {
    picture_ = QImage();
    setText(text);
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    if (picture_.isNull()) {
      QLabel::paintEvent(event);
      return;
    }
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    const QSize size = picture_.size().scaled(this->size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, picture_);
  }

 private:
  QImage picture_;
};

}  // namespace

StockView::StockView(QWidget* parent)
    : QWidget(parent),
      status_(new QLabel(this)),
      canvas_(new Canvas(this)),
      slider_(new QSlider(Qt::Horizontal, this)),
      previous_(new QToolButton(this)),
      next_(new QToolButton(this)),
      stepText_(new QLabel(this)) {
  setFocusPolicy(Qt::StrongFocus);
  status_->setWordWrap(true);
  canvas_->setAlignment(Qt::AlignCenter);
  canvas_->setWordWrap(true);
  canvas_->setMinimumSize(160, 120);
  canvas_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  previous_->setText(QStringLiteral("\u25c0"));
  previous_->setToolTip(QStringLiteral("Arbeitsschritt davor (Bild auf, Alt+Links)"));
  next_->setText(QStringLiteral("\u25b6"));
  next_->setToolTip(QStringLiteral("N\u00e4chster Arbeitsschritt (Bild ab, Alt+Rechts)"));
  slider_->setPageStep(1);
  slider_->setToolTip(QStringLiteral("Der Rohteil nach dem gew\u00e4hlten Arbeitsschritt"));
  // The slider takes no focus: the keys stay with the pane, which steps as the buttons do.
  slider_->setFocusPolicy(Qt::NoFocus);
  auto* steps = new QHBoxLayout;
  steps->addWidget(previous_);
  steps->addWidget(slider_, 1);
  steps->addWidget(next_);
  steps->addWidget(stepText_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(status_);
  layout->addWidget(canvas_, 1);
  layout->addLayout(steps);
  connect(previous_, &QToolButton::clicked, this, [this] { Go(-1); });
  connect(next_, &QToolButton::clicked, this, [this] { Go(1); });
  // Released or stepped by a click, not for every position passed while dragging: each one
  // is a render.
  connect(slider_, &QSlider::valueChanged, this, [this](int value) {
    if (!slider_->isSliderDown() && value != step_) Q_EMIT stepRequested(value);
  });
  connect(slider_, &QSlider::sliderReleased, this, [this] {
    if (slider_->value() != step_) Q_EMIT stepRequested(slider_->value());
  });
  SetSteps({});
  ShowMessage(State::None, QStringLiteral("Noch nicht berechnet: \"Ansicht > Materialabtrag\" "
                                          "simuliert das Programm auf dem Rohteil (F5)."));
}

QString StockView::OutdatedNote() {
  return QStringLiteral("Veraltet \u2014 die Datei wurde ge\u00e4ndert; neu berechnen (F5).");
}

void StockView::SetSteps(const QStringList& labels) {
  labels_ = labels;
  step_ = -1;
  // A new run is the document as it is now.
  if (state_ == State::Outdated) state_ = State::Current;
  const QSignalBlocker block(slider_);
  slider_->setRange(0, std::max(0, Steps() - 1));
  slider_->setValue(0);
  for (QWidget* w : {static_cast<QWidget*>(slider_), static_cast<QWidget*>(previous_), static_cast<QWidget*>(next_)})
    w->setEnabled(Steps() > 1);
  stepText_->clear();
}

void StockView::ShowPicture(const QImage& picture, int step, const QString& caption) {
  // Stepping through an out-of-date run still says so.
  if (state_ != State::Outdated) state_ = State::Current;
  picture_ = picture;
  step_ = step;
  caption_ = caption;
  message_.clear();
  {
    const QSignalBlocker block(slider_);
    slider_->setValue(step);
  }
  stepText_->setText(QStringLiteral("%1 von %2").arg(step + 1).arg(Steps()));
  static_cast<Canvas*>(canvas_)->SetPicture(picture);
  UpdateStatus();
}

void StockView::ShowMessage(State state, const QString& text) {
  if (state != State::Current || state_ != State::Outdated) state_ = state;
  picture_ = QImage();
  message_ = text;
  caption_.clear();
  if (state != State::Current) {
    labels_.clear();
    SetSteps({});
  }
  static_cast<Canvas*>(canvas_)->SetMessage(text);
  UpdateStatus();
}

void StockView::MarkOutdated() {
  if (state_ == State::None) return;
  state_ = State::Outdated;
  UpdateStatus();
}

QString StockView::StatusText() const { return status_->text(); }

void StockView::UpdateStatus() {
  QString text = picture_.isNull() ? message_ : caption_;
  if (state_ == State::Outdated) text = OutdatedNote() + QLatin1Char(' ') + text;
  status_->setText(text);
  status_->setStyleSheet(state_ == State::Outdated ? QStringLiteral("color: #b00000;") : QString());
}

void StockView::Go(int delta) {
  if (Steps() == 0) return;
  const int target = std::clamp((step_ < 0 ? Steps() - 1 : step_) + delta, 0, Steps() - 1);
  if (target != step_) Q_EMIT stepRequested(target);
}

// Alt+Left and Alt+Right go back and forth through the tree elsewhere; here they step
// through the workingsteps, so the pane claims them before the shortcuts see them.
bool StockView::event(QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() == Qt::AltModifier && (key->key() == Qt::Key_Left || key->key() == Qt::Key_Right)) {
      event->accept();
      return true;
    }
  }
  return QWidget::event(event);
}

void StockView::keyPressEvent(QKeyEvent* event) {
  const bool alt = event->modifiers() == Qt::AltModifier;
  if (event->key() == Qt::Key_PageUp || (alt && event->key() == Qt::Key_Left)) {
    Go(-1);
  } else if (event->key() == Qt::Key_PageDown || (alt && event->key() == Qt::Key_Right)) {
    Go(1);
  } else if (event->key() == Qt::Key_Home && event->modifiers() == Qt::NoModifier) {
    if (Steps() > 0 && step_ != 0) Q_EMIT stepRequested(0);
  } else if (event->key() == Qt::Key_End && event->modifiers() == Qt::NoModifier) {
    if (Steps() > 0 && step_ != Steps() - 1) Q_EMIT stepRequested(Steps() - 1);
  } else {
    QWidget::keyPressEvent(event);
  }
}

void StockView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // After the show is done: the run lets events through behind a progress window, and the
  // widgets being shown must not change under it.
  if (NeedsRun())
    QTimer::singleShot(0, this, [this] {
      if (isVisible() && NeedsRun()) Q_EMIT runRequested();
    });
}

}  // namespace varnholt
