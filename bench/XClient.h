#pragma once
// What the X benchmarks ask the X server as another client would, and how they sum it up.
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace vellum::bench {

struct Place {
  int16_t x = 0, y = 0;
};

// Where the pointer is on the screen of `root`; (0, 0) when the server does not answer.
inline Place QueryPointer(xcb_connection_t* c, xcb_window_t root) {
  xcb_query_pointer_reply_t* r = xcb_query_pointer_reply(c, xcb_query_pointer(c, root), nullptr);
  Place p;
  if (r) {
    p = {r->root_x, r->root_y};
    std::free(r);
  }
  return p;
}

// The q-quantile (0..1) of v, the nearest sample; -1 for none.
inline double Percentile(std::vector<double> v, double q) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, size_t(q * double(v.size() - 1) + 0.5))];
}

}  // namespace vellum::bench
