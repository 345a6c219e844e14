// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The save-as question answered by the desktop's file dialog: ".hav" filter, "hav"
// appended when the name has no suffix, for an existing file the question whether
// to continue it, replace it or not to save, and for a folder not there yet whether the
// save shall make it.

#include <QString>

#include "export/save_as_chooser.h"

class QFileInfo;
class QWidget;

namespace korvelo {

class FileDialogChooser : public SaveAsChooser {
 public:
  SaveAsAnswer chooseSaveAs(const SaveAsRequest& request) override;

  // The window behind the core's opaque parent handle.
  static QWidget* parentWidget(const void* parent);
  // The filters the dialog offers, the first one chosen.
  static QStringList nameFilters();

 private:
  static SaveAsAnswer askAboutExisting(QWidget* parent, const QFileInfo& existing,
                                       SaveAsAnswer answer);
};

}  // namespace korvelo
