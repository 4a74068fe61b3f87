#pragma once
#include <string>

#include "base/Tablet.h"

// What the view needs of the main window it lives in (CMainFrame implements it; tests may fake it).
// UI thread only.
class IViewFrame {
 public:
  virtual ~IViewFrame() = default;
  // The readout of the Linear or Pressure screen; any other screen empties the pane.
  virtual void SetStatusReadout(vellum::TestMode screen, int x, int y, int pressure,
                                int buttons) = 0;
  // Replaces status pane 0's text with a notice of the program's own (a lost tablet).
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void SetTitle(const std::string& title) = 0;
  virtual bool IsZoomed() const = 0;
  virtual void ShowMaximized() = 0;
};
