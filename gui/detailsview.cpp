#include "detailsview.h"

#include <QFontDatabase>
#include <QUrl>

#include "qttreecontrol.h"
#include "varnholt/navigation.h"

namespace varnholt {

namespace {

const char* const kScheme = "instance";

QString Anchor(const std::string& name) {
  return QStringLiteral("<a href=\"%1\">#%2</a>").arg(DetailsView::Link(name), ToQt(name).toHtmlEscaped());
}

}  // namespace

DetailsView::DetailsView(QWidget* parent) : QTextBrowser(parent) {
  // Links select instances in the tree; the browser itself never follows them.
  setOpenLinks(false);
  setOpenExternalLinks(false);
  setAcceptDrops(false);
  connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
    if (url == QUrl(TimeLink())) {
      Q_EMIT timeRequested();
      return;
    }
    const QString name = NameOfLink(url);
    if (!name.isEmpty()) Q_EMIT instanceChosen(name);
  });
  ShowNothing();
}

QString DetailsView::Link(const std::string& name) {
  return QString::fromLatin1(kScheme) + QLatin1Char(':') + ToQt(name);
}

QString DetailsView::TimeLink() { return QStringLiteral("action:time"); }

QString DetailsView::NameOfLink(const QUrl& url) {
  return url.scheme() == QLatin1String(kScheme) ? url.path() : QString();
}

QString DetailsView::LinkedRecord(const std::string& record) {
  QString html;
  std::string pending;  // text not yet written
  auto flush = [&] {
    html += ToQt(pending).toHtmlEscaped();
    pending.clear();
  };
  bool inString = false;
  const size_t end = std::min(record.size(), static_cast<size_t>(kMaxRecord));
  for (size_t i = 0; i < end; ++i) {
    const char c = record[i];
    // '' inside a string is a quote of the string; two toggles keep the state right.
    if (c == '\'') inString = !inString;
    if (!inString && c == '#' && i + 1 < end && std::isdigit(static_cast<unsigned char>(record[i + 1]))) {
      size_t j = i + 1;
      while (j < end && std::isdigit(static_cast<unsigned char>(record[j]))) ++j;
      flush();
      html += Anchor(record.substr(i + 1, j - i - 1));
      i = j - 1;
      continue;
    }
    pending += c;
  }
  flush();
  if (record.size() > end) html += QStringLiteral(" \u2026");
  return html;
}

void DetailsView::ShowNothing() {
  shown_.clear();
  setHtml(QStringLiteral("<p><i>Keine Instanz gew\u00e4hlt.</i></p>"));
}

void DetailsView::ShowDetails(const InstanceDetails& details, const QString& note, const QString& motion,
                              const DetailRows& rows) {
  shown_ = details.name;
  const QString mono = QFontDatabase::systemFont(QFontDatabase::FixedFont).family().toHtmlEscaped();
  QString html;
  if (!note.isEmpty()) html += QStringLiteral("<p><b>%1</b></p>").arg(note.toHtmlEscaped());
  html += QStringLiteral("<table cellspacing=\"2\">");
  auto row = [&html](const QString& label, const QString& value) {
    html += QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>").arg(label, value);
  };
  row(QStringLiteral("Instanz:"), Anchor(details.name));
  row(QStringLiteral("Entit\u00e4tstyp:"), ToQt(details.type).toHtmlEscaped());
  row(QStringLiteral("Zeile:"), details.line > 0 ? QString::number(details.line)
                                                : QStringLiteral("(nicht aus der Datei gelesen)"));
  if (!motion.isEmpty()) row(QStringLiteral("Bewegungen:"), motion.toHtmlEscaped());
  for (const DetailRow& line : rows)
    row(line.label.toHtmlEscaped(),
        line.link.isEmpty() ? line.text.toHtmlEscaped()
                            : QStringLiteral("<a href=\"%1\">%2</a>").arg(line.link.toHtmlEscaped(),
                                                                        line.text.toHtmlEscaped()));
  html += QStringLiteral("</table>");
  html += QStringLiteral("<p><b>Datensatz:</b></p><p style=\"font-family:'%1'\">%2</p>")
              .arg(mono, LinkedRecord(details.record));
  html += QStringLiteral("<p><b>Verwiesen von</b> (%1):</p>").arg(details.referrers.size());
  if (details.referrers.empty()) html += QStringLiteral("<p><i>niemandem</i></p>");
  html += QStringLiteral("<p>");
  size_t shown = 0;
  for (const Referrer& referrer : details.referrers) {
    if (shown++ == kMaxReferrers) {
      html += QStringLiteral("\u2026 %1 weitere").arg(details.referrers.size() - kMaxReferrers);
      break;
    }
    std::string where = referrer.attributeName;
    if (referrer.element > 0) where += "[" + std::to_string(referrer.element) + "]";
    html += Anchor(referrer.name) + QLatin1Char(' ') + ToQt(where).toHtmlEscaped() + QStringLiteral("<br>");
  }
  html += QStringLiteral("</p>");
  setHtml(html);
}

}  // namespace varnholt
