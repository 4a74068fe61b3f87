#include "view/StatusReadout.h"

#include "res/Strings.h"
#include "view/Text.h"

std::string FormatStatusReadout(int type, int x, int y, int pressure, int buttons) {
  switch (type) {
    case 1:
      return FormatText(res::kStatusLinear, x, y, buttons);
    case 2:
      return FormatText(res::kStatusPressure, x, y, pressure, buttons);
    default:
      return std::string();
  }
}
