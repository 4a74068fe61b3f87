#include "app/VellumDoc.h"

#include <QFile>
#include <QFileInfo>

bool CVellumDoc::OnNewDocument() {
  m_pathName.clear();
  m_modified = false;
  return true;
}

bool CVellumDoc::OnOpenDocument(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  Serialize(file, false);
  m_pathName = path;
  m_modified = false;
  return true;
}

bool CVellumDoc::OnSaveDocument(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  Serialize(file, true);
  m_pathName = path;
  m_modified = false;
  return true;
}

void CVellumDoc::Serialize(QIODevice&, bool) {
  // The test program keeps nothing: a saved document is an empty file.
}

QString CVellumDoc::Title() const {
  return m_pathName.isEmpty() ? QStringLiteral("Untitled") : QFileInfo(m_pathName).fileName();
}
