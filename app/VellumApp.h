#pragma once
// The application: settings key, icon, the single document with its frame and view, the
// accelerators an empty document answers, and the start-up order that keeps the frame hidden
// until the tablet has been found.
#include <QApplication>
#include <QStringList>
#include <memory>
#include <string>

#include "view/VellumView.h"

class CMainFrame;
class CVellumDoc;

class CVellumApp : public QApplication {
  Q_OBJECT

 public:
  CVellumApp(int& argc, char** argv);
  ~CVellumApp() override;

  // Start-up. Does not return when no tablet is found (the view ends the process). A
  // `document` is then opened as Ctrl+O opens one; when it cannot be, the error box is shown
  // and the program goes on with an empty document.
  bool InitInstance(ViewOptions options, const std::string& document = {});

  CMainFrame* MainFrame() const { return m_frame.get(); }
  CVellumDoc* Document() const { return m_doc.get(); }

  void OnFileNew();
  void OnFileOpen();
  void OnFileSave();
  void OnFilePrint();

 private:
  void LoadStdProfileSettings(int entries);
  void SaveStdProfileSettings();
  void AddToRecentFileList(const QString& path);
  void UpdateFrameTitle();
  bool OpenDocumentFile(const QString& path);
  void UpdateAllViews();

  std::unique_ptr<CVellumDoc> m_doc;
  std::unique_ptr<CMainFrame> m_frame;
  QStringList m_recentFiles;
  int m_recentLimit = 0;
  bool m_recentChanged = false;
};
