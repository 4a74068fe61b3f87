// Lowering an open line's latency and putting it back, with a table of the changes in force so
// that exit() and the stop signals put them back too.
#include <sched.h>
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>

#include "tablet/LatencyIo.h"

namespace vellum {
namespace {

// A slot's life: its owner fills and arms it before changing anything and frees it after
// putting things back; an exit path may undo an armed slot meanwhile, the owner frees it after.
enum SlotState : int { kFree, kFilling, kArmed, kUndoing, kUndone };

struct Slot {
  std::atomic<int> state{kFree};
  ILatencyIo* io = nullptr;
  LatencyPlace place;
  LatencyUndo undo;
};
static_assert(std::atomic<int>::is_always_lock_free);

// Few lines are open at once: the probe's and the tablet's, one after the other.
constexpr int kSlots = 8;
Slot g_slots[kSlots];

void UndoWith(ILatencyIo& io, const LatencyPlace& place, const LatencyUndo& undo) {
  if (undo.rxTrigger) io.WriteRxTrigger(place, *undo.rxTrigger);
  if (undo.clearLowLatency) io.SetLowLatency(place, false);
}

int Arm(ILatencyIo* io, const LatencyPlace& place, const LatencyUndo& undo) {
  for (int i = 0; i < kSlots; ++i) {
    int expected = kFree;
    if (!g_slots[i].state.compare_exchange_strong(expected, kFilling)) continue;
    g_slots[i].io = io;
    g_slots[i].place = place;
    g_slots[i].undo = undo;
    g_slots[i].state.store(kArmed, std::memory_order_release);
    return i;
  }
  return -1;
}

void Disarm(int i) {
  std::atomic<int>& state = g_slots[i].state;
  for (;;) {
    int s = state.load(std::memory_order_acquire);
    if (s == kFree || s == kFilling) return;  // not this owner's: nothing to free
    if ((s == kArmed || s == kUndone) && state.compare_exchange_weak(s, kFree)) return;
    // An exit path on another thread is putting it back; it is done within a few writes.
    if (s == kUndoing) sched_yield();
  }
}

extern "C" void UndoThenDie(int sig) {
  UndoLatencyChangesNow();
  // The signal is blocked until the handler returns; then its default action ends the process.
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

extern "C" void UndoAtExit() {
  UndoLatencyChangesNow();
}

}  // namespace

PortLatency::PortLatency(std::shared_ptr<ILatencyIo> io) : io_(std::move(io)) {}

PortLatency::~PortLatency() {
  Restore();
}

void PortLatency::Lower(int fd, const std::string& port) {
  Restore();
  notice_.clear();
  if (!io_) return;
  const LatencyFacts facts = io_->Look(fd, place_);
  const LatencyPlan plan = PlanLowLatency(facts);
  LatencyOutcome outcome;
  if (!plan.Empty()) {
    // Remembered before anything changes: a signal from here on puts it back.
    slot_ = Arm(io_.get(), place_, IntendedUndo(facts, plan));
    if (slot_ < 0) return;  // nowhere to remember it: change nothing
    if (plan.lowerTrigger) {
      outcome.triggerError = io_->WriteRxTrigger(place_, 1);
      if (outcome.triggerError == 0) outcome.triggerNow = io_->ReadRxTrigger(place_);
    }
    if (plan.setLowLatency) outcome.flagError = io_->SetLowLatency(place_, true);
  }
  if (facts.kind == LatencyKind::kUsbAdapter && facts.hasLatencyTimer) {
    outcome.timerMs = io_->ReadLatencyTimer(place_);
  }
  undo_ = UndoFor(facts, plan, outcome);
  if (undo_.Empty() && slot_ >= 0) {
    Disarm(slot_);
    slot_ = -1;
  }
  notice_ = LatencyNotice(port, facts, plan, outcome, UdevRulePath());
}

void PortLatency::Restore() {
  // Put back while still in the table, so that a signal arriving now cannot lose it.
  if (io_ && !undo_.Empty()) UndoWith(*io_, place_, undo_);
  if (slot_ >= 0) Disarm(slot_);
  slot_ = -1;
  undo_ = {};
}

void UndoLatencyChangesNow() {
  const int savedErrno = errno;
  for (Slot& slot : g_slots) {
    int expected = kArmed;
    if (!slot.state.compare_exchange_strong(expected, kUndoing)) continue;
    UndoWith(*slot.io, slot.place, slot.undo);
    slot.state.store(kUndone, std::memory_order_release);
  }
  errno = savedErrno;
}

void UndoLatencyChangesOnExit() {
  static std::once_flag once;
  std::call_once(once, [] {
    std::atexit(UndoAtExit);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
      struct sigaction old {};
      // An ignored signal (nohup) stays ignored.
      if (::sigaction(sig, nullptr, &old) != 0 || old.sa_handler != SIG_DFL) continue;
      struct sigaction action {};
      action.sa_handler = UndoThenDie;
      sigemptyset(&action.sa_mask);
      ::sigaction(sig, &action, nullptr);
    }
  });
}

}  // namespace vellum
