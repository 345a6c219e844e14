#pragma once
// The recording list: one row per list line, the line's tab-separated parts (number,
// title, second text, size) in four columns, several rows selectable.

#include <QTreeWidget>
#include <string>

namespace korvelo {

class RecordingList : public QTreeWidget {
  Q_OBJECT

 public:
  static constexpr int kColumns = 4;

  explicit RecordingList(QWidget* parent = nullptr);

  void appendLine(const std::string& line);
  int lineCount() const { return topLevelItemCount(); }
  int selectedLineCount() const;
  bool isLineSelected(int index) const;
  int caretLine() const;  // -1: none
  // The parts of a line as they stand in the columns.
  QStringList lineParts(int index) const;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Number and size as wide as they need; title and second text share the rest 3 : 2,
  // never narrower than the list's tab stops give them.
  void fitColumns();

  int sizeColumnWidth_ = 0;
};

}  // namespace korvelo
