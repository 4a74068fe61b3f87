#pragma once
// The main window: a caption without buttons, no menu, a stretched status pane and, at its
// right, the line's figures. The test view is its central widget.
#include <QMainWindow>
#include <QTimer>
#include <string>

#include "view/ViewFrame.h"

class QLabel;
class CVellumView;

class CMainFrame : public QMainWindow, public IViewFrame {
  Q_OBJECT

 public:
  CMainFrame();

  void SetView(CVellumView* view);
  CVellumView* View() const { return m_view; }

  // IViewFrame
  void SetStatusReadout(vellum::TestMode screen, int x, int y, int pressure, int buttons) override;
  void SetStatusText(const std::string& text) override;
  void SetTitle(const std::string& title) override;
  bool IsZoomed() const override;
  void ShowMaximized() override;

  // The second pane: the line's figures, refreshed twice a second.
  void RefreshLineQuality();

 protected:
  void moveEvent(QMoveEvent* event) override;

 private:
  QLabel* m_statusPane = nullptr;
  QLabel* m_linePane = nullptr;
  QTimer m_lineTimer;
  CVellumView* m_view = nullptr;
};
