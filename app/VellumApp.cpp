#include "app/VellumApp.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <QSettings>
#include <QShortcut>

#include "app/MainFrame.h"
#include "app/VellumDoc.h"
#include "res/Strings.h"

namespace {

constexpr const char kRecentSection[] = "Recent File List";

// The drawing where Qt can render SVG (its svg plugins may be missing), else its 48-pixel copy.
QIcon AppIcon() {
  QIcon svg(QStringLiteral(":/res/vellum.svg"));
  if (!svg.pixmap(QSize(48, 48)).isNull()) return svg;
  return QIcon(QStringLiteral(":/res/vellum-48.png"));
}

}  // namespace

CVellumApp::CVellumApp(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QString::fromLatin1(res::kAppTitle));
  setOrganizationName(QString::fromLatin1(res::kSettingsOrganisation));
  setQuitOnLastWindowClosed(true);
  setWindowIcon(AppIcon());  // the frame's and the message boxes'
}

CVellumApp::~CVellumApp() {
  // The frame owns the view: its destructor stops the reader and closes the port.
  m_frame.reset();
  SaveStdProfileSettings();
}

bool CVellumApp::InitInstance(ViewOptions options, const std::string& document) {
  LoadStdProfileSettings(4);

  m_doc = std::make_unique<CVellumDoc>();
  m_doc->OnNewDocument();
  m_frame = std::make_unique<CMainFrame>();
  // Detection runs here, before anything is shown: with no tablet the process ends and no
  // frame ever appears.
  auto* view = new CVellumView(std::move(options));
  m_frame->SetView(view);
  UpdateFrameTitle();

  const auto bind = [this](QKeySequence keys, void (CVellumApp::*handler)()) {
    auto* shortcut = new QShortcut(keys, m_frame.get());
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, handler);
  };
  bind(QKeySequence(Qt::CTRL | Qt::Key_N), &CVellumApp::OnFileNew);
  bind(QKeySequence(Qt::CTRL | Qt::Key_O), &CVellumApp::OnFileOpen);
  bind(QKeySequence(Qt::CTRL | Qt::Key_S), &CVellumApp::OnFileSave);
  bind(QKeySequence(Qt::CTRL | Qt::Key_P), &CVellumApp::OnFilePrint);

  m_frame->setWindowFlag(Qt::WindowStaysOnTopHint, true);
  // Sized to the screen first so that even a first paint before the window manager's maximise
  // lays the view out close to its final size.
  if (const QScreen* screen = primaryScreen()) m_frame->setGeometry(screen->availableGeometry());
  m_frame->ShowMaximized();  // on Wayland full screen (platform/Placement.h)
  view->setFocus(Qt::OtherFocusReason);
  // Opened once the frame is up, so that an error box stands over it rather than alone. One
  // that cannot be opened leaves the empty document: the program carries on.
  if (!document.empty()) OpenDocumentFile(QFile::decodeName(document.c_str()));
  return true;
}

void CVellumApp::OnFileNew() {
  if (!m_doc->OnNewDocument()) return;
  UpdateFrameTitle();
  UpdateAllViews();
}

void CVellumApp::OnFileOpen() {
  const QString path = QFileDialog::getOpenFileName(m_frame.get(), QStringLiteral("Open"));
  if (path.isEmpty()) return;
  OpenDocumentFile(path);
}

bool CVellumApp::OpenDocumentFile(const QString& path) {
  if (!m_doc->OnOpenDocument(path)) {
    // The document in use is left as it was.
    QMessageBox::warning(m_frame.get(), QString::fromLatin1(res::kAppTitle),
                         QStringLiteral("Cannot open %1.").arg(path));
    return false;
  }
  AddToRecentFileList(QFileInfo(path).absoluteFilePath());
  UpdateFrameTitle();
  UpdateAllViews();
  return true;
}

void CVellumApp::UpdateAllViews() {
  // A new or opened document updates every view: the base picture of the current screen and
  // its title again. Before the first paint there is nothing to redraw.
  if (CVellumView* view = m_frame->View(); view && view->IsLaidOut()) {
    view->InvalidateAndPaint(view->ClientRect());
  }
}

void CVellumApp::OnFilePrint() {
  CVellumView* view = m_frame->View();
  if (view == nullptr || !view->IsLaidOut()) return;
  // The view as the user sees it when asking, the selector included; the reader goes on
  // drawing while the dialog is open.
  const QImage picture = view->grab().toImage();
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName(m_doc->Title());
  printer.setPageOrientation(picture.width() > picture.height() ? QPageLayout::Landscape
                                                                : QPageLayout::Portrait);
  QPrintDialog dialog(&printer, m_frame.get());
  const bool accepted = dialog.exec() == QDialog::Accepted;
  view->setFocus(Qt::OtherFocusReason);  // F1, F3, F4 and F5 go to the view again
  if (!accepted) return;
  if (!gdi::PrintImage(printer, picture)) {
    const QString target =
        printer.outputFileName().isEmpty() ? printer.printerName() : printer.outputFileName();
    QMessageBox::warning(m_frame.get(), QString::fromLatin1(res::kAppTitle),
                         QStringLiteral("Cannot print to %1.").arg(target));
  }
}

void CVellumApp::OnFileSave() {
  QString path = m_doc->PathName();
  if (path.isEmpty()) {
    path = QFileDialog::getSaveFileName(m_frame.get(), QStringLiteral("Save As"), m_doc->Title());
    if (path.isEmpty()) return;
  }
  if (!m_doc->OnSaveDocument(path)) {
    QMessageBox::warning(m_frame.get(), QString::fromLatin1(res::kAppTitle),
                         QStringLiteral("Cannot save %1.").arg(path));
    return;
  }
  AddToRecentFileList(path);
  UpdateFrameTitle();
}

void CVellumApp::UpdateFrameTitle() {
  // The view replaces this caption at its next paint.
  m_frame->setWindowTitle(m_doc->Title() + QStringLiteral(" - ") +
                          QString::fromLatin1(res::kAppTitle));
}

void CVellumApp::LoadStdProfileSettings(int entries) {
  m_recentLimit = entries;
  QSettings settings;
  settings.beginGroup(QLatin1String(kRecentSection));
  for (int i = 1; i <= entries; ++i) {
    const QString file = settings.value(QStringLiteral("File%1").arg(i)).toString();
    if (!file.isEmpty()) m_recentFiles.append(file);
  }
}

void CVellumApp::AddToRecentFileList(const QString& path) {
  m_recentFiles.removeAll(path);
  m_recentFiles.prepend(path);
  while (m_recentFiles.size() > m_recentLimit) m_recentFiles.removeLast();
  m_recentChanged = true;
}

void CVellumApp::SaveStdProfileSettings() {
  if (!m_recentChanged) return;  // nothing is written unless a file was opened or saved
  QSettings settings;
  settings.beginGroup(QLatin1String(kRecentSection));
  for (int i = 1; i <= m_recentLimit; ++i) {
    const QString key = QStringLiteral("File%1").arg(i);
    if (i <= m_recentFiles.size()) {
      settings.setValue(key, m_recentFiles.at(i - 1));
    } else {
      settings.remove(key);
    }
  }
}
