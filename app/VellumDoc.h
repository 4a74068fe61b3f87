#pragma once
// The empty document: it holds no data, a new one only resets the base state, and its files
// are read and written with nothing in them.
#include <QString>

class QIODevice;

class CVellumDoc {
 public:
  bool OnNewDocument();
  bool OnOpenDocument(const QString& path);
  bool OnSaveDocument(const QString& path);
  void Serialize(QIODevice& file, bool storing);

  const QString& PathName() const { return m_pathName; }
  // "Untitled" or the file's name, as the frame's caption shows it before the view's title.
  QString Title() const;

 private:
  QString m_pathName;
  bool m_modified = false;
};
