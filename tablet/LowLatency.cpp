// What to change about a line's latency, what to put back and what to say.
#include "tablet/LowLatency.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

namespace vellum {
namespace {

// 9600 baud, 11 bits a character (start, 8 data, parity, stop).
constexpr double kCharacterMs = 11.0 * 1000.0 / 9600.0;

std::string Fixed1(double v) {
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, 1);
  return ec == std::errc() ? std::string(text, end) : std::string("?");
}

std::string Bytes(int n) {
  return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

std::string LateBy(int triggerBytes) {
  return "a packet may reach Vellum " + Fixed1(TriggerWaitMs(triggerBytes)) + " ms late";
}

bool NotPermitted(int error) {
  return error == EACCES || error == EPERM;
}

std::string TriggerNotice(const std::string& port, const LatencyFacts& facts,
                          const LatencyOutcome& outcome, const std::string& udevRule) {
  const int found = facts.rxTrigger.value_or(0);
  if (NotPermitted(outcome.triggerError)) {
    return port + ": its UART passes on received bytes " + std::to_string(found) +
           " at a time, so " + LateBy(found) +
           " and the pointer then jumps. Vellum may not set the trigger to 1 byte while it "
           "holds the port.\nTo let it (group dialout, once, as root): sudo sh -c 'cp " +
           udevRule + " /etc/udev/rules.d/ && udevadm trigger -s tty'";
  }
  if (outcome.triggerError != 0) {
    return port + ": the UART's receive trigger could not be set to 1 byte (" +
           std::strerror(outcome.triggerError) + "): " + LateBy(found) + ".";
  }
  if (outcome.triggerNow && *outcome.triggerNow > 1) {
    return port + ": the UART's lowest receive trigger is " + Bytes(*outcome.triggerNow) + ": " +
           LateBy(*outcome.triggerNow) + ".";
  }
  return {};
}

std::string AdapterNotice(const std::string& port, const LatencyFacts& facts,
                          const LatencyOutcome& outcome) {
  const int timer = outcome.timerMs.value_or(0);
  if (outcome.flagError != 0) {
    std::string text = port + ": the adapter's low-latency mode could not be set (" +
                       std::strerror(outcome.flagError) + ")";
    if (timer > 1) text += ": a packet may reach Vellum " + std::to_string(timer) + " ms late";
    return text + ".";
  }
  if (timer > 1) {
    return port + ": the adapter's latency timer reads " + std::to_string(timer) +
           " ms, not 1 ms, while Vellum holds it: a packet may reach Vellum " +
           std::to_string(timer) + " ms late. As root, echo 1 > /sys/bus/usb-serial/devices/" +
           facts.name + "/latency_timer lowers it until the adapter is unplugged.";
  }
  return {};
}

}  // namespace

LatencyPlan PlanLowLatency(const LatencyFacts& facts) {
  LatencyPlan plan;
  if (facts.kind == LatencyKind::kUart) {
    plan.lowerTrigger = facts.rxTrigger && *facts.rxTrigger > 1;
  } else if (facts.kind == LatencyKind::kUsbAdapter) {
    plan.setLowLatency = facts.lowLatency && !*facts.lowLatency;
  }
  return plan;
}

LatencyUndo IntendedUndo(const LatencyFacts& facts, const LatencyPlan& plan) {
  LatencyUndo undo;
  if (plan.lowerTrigger) undo.rxTrigger = facts.rxTrigger;
  undo.clearLowLatency = plan.setLowLatency;
  return undo;
}

LatencyUndo UndoFor(const LatencyFacts& facts, const LatencyPlan& plan,
                    const LatencyOutcome& outcome) {
  LatencyUndo undo;
  // A write the driver took changed the trigger, even to a level other than 1.
  if (plan.lowerTrigger && outcome.triggerError == 0) undo.rxTrigger = facts.rxTrigger;
  undo.clearLowLatency = plan.setLowLatency && outcome.flagError == 0;
  return undo;
}

std::string LatencyNotice(const std::string& port, const LatencyFacts& facts,
                          const LatencyPlan& plan, const LatencyOutcome& outcome,
                          const std::string& udevRule) {
  if (facts.kind == LatencyKind::kUart && plan.lowerTrigger) {
    return TriggerNotice(port, facts, outcome, udevRule);
  }
  if (facts.kind == LatencyKind::kUsbAdapter) return AdapterNotice(port, facts, outcome);
  return {};
}

std::string NoticeLines(const std::string& notice) {
  std::string lines;
  size_t start = 0;
  while (start < notice.size()) {
    const size_t end = std::min(notice.find('\n', start), notice.size());
    lines += "vellum: " + notice.substr(start, end - start) + "\n";
    start = end + 1;
  }
  return lines;
}

double TriggerWaitMs(int bytes) {
  return std::max(bytes - 1, 0) * kCharacterMs;
}

std::string DescribeLatency(int rxTrigger, bool rxTriggerWritable, int latencyTimerMs) {
  if (rxTrigger == 1) return "receive trigger 1 byte (no wait)";
  if (rxTrigger > 1) {
    return "receive trigger " + Bytes(rxTrigger) + " (a packet up to " +
           Fixed1(TriggerWaitMs(rxTrigger)) + " ms late; " +
           (rxTriggerWritable ? "Vellum sets 1 byte while it holds the port)"
                              : "Vellum may not lower it)");
  }
  if (latencyTimerMs == 0) return "latency timer 0 ms (no wait)";
  if (latencyTimerMs == 1) return "latency timer 1 ms (a packet up to 1 ms late)";
  if (latencyTimerMs > 1) {
    return "latency timer " + std::to_string(latencyTimerMs) + " ms (a packet up to " +
           std::to_string(latencyTimerMs) +
           " ms late; Vellum asks for 1 ms while it holds the port)";
  }
  return {};
}

}  // namespace vellum
