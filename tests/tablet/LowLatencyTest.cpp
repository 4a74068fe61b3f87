// What Vellum changes about a line's latency while it holds it, what it puts back and what it
// says: the decisions as tables, then PortLatency against a fake of the sysfs and ioctl access.
#include "tablet/LowLatency.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "tablet/LatencyIo.h"

namespace vellum::test {
namespace {

constexpr const char* kPort = "COM2 (/dev/ttyS1)";
constexpr const char* kRule = "/usr/share/doc/vellum/60-vellum-uart-trigger.rules";

LatencyFacts Uart(std::optional<int> trigger) {
  return {LatencyKind::kUart, "ttyS1", trigger, std::nullopt, false};
}

LatencyFacts Adapter(std::optional<bool> lowLatency, bool timer = true) {
  return {LatencyKind::kUsbAdapter, "ttyUSB0", std::nullopt, lowLatency, timer};
}

TEST(LowLatency, PlanChangesOnlyWhatIsThereAndNotYetLow) {
  const struct {
    const char* what;
    LatencyFacts facts;
    bool lowerTrigger, setLowLatency;
  } rows[] = {
      {"pty", {}, false, false},
      {"UART as booted", Uart(8), true, false},
      {"UART at 14", Uart(14), true, false},
      {"UART already at 1", Uart(1), false, false},
      {"UART without a FIFO", Uart(std::nullopt), false, false},
      {"adapter", Adapter(false), false, true},
      {"adapter already low", Adapter(true), false, false},
      {"adapter without TIOCGSERIAL", Adapter(std::nullopt), false, false},
  };
  for (const auto& row : rows) {
    const LatencyPlan plan = PlanLowLatency(row.facts);
    EXPECT_EQ(plan.lowerTrigger, row.lowerTrigger) << row.what;
    EXPECT_EQ(plan.setLowLatency, row.setLowLatency) << row.what;
  }
}

// Only what changed goes back, and to the value found at the open.
TEST(LowLatency, UndoPutsBackWhatChanged) {
  const struct {
    const char* what;
    LatencyFacts facts;
    LatencyOutcome outcome;
    LatencyUndo undo;
  } rows[] = {
      {"trigger lowered", Uart(8), {0, 1, 0, {}}, {8, false}},
      {"trigger taken at another level", Uart(14), {0, 4, 0, {}}, {14, false}},
      {"trigger not permitted", Uart(8), {EACCES, {}, 0, {}}, {}},
      {"trigger refused", Uart(8), {EINVAL, {}, 0, {}}, {}},
      {"trigger already 1", Uart(1), {}, {}},
      {"flag set", Adapter(false), {0, {}, 0, 1}, {std::nullopt, true}},
      {"flag refused", Adapter(false), {0, {}, EPERM, 16}, {}},
      {"flag already set", Adapter(true), {0, {}, 0, 1}, {}},
      {"pty", {}, {}, {}},
  };
  for (const auto& row : rows) {
    const LatencyPlan plan = PlanLowLatency(row.facts);
    EXPECT_EQ(UndoFor(row.facts, plan, row.outcome), row.undo) << row.what;
    // What is kept before the change covers what the change did.
    const LatencyUndo intended = IntendedUndo(row.facts, plan);
    if (row.undo.rxTrigger) {
      EXPECT_EQ(intended.rxTrigger, row.undo.rxTrigger) << row.what;
    }
    if (row.undo.clearLowLatency) {
      EXPECT_TRUE(intended.clearLowLatency) << row.what;
    }
  }
}

TEST(LowLatency, NoticeSaysWhatItCostsAndWhatMendsIt) {
  const struct {
    const char* what;
    LatencyFacts facts;
    LatencyOutcome outcome;
    std::string notice;
  } rows[] = {
      {"lowered: nothing to say", Uart(8), {0, 1, 0, {}}, ""},
      {"pty: nothing to say", {}, {}, ""},
      {"already 1", Uart(1), {}, ""},
      {"not permitted", Uart(8), {EACCES, {}, 0, {}},
       "COM2 (/dev/ttyS1): its UART passes on received bytes 8 at a time, so a packet may reach "
       "Vellum 8.0 ms late and the pointer then jumps. Vellum may not set the trigger to 1 byte "
       "while it holds the port.\nTo let it (group dialout, once, as root): sudo sh -c 'cp " +
           std::string(kRule) + " /etc/udev/rules.d/ && udevadm trigger -s tty'"},
      {"refused", Uart(14), {EINVAL, {}, 0, {}},
       "COM2 (/dev/ttyS1): the UART's receive trigger could not be set to 1 byte (Invalid "
       "argument): a packet may reach Vellum 14.9 ms late."},
      {"lowest level 4", Uart(8), {0, 4, 0, {}},
       "COM2 (/dev/ttyS1): the UART's lowest receive trigger is 4 bytes: a packet may reach "
       "Vellum 3.4 ms late."},
      {"adapter at 1 ms", Adapter(false), {0, {}, 0, 1}, ""},
      {"adapter without a timer", Adapter(false, false), {}, ""},
      {"flag refused", Adapter(false), {0, {}, EPERM, 16},
       "COM2 (/dev/ttyS1): the adapter's low-latency mode could not be set (Operation not "
       "permitted): a packet may reach Vellum 16 ms late."},
      {"timer ignores the flag", Adapter(true), {0, {}, 0, 16},
       "COM2 (/dev/ttyS1): the adapter's latency timer reads 16 ms, not 1 ms, while Vellum holds "
       "it: a packet may reach Vellum 16 ms late. As root, echo 1 > "
       "/sys/bus/usb-serial/devices/ttyUSB0/latency_timer lowers it until the adapter is "
       "unplugged."},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(LatencyNotice(kPort, row.facts, PlanLowLatency(row.facts), row.outcome, kRule),
              row.notice)
        << row.what;
  }
}

TEST(LowLatency, ListPortsWordsInMilliseconds) {
  const struct {
    int trigger;
    bool writable;
    int timer;
    const char* text;
  } rows[] = {
      {-1, false, -1, ""},
      {1, false, -1, "receive trigger 1 byte (no wait)"},
      {8, false, -1, "receive trigger 8 bytes (a packet up to 8.0 ms late; Vellum may not lower it)"},
      {14, true, -1,
       "receive trigger 14 bytes (a packet up to 14.9 ms late; Vellum sets 1 byte while it holds "
       "the port)"},
      {-1, false, 0, "latency timer 0 ms (no wait)"},  // QEMU's emulated FT232 says 0
      {-1, false, 1, "latency timer 1 ms (a packet up to 1 ms late)"},
      {-1, false, 16,
       "latency timer 16 ms (a packet up to 16 ms late; Vellum asks for 1 ms while it holds the "
       "port)"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(DescribeLatency(row.trigger, row.writable, row.timer), row.text) << row.trigger;
  }
  EXPECT_EQ(NoticeLines(""), "");
  EXPECT_EQ(NoticeLines("a\nb"), "vellum: a\nvellum: b\n");
}

// ---------------------------------------------------------------------------------------------
// PortLatency over a fake line whose settings are plain values.

class FakeLatencyIo final : public ILatencyIo {
 public:
  LatencyKind kind = LatencyKind::kUart;
  int trigger = 8;
  int lowestTrigger = 1;
  int triggerError = 0;
  std::optional<bool> lowLatency = false;
  int flagError = 0;
  int timerOff = 16;
  int writes = 0;

  LatencyFacts Look(int fd, LatencyPlace& place) override {
    place = {};
    place.fd = fd;
    LatencyFacts f;
    f.kind = kind;
    f.name = kind == LatencyKind::kUart ? "ttyS1" : "ttyUSB0";
    if (kind == LatencyKind::kUart) f.rxTrigger = trigger;
    if (kind == LatencyKind::kUsbAdapter) {
      f.lowLatency = lowLatency;
      f.hasLatencyTimer = true;
    }
    return f;
  }
  int WriteRxTrigger(const LatencyPlace&, int bytes) override {
    ++writes;
    if (triggerError) return triggerError;
    trigger = std::max(bytes, lowestTrigger);
    return 0;
  }
  std::optional<int> ReadRxTrigger(const LatencyPlace&) override { return trigger; }
  int SetLowLatency(const LatencyPlace&, bool on) override {
    if (flagError) return flagError;
    lowLatency = on;
    return 0;
  }
  std::optional<int> ReadLatencyTimer(const LatencyPlace&) override {
    return lowLatency.value_or(false) ? 1 : timerOff;
  }
};

TEST(PortLatency, LowersWhileOpenAndPutsBackOnce) {
  auto io = std::make_shared<FakeLatencyIo>();
  PortLatency latency(io);
  latency.Lower(5, kPort);
  EXPECT_EQ(io->trigger, 1);
  EXPECT_EQ(latency.Notice(), "");
  latency.Restore();
  EXPECT_EQ(io->trigger, 8);
  const int writes = io->writes;
  latency.Restore();  // idempotent: nothing written again
  EXPECT_EQ(io->writes, writes);

  io->kind = LatencyKind::kUsbAdapter;
  latency.Lower(5, kPort);
  EXPECT_EQ(io->lowLatency, true);
  latency.Restore();
  EXPECT_EQ(io->lowLatency, false);
}

// A second open puts the first one's change back before it looks: the value found is the
// user's, not ours.
TEST(PortLatency, ReopenRemembersTheUsersValue) {
  auto io = std::make_shared<FakeLatencyIo>();
  {
    PortLatency latency(io);
    latency.Lower(5, kPort);
    latency.Lower(5, kPort);
    EXPECT_EQ(io->trigger, 1);
    EXPECT_EQ(latency.Pending().rxTrigger, 8);
  }  // the destructor puts it back
  EXPECT_EQ(io->trigger, 8);
}

TEST(PortLatency, NothingChangedNothingPutBack) {
  const struct {
    const char* what;
    LatencyKind kind;
    int trigger;
    int triggerError;
    std::optional<bool> lowLatency;
    bool saysSomething;
  } rows[] = {
      {"pty", LatencyKind::kNone, 8, 0, false, false},
      {"trigger at 1 already", LatencyKind::kUart, 1, 0, false, false},
      {"not permitted", LatencyKind::kUart, 8, EACCES, false, true},
      {"adapter already low", LatencyKind::kUsbAdapter, 8, 0, true, false},
  };
  for (const auto& row : rows) {
    auto io = std::make_shared<FakeLatencyIo>();
    io->kind = row.kind;
    io->trigger = row.trigger;
    io->triggerError = row.triggerError;
    io->lowLatency = row.lowLatency;
    PortLatency latency(io);
    latency.Lower(5, kPort);
    EXPECT_TRUE(latency.Pending().Empty()) << row.what;
    EXPECT_EQ(!latency.Notice().empty(), row.saysSomething) << row.what;
    latency.Restore();
    EXPECT_EQ(io->trigger, row.trigger) << row.what;
    EXPECT_EQ(io->lowLatency, row.lowLatency) << row.what;
  }
}

// The exit paths (exit(), a stop signal, _exit after a fatal error) undo what is in force; the
// port's own close afterwards finds nothing left to do but free its entry.
TEST(PortLatency, ExitPathUndoesEveryChangeInForce) {
  auto uart = std::make_shared<FakeLatencyIo>();
  auto adapter = std::make_shared<FakeLatencyIo>();
  adapter->kind = LatencyKind::kUsbAdapter;
  PortLatency a(uart), b(adapter);
  a.Lower(5, kPort);
  b.Lower(6, kPort);
  ASSERT_EQ(uart->trigger, 1);
  ASSERT_EQ(adapter->lowLatency, true);
  UndoLatencyChangesNow();
  EXPECT_EQ(uart->trigger, 8);
  EXPECT_EQ(adapter->lowLatency, false);
  UndoLatencyChangesNow();  // once undone, not again
  a.Restore();
  b.Restore();
  EXPECT_EQ(uart->trigger, 8);

  // Entries are freed: more opens than the table holds, one after another, all work.
  for (int i = 0; i < 20; ++i) {
    a.Lower(5, kPort);
    ASSERT_EQ(uart->trigger, 1) << i;
    a.Restore();
  }
}

}  // namespace
}  // namespace vellum::test
