// The session: the documents open at quit come back at the next start, with the active one and
// each one's selected instance; while none is open the window says how to open one.
#include "mainwindow.h"

#include <QAction>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSettings>
#include <QStatusBar>
#include <QUrl>

#include "childframe.h"
#include "detailsview.h"
#include "language.h"

namespace varnholt {

const char* const MainWindow::kSessionKey = "Session/restore";

namespace {
const char* const kFilesKey = "Session/files";
const char* const kSelectedKey = "Session/selected";
const char* const kActiveKey = "Session/active";
}  // namespace

bool MainWindow::RestoresSession() const { return restoreSession_->isChecked(); }

void MainWindow::SaveSession() {
  QSettings settings;
  settings.setValue(kSessionKey, restoreSession_->isChecked());
  QStringList files, selected;
  int active = -1;
  ChildFrame* current = ActiveFrame();
  if (restoreSession_->isChecked()) {
    for (QMdiSubWindow* sub : mdi_->subWindowList(QMdiArea::CreationOrder)) {
      auto* frame = qobject_cast<ChildFrame*>(sub->widget());
      if (!frame || frame->PathName().isEmpty()) continue;
      if (frame == current) active = static_cast<int>(files.size());
      files << QFileInfo(frame->PathName()).absoluteFilePath();
      // The details follow the tree a moment later; the row selected now is what counts.
      frame->UpdateDetails();
      selected << (frame->Details() ? ToQt(frame->Details()->ShownName()) : QString());
    }
  }
  settings.setValue(kFilesKey, files);
  settings.setValue(kSelectedKey, selected);
  settings.setValue(kActiveKey, active);
}

int MainWindow::RestoreSession() {
  QSettings settings;
  if (!restoreSession_->isChecked()) return 0;
  const QStringList files = settings.value(kFilesKey).toStringList();
  const QStringList selected = settings.value(kSelectedKey).toStringList();
  const int active = settings.value(kActiveKey, -1).toInt();
  QStringList gone;
  ChildFrame* activeFrame = nullptr;
  int opened = 0;
  for (int i = 0; i < files.size(); ++i) {
    if (!QFileInfo(files[i]).isFile()) {
      gone << QDir::toNativeSeparators(files[i]);
      continue;
    }
    ChildFrame* frame = OpenFile(files[i]);
    if (!frame) continue;
    ++opened;
    if (!selected.value(i).isEmpty()) frame->GoToName(selected.value(i));
    if (i == active) activeFrame = frame;
  }
  if (activeFrame)
    for (QMdiSubWindow* sub : mdi_->subWindowList())
      if (sub->widget() == activeFrame) mdi_->setActiveSubWindow(sub);
  if (!gone.isEmpty())
    statusBar()->showMessage(
        QStringLiteral("Nicht mehr vorhanden, nicht ge\u00f6ffnet: %1").arg(gone.join(QStringLiteral(", "))), 20000);
  return opened;
}

void MainWindow::CreateEmptyHint() {
  emptyHint_ = new QLabel(mdi_->viewport());
  emptyHint_->setObjectName(QStringLiteral("emptyHint"));
  emptyHint_->setAlignment(Qt::AlignCenter);
  emptyHint_->setWordWrap(true);
  emptyHint_->setTextFormat(Qt::RichText);
  emptyHint_->setTextInteractionFlags(Qt::TextBrowserInteraction);
  emptyHint_->setOpenExternalLinks(false);
  connect(emptyHint_, &QLabel::linkActivated, this,
          [this](const QString& link) { OpenFile(QUrl(link).toLocalFile()); });
  mdi_->viewport()->installEventFilter(this);
}

void MainWindow::UpdateEmptyHint() {
  if (!emptyHint_) return;
  const bool empty = mdi_->subWindowList().isEmpty();
  emptyHint_->setVisible(empty);
  if (!empty) return;
  QString html = QStringLiteral("<p><b>Keine Datei offen.</b></p><p>%1 \u00f6ffnet eine Datei; "
                                "eine Datei l\u00e4sst sich auch auf das Fenster ziehen.<br>%2 zeigt die "
                                "Hilfe.</p>")
                     .arg(KeyText(QKeySequence(Qt::CTRL | Qt::Key_O)), KeyText(QKeySequence(Qt::Key_F1)));
  if (!recent_.isEmpty()) {
    html += QStringLiteral("<p>Zuletzt ge\u00f6ffnet:<br>");
    for (const QString& file : recent_)
      html += QStringLiteral("<a href=\"%1\">%2</a><br>")
                  .arg(QUrl::fromLocalFile(file).toString().toHtmlEscaped(),
                       QDir::toNativeSeparators(file).toHtmlEscaped());
    html += QStringLiteral("</p>");
  }
  emptyHint_->setText(html);
  emptyHint_->setGeometry(mdi_->viewport()->rect().adjusted(20, 20, -20, -20));
}

}  // namespace varnholt
