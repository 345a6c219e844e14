// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/about_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "gui/app_icon.h"

namespace korvelo {

AboutDialog::AboutDialog(const std::string& version, QWidget* parent)
    : QDialog(parent),
      version_(new QLabel(QStringLiteral("Korvelo Version %1").arg(QString::fromStdString(version)),
                          this)),
      address_(new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(homepage().toHtmlEscaped()),
                          this)) {
  setWindowTitle(QString::fromUtf8("Info über Korvelo"));
  version_->setProperty("controlId", 1015);
  address_->setProperty("controlId", 1026);
  // Clicked, it opens in the browser; selected, it can be copied. Never wrapped, so the
  // dialog is as wide as the whole address.
  address_->setTextFormat(Qt::RichText);
  address_->setOpenExternalLinks(true);
  address_->setTextInteractionFlags(Qt::TextBrowserInteraction | Qt::TextSelectableByKeyboard);

  auto* icon = new QLabel(this);
  icon->setPixmap(appIcon().pixmap(32, 32));
  icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

  auto* purpose = new QLabel(
      QString::fromUtf8("Dieses Programm dient dazu, Aufzeichnungen (Filme) von einer aus einem "
                        "Finepass FSR-5000 TDR stammende Festplatte auszulesen. "),
      this);
  purpose->setWordWrap(true);
  auto* leadIn = new QLabel(QString::fromUtf8("Besuchen sie dazu oder für Fragen: "), this);

  // What a user holds after a save, and how to know it is still what was saved.
  auto* havFile = new QLabel(
      QString::fromUtf8("Eine .hav-Datei enthält einen Kopf von 88 Bytes, das 1536 Bytes große "
                        "Abbild des Verzeichniseintrags und danach die Hojins des Receivers "
                        "unverändert; ob sie noch so ist wie gespeichert, prüft \"korvelo-cli "
                        "verify\" mit ihrer SHA-256-Summe aus dem Manifest."),
      this);
  havFile->setWordWrap(true);

  auto* licence = new QLabel(
      QString::fromUtf8("Lizenz: GPL-3.0-or-later (GNU General Public License, Version 3 oder "
                        "später); ohne jede Gewährleistung."),
      this);
  licence->setWordWrap(true);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setProperty("controlId", 1);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* grid = new QGridLayout(this);
  grid->addWidget(icon, 0, 0, 6, 1);
  grid->addWidget(version_, 0, 1);
  grid->addWidget(purpose, 1, 1);
  grid->addWidget(leadIn, 2, 1);
  grid->addWidget(address_, 3, 1);
  grid->addWidget(havFile, 4, 1);
  grid->addWidget(licence, 5, 1);
  grid->addWidget(ok, 0, 2, Qt::AlignTop);
  grid->setColumnStretch(1, 1);
  setMinimumWidth(fontMetrics().averageCharWidth() * 60);
}

QString AboutDialog::homepage() {
  return QStringLiteral(KORVELO_HOMEPAGE);
}

}  // namespace korvelo
