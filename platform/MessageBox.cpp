#include "platform/MessageBox.h"

#include <QMessageBox>

namespace platform {

std::string NormaliseLineBreaks(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' &&
        (i + 1 == text.size() || text[i + 1] == '\n' || (i > 0 && text[i - 1] == '\n'))) {
      continue;
    }
    out.push_back(text[i]);
  }
  return out;
}

void ShowMessageBox(const std::string& caption, const std::string& text,
                    const std::string& details) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                  QString::fromStdString(NormaliseLineBreaks(text)), QMessageBox::Ok);
  box.setTextFormat(Qt::PlainText);
  if (!details.empty()) box.setDetailedText(QString::fromStdString(details));
  // The program's frame is top-most; its messages must not hide behind it.
  box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
  box.exec();
}

}  // namespace platform
