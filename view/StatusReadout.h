#pragma once
// The text of status-bar pane 0 for a readout request: Linear, Pressure, or empty for any other
// screen. Shared by the main frame and the fake frame of the tests.
#include <string>

#include "base/Tablet.h"

std::string FormatStatusReadout(vellum::TestMode screen, int x, int y, int pressure, int buttons);
