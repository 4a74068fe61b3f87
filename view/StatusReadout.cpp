#include "view/StatusReadout.h"

#include "res/Strings.h"
#include "view/Text.h"

std::string FormatStatusReadout(vellum::TestMode screen, int x, int y, int pressure, int buttons) {
  switch (screen) {
    case vellum::TestMode::kLinear:
      return FormatText(res::kStatusLinear, x, y, buttons);
    case vellum::TestMode::kPressure:
      return FormatText(res::kStatusPressure, x, y, pressure, buttons);
    default:
      return std::string();
  }
}
