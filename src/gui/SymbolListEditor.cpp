#include "gui/SymbolListEditor.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QVBoxLayout>

namespace tarnwell {
namespace {
TSymbolListEditor* instance = nullptr;
}

TSymbolListEditor::TSymbolListEditor(QWidget* parent) : QDialog(parent), memo_(new QPlainTextEdit(this)) {
  setObjectName("SymbolListEditor");
  setWindowTitle("Edit Symbols");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(memo_, 1);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* load = buttons->addButton("Load From File...", QDialogButtonBox::ActionRole);
  buttons->addButton("OK", QDialogButtonBox::AcceptRole);
  buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
  layout->addWidget(buttons);
  connect(load, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getOpenFileName(this, "Load From File", QString(), "Text Files (*.txt);;All Files (*)");
    if (!path.isEmpty()) LoadFile(path);
  });
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  resize(260, 360);
  if (instance == nullptr) instance = this;
}

TSymbolListEditor* TSymbolListEditor::Instance() { return instance; }

void TSymbolListEditor::SetSymbols(const std::vector<std::string>& symbols, int selectedLine) {
  QStringList lines;
  for (const std::string& symbol : symbols) lines << QString::fromStdString(symbol);
  memo_->setPlainText(lines.join('\n'));
  QTextCursor cursor(memo_->document());
  if (selectedLine >= 0 && selectedLine < memo_->document()->blockCount()) {
    const QTextBlock block = memo_->document()->findBlockByNumber(selectedLine);
    cursor.setPosition(block.position());
    cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
  } else {
    cursor.movePosition(QTextCursor::End);
  }
  memo_->setTextCursor(cursor);
}

std::vector<std::string> TSymbolListEditor::Lines() const {
  std::vector<std::string> lines;
  for (const QString& line : memo_->toPlainText().split('\n')) lines.push_back(line.toStdString());
  return lines;
}

bool TSymbolListEditor::LoadFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
    QMessageBox::critical(this, "Error", "Cannot read \"" + path + "\": " + file.errorString());
    return false;
  }
  memo_->setPlainText(QString::fromUtf8(file.readAll()));
  return true;
}

}  // namespace tarnwell
