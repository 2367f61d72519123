#include "aboutbox.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "varnholt/apptexts.h"

namespace varnholt {

namespace {

// A small instance tree: one bold node with three children, on a steel-blue tile.
QPixmap IconPixmap(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size / 32.0;
  p.scale(s, s);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x2f, 0x5d, 0x8a));
  p.drawRoundedRect(QRectF(1, 1, 30, 30), 5, 5);
  p.setPen(QPen(Qt::white, 2));
  p.drawLine(QPointF(9, 10), QPointF(9, 25));
  for (int y : {14, 19, 24}) p.drawLine(QPointF(9, y), QPointF(15, y));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xf2, 0xb1, 0x34));
  p.drawRect(QRectF(5, 5, 9, 6));
  p.setBrush(Qt::white);
  for (int y : {14, 19, 24}) p.drawRect(QRectF(16, y - 2, 11, 4));
  return pixmap;
}

}  // namespace

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128}) icon.addPixmap(IconPixmap(size));
  return icon;
}

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Experimental tool for instantiating ISO 14649 Files"));
  auto* icon = new QLabel(this);
  icon->setPixmap(AppIcon().pixmap(32, 32));
  icon->setAlignment(Qt::AlignTop);

  auto* lines = new QVBoxLayout;
  lines->addWidget(new QLabel(QStringLiteral("Schema: Milling and Turning August 2003"), this));
  lines->addWidget(new QLabel(QStringLiteral("© Varnholt developers"), this));
  lines->addWidget(new QLabel(
      QStringLiteral("Anmerkungen und Fragen: der Issue-Tracker von Varnholt (Version %1)")
          .arg(QString::fromLatin1(kVersion)),
      this));

  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* top = new QHBoxLayout;
  top->addWidget(icon);
  top->addLayout(lines, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace varnholt
