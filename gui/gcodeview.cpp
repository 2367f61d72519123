#include "gcodeview.h"

#include <QFontDatabase>
#include <QLabel>
#include <QMouseEvent>
#include <QTextBlock>
#include <QVBoxLayout>
#include <functional>
#include <utility>

#include "qttreecontrol.h"

namespace varnholt {

namespace {

/// The text field, telling which line a click (not the end of a text selection) was on.
class ProgramText : public QPlainTextEdit {
 public:
  ProgramText(QWidget* parent, std::function<void(int)> clicked)
      : QPlainTextEdit(parent), clicked_(std::move(clicked)) {}

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    QPlainTextEdit::mouseReleaseEvent(event);
    // Selecting lines to copy them is no click on a line.
    if (event->button() != Qt::LeftButton || textCursor().hasSelection()) return;
    clicked_(cursorForPosition(event->position().toPoint()).blockNumber());
  }

 private:
  std::function<void(int)> clicked_;
};

}  // namespace

GcodeView::GcodeView(QWidget* parent) : QWidget(parent), summary_(new QLabel(this)) {
  text_ = new ProgramText(this, [this](int line) { Clicked(line); });
  text_->setReadOnly(true);
  text_->setAcceptDrops(false);
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  summary_->setWordWrap(true);
  summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(summary_);
  layout->addWidget(text_, 1);
  ShowNothing();
}

void GcodeView::Show(const GcodeResult& result, const QString& summary) {
  sources_ = result.lines;
  // The writer ends every line with a newline; the text field would show one empty line more.
  QString text = ToQt(result.text);
  if (text.endsWith(QLatin1Char('\n'))) text.chop(1);
  text_->setPlainText(text);
  text_->setExtraSelections({});
  summary_->setText(summary);
}

void GcodeView::ShowNothing() {
  sources_.clear();
  text_->clear();
  text_->setExtraSelections({});
  summary_->setText(QStringLiteral(
      "Noch kein G-Code: \"Datei > G-Code exportieren...\" oder \"Ansicht > G-Code anzeigen\" "
      "schreibt das Programm des Dokuments."));
}

QString GcodeView::WorkingstepOfLine(int line) const {
  if (line < 0 || static_cast<size_t>(line) >= sources_.size()) return QString();
  QString name = ToQt(sources_[static_cast<size_t>(line)].workingstep);
  if (name.startsWith(QLatin1Char('#'))) name.remove(0, 1);
  return name;
}

void GcodeView::Clicked(int line) {
  const QString name = WorkingstepOfLine(line);
  if (name.isEmpty()) return;
  MarkLine(line);
  Q_EMIT instanceChosen(name);
}

void GcodeView::MarkLine(int line) {
  QTextEdit::ExtraSelection mark;
  mark.cursor = QTextCursor(text_->document()->findBlockByNumber(line));
  mark.format.setBackground(palette().color(QPalette::AlternateBase));
  mark.format.setProperty(QTextFormat::FullWidthSelection, true);
  text_->setExtraSelections({mark});
}

}  // namespace varnholt
