#pragma once
// "Edit Symbols...": a list of symbols, one per line, typed or loaded from a text file.

#include <QDialog>
#include <string>
#include <vector>

class QPlainTextEdit;

namespace tarnwell {

class TSymbolListEditor : public QDialog {
  Q_OBJECT
 public:
  explicit TSymbolListEditor(QWidget* parent = nullptr);
  /// The program's one editor, made at start-up; null before.
  static TSymbolListEditor* Instance();

  /// The symbols one per line; `selectedLine` (or -1: the caret at the end) is selected.
  void SetSymbols(const std::vector<std::string>& symbols, int selectedLine = -1);
  std::vector<std::string> Lines() const;
  /// Replaces the list with a text file's lines; false (and a message) when it cannot be read.
  bool LoadFile(const QString& path);
  QPlainTextEdit* Memo() const { return memo_; }

 private:
  QPlainTextEdit* memo_;
};

}  // namespace tarnwell
