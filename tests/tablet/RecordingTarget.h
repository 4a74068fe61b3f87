#pragma once
// An IReaderTarget that writes every call down as text, for comparing against expected calls.
#include <atomic>
#include <string>
#include <vector>

#include "tablet/Reader.h"

namespace vellum::test {

class RecordingTarget : public IReaderTarget {
 public:
  // Returned by Mode() in turn; the last entry repeats.
  std::vector<uint32_t> modes = {0};
  int32_t shownButtons = 0;
  int32_t transducer = 4;
  ClientPoint origin{100, 50};  // the client origin on the screen
  std::vector<std::string> calls;
  std::atomic<int> packets{0};

  uint32_t Mode() const override {
    const size_t i = modeReads_ < modes.size() ? modeReads_ : modes.size() - 1;
    ++modeReads_;
    return modes[i];
  }
  void StoreButtons(int32_t code) override { Note("buttons", {code}); }
  void StoreStatus(int32_t x, int32_t y, int32_t p) override { Note("status", {x, y, p}); }
  void StorePenWidth(int32_t w) override { Note("width", {w}); }
  int32_t ShownButtons() const override { return shownButtons; }
  int32_t Transducer() const override { return transducer; }
  ClientPoint ClientToScreen(ClientPoint p) const override {
    return {p.x + origin.x, p.y + origin.y};
  }
  void MovePointer(ClientPoint s) override { Note("pointer", {s.x, s.y}); }
  void DrawTraceSegment(ClientPoint p) override { Note("trace", {p.x, p.y}); }
  void ShowStylusButtons(int32_t c) override { Note("stylus", {c}); }
  void ShowTwoButtonStylusButtons(int32_t c) override { Note("stylus2", {c}); }
  void ShowThreeButtonStylusButtons(int32_t c) override { Note("stylus3", {c}); }
  void ShowCursorButtons(int32_t c) override { Note("cursor", {c}); }
  void ShowReadout(int32_t b, int32_t x, int32_t y, int32_t p) override {
    Note("readout", {b, x, y, p});
  }
  void ClearSelectorLatch() override { Note("latch", {}); }
  void PenSelectorStep(int32_t c, ClientPoint s) override { Note("selector", {c, s.x, s.y}); }
  void ShowShake(int32_t x, int32_t y) override { Note("shake", {x, y}); }
  void ShowKeystroke(int32_t c) override { Note("keystroke", {c}); }
  void PacketHandled() override { packets.fetch_add(1); }

 private:
  void Note(const char* name, std::initializer_list<int32_t> args) {
    std::string text = name;
    for (int32_t a : args) {
      text += ' ';  // one append at a time: g++ 12 -O3 sees a false overlap in " " + s
      text += std::to_string(a);
    }
    calls.push_back(text);
  }
  mutable size_t modeReads_ = 0;
};

}  // namespace vellum::test
