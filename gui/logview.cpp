#include "logview.h"

#include <QFontDatabase>
#include <QMouseEvent>
#include <QTextBlock>
#include <QScrollBar>
#include <QTextCursor>

#include "qttreecontrol.h"

namespace varnholt {

LogView::LogView(QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  // A read-only text field would still take a dropped file as text; the main window opens it.
  setAcceptDrops(false);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  // The log's banners and reports line up in columns.
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
}

void LogView::ShowLog(const std::string& log) {
  if (log == shown_) return;
  const bool continues = log.size() > shown_.size() && log.compare(0, shown_.size(), shown_) == 0;
  if (continues) {
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(ToQt(log.substr(shown_.size())));
  } else {
    setPlainText(ToQt(log));
  }
  shown_ = log;
  // What the last command reported is what the user wants to see.
  verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

QString LogView::LineAt(const QPoint& point) const {
  return cursorForPosition(point).block().text();
}

void LogView::mouseReleaseEvent(QMouseEvent* event) {
  QPlainTextEdit::mouseReleaseEvent(event);
  // Selecting text to copy it is no click on a line.
  if (event->button() != Qt::LeftButton || textCursor().hasSelection()) return;
  Q_EMIT lineClicked(LineAt(event->position().toPoint()));
}

}  // namespace varnholt
