#include "helpdialog.h"

#include <QDialogButtonBox>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "help_text.h"  // the README's section, copied there by the build

namespace varnholt {

namespace {

struct Key {
  const char* keys;
  const char* what;
};

// The keys as the menus and the tree bind them.
const Key kKeys[] = {
    {"Strg+O", "Datei \u00f6ffnen"},
    {"Strg+S", "Speichern unter einem Namen, den der Dialog erfragt"},
    {"Strg+W, Strg+C", "Dokument schlie\u00dfen (Strg+C nur, wo nichts kopiert wird)"},
    {"Strg+Q", "Programm beenden"},
    {"Strg+Z / Strg+Umschalt+Z, Strg+Y", "R\u00fcckg\u00e4ngig / Wiederherstellen"},
    {"Strg+F", "Suchen"},
    {"F7", "Regeln pr\u00fcfen: die Befunde im Dock \"Probleme\""},
    {"Eingabe (im Suchfeld)", "Suchen und den ersten Treffer im Baum w\u00e4hlen"},
    {"F3 / Umschalt+F3", "N\u00e4chster / voriger Treffer"},
    {"Alt+Links / Alt+Rechts", "Zur\u00fcck / vorw\u00e4rts durch die gew\u00e4hlten Instanzen"},
    {"Strg+Tab / Strg+Umschalt+Tab", "N\u00e4chstes / voriges Dokument in der Reihenfolge der Benutzung"},
    {"F2", "Wert der Zeile bearbeiten"},
    {"Entf", "Wert l\u00f6schen (auf $ setzen)"},
    {"Strg+C (im Baum)", "Wert der Zeile kopieren, genau wie gespeichert; im Protokoll und in den Details den markierten Text"},
    {"Eingabe, Doppelklick", "Zu der Stelle, an der eine Instanz zuerst steht; auf einem Attribut: einf\u00fcgen"},
    {"*", "Alles unter der Zeile aufklappen (mit Abbrechen)"},
    {"Pos1, 1-4 (3D-Ansicht)", "Alles zeigen, Oben, Vorne, Seite, Isometrisch"},
    {"Pfeiltasten, + / - (3D-Ansicht)", "Drehen, vergr\u00f6\u00dfern / verkleinern"},
    {"F5", "3D-Ansicht neu aufbauen (\u00fcberall im Fenster)"},
    {"Tab / Umschalt+Tab", "Durch Baum, Details (Verweis f\u00fcr Verweis, Eingabe folgt ihm), Protokoll und die Docks"},
    {"Strg+1 \u2026 Strg+7", "Zu Baum, Details, Protokoll, 3D-Ansicht, Problemen, G-Code, Unterschieden"},
    {"F6 / Umschalt+F6", "Zum n\u00e4chsten / vorigen Bereich"},
    {"Bild auf / Bild ab, Alt+Links / Alt+Rechts (Materialabtrag)",
     "Das Rohteil nach dem vorigen / n\u00e4chsten Arbeitsschritt; Pos1 / Ende: nach dem ersten / letzten"},
    {"F5 (Materialabtrag)", "Den Materialabtrag neu berechnen, nachdem die Datei ge\u00e4ndert wurde"},
    {"F1", "Diese Hilfe"},
};

/// The README's paragraph in HTML: `code` and "quotes" kept, Markdown's backquotes dropped.
QString Paragraph(const QString& markdown) {
  QString html = markdown.toHtmlEscaped();
  html.replace(QRegularExpression(QStringLiteral("`([^`]*)`")), QStringLiteral("<code>\\1</code>"));
  return html;
}

}  // namespace

QString HelpDialog::PageHtml() {
  QString html = QStringLiteral("<h3>Tasten</h3><table cellspacing=\"4\">");
  for (const Key& key : kKeys)
    html += QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>")
                .arg(QString::fromUtf8(key.keys).toHtmlEscaped(), QString::fromUtf8(key.what).toHtmlEscaped());
  html += QStringLiteral("</table><h3>Zurechtfinden</h3>");
  // The README's paragraphs, each one of its lines joined.
  const QStringList paragraphs =
      QString::fromUtf8(kHelpText).split(QRegularExpression(QStringLiteral("\\n\\s*\\n")), Qt::SkipEmptyParts);
  for (const QString& paragraph : paragraphs) {
    const QString text = paragraph.simplified();
    if (!text.isEmpty()) html += QStringLiteral("<p>%1</p>").arg(Paragraph(text));
  }
  return html;
}

HelpDialog::HelpDialog(QWidget* parent) : QDialog(parent), page_(new QTextBrowser(this)) {
  setWindowTitle(QStringLiteral("Hilfe"));
  page_->setOpenExternalLinks(false);
  page_->setHtml(PageHtml());
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(page_, 1);
  layout->addWidget(buttons);
  resize(640, 560);
}

}  // namespace varnholt
