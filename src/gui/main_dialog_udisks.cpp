// SPDX-License-Identifier: GPL-3.0-or-later
// The window's way to a disk the user may not open: udisks2 opens it for reading after
// polkit's question. The daemon is asked on the disk thread, since polkit's password
// dialog may keep the answer waiting for minutes.

#include <QInputDialog>
#include <QPushButton>
#include <QStringList>

#include "app/udisks_access.h"
#include "gui/disk_map_view.h"
#include "gui/main_dialog.h"

namespace korvelo {
namespace {

std::string chooseUdisksDisk(QWidget* parent, const std::vector<UdisksDisk>& disks,
                             const std::string& preselect) {
  QStringList items;
  int current = 0;
  for (size_t i = 0; i < disks.size(); ++i) {
    items << QString::fromStdString(describeUdisksDisk(disks[i]));
    if (disks[i].device == preselect) current = static_cast<int>(i);
  }
  bool chosen = false;
  const QString item = QInputDialog::getItem(
      parent, QString::fromUtf8("Festplatte über udisks öffnen"),
      QString::fromUtf8("Welche Festplatte soll gelesen werden? udisks2 öffnet sie nur zum Lesen;\n"
                        "je nach Einstellung des Systems wird nach dem Passwort eines "
                        "Administrators gefragt."),
      items, current, false, &chosen);
  if (!chosen) return {};
  const auto index = static_cast<size_t>(items.indexOf(item));
  return index < disks.size() ? disks[index].device : std::string();
}

}  // namespace

void MainDialog::openThroughUdisks(const std::string& preselect) {
  if (task_ != DiskTask::None || closing_) return;
  request([preselect](DiskWorker& worker) { worker.listUdisks(preselect); }, DiskTask::None);
}

void MainDialog::onUdisksDisks(const std::vector<UdisksDisk>& disks, const std::string& preselect) {
  if (task_ != DiskTask::None || closing_) return;
  const std::string device =
      udisksChoice_ ? udisksChoice_(disks, preselect) : chooseUdisksDisk(this, disks, preselect);
  if (device.empty()) return;
  // The map names the entries of the disk about to be closed.
  if (map_) {
    map_->view()->setOwnership({});
    map_->hide();
  }
  request([device](DiskWorker& worker) { worker.openThroughUdisks(device); }, DiskTask::Search);
}

void MainDialog::onAccessRequestable(const std::string& path) {
  refusedPath_ = path;
  access_->setVisible(!path.empty());
}

}  // namespace korvelo
