#pragma once
// The text of status-bar pane 0 for a readout request: Linear (type 1), Pressure (type 2), or
// empty for any other type. Shared by the main frame and the fake frame of the tests.
#include <string>

std::string FormatStatusReadout(int type, int x, int y, int pressure, int buttons);
