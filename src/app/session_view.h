// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the session controller touches in the main window.

#include <string>

namespace korvelo {

class SessionView {
 public:
  virtual ~SessionView() = default;
  virtual void appendListLine(const std::string& line) = 0;  // "%04d\t%s\t%s\t %s Bytes", UTF-8
  virtual void clearList() = 0;
  virtual int lineCount() const = 0;
  virtual int selectedLineCount() const = 0;
  virtual bool isLineSelected(int index) const = 0;
  virtual int caretLine() const = 0;  // -1: none
  virtual void setDescription(const std::string& text) = 0;
  virtual void setTotalText(const std::string& text) = 0;
  virtual void setSaveEnabled(bool enabled) = 0;
  virtual bool isSaveEnabled() const = 0;
  virtual const void* parentWindow() const = 0;
};

}  // namespace korvelo
