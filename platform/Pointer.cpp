#include "platform/Pointer.h"

#include <QGuiApplication>
#include <QScreen>
#include <cstdio>
#include <cstdlib>

#include "platform/UinputPointer.h"
#include "platform/X11Pointer.h"

namespace platform {
namespace {

class NoPointer final : public IPointer {
 public:
  bool MoveTo(int32_t, int32_t) override { return false; }
  void Close() override {}
};

// The union of every screen's geometry: uinput's axes span all of it.
vellum::Rect Desktop() {
  QRect all;
  for (const QScreen* s : QGuiApplication::screens()) all = all.united(s->geometry());
  return {all.left(), all.top(), all.left() + all.width(), all.top() + all.height()};
}

}  // namespace

PointerKind ResolvePointerKind(PointerKind requested, std::string_view qtPlatform,
                               bool hasDisplay, bool hasWaylandDisplay) {
  if (requested != PointerKind::kAuto) return requested;
  // Xwayland ignores warps: on a Wayland session only uinput moves the pointer, even for a
  // program that runs on Qt's xcb platform there.
  if (hasWaylandDisplay || qtPlatform.starts_with("wayland")) return PointerKind::kUinput;
  return (qtPlatform == "xcb" || hasDisplay) ? PointerKind::kX11 : PointerKind::kUinput;
}

std::unique_ptr<IPointer> MakePointer(PointerKind kind, const vellum::Rect& desktop) {
  switch (kind) {
    case PointerKind::kX11:
      return std::make_unique<X11Pointer>("");
    case PointerKind::kUinput:
      return std::make_unique<UinputPointer>(desktop);
    case PointerKind::kNone:
    case PointerKind::kAuto:
      break;
  }
  return std::make_unique<NoPointer>();
}

std::unique_ptr<IPointer> MakeSystemPointer(PointerKind requested) {
  const PointerKind kind = ResolvePointerKind(
      requested, QGuiApplication::platformName().toStdString(), std::getenv("DISPLAY") != nullptr,
      std::getenv("WAYLAND_DISPLAY") != nullptr);
  return MakePointer(kind, Desktop());
}

void ReportPointerProblem(const std::string& reason) {
  std::fprintf(stderr, "vellum: %s\n", reason.c_str());
  std::fflush(stderr);
}

}  // namespace platform
