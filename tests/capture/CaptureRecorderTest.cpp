#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "capture/CaptureRecorder.h"
#include "capture/RecordingPort.h"
#include "tests/capture/EmulatorPort.h"

namespace vellum {
namespace {

std::string TempPath(const std::string& name) {
  return testing::TempDir() + "capture_" + name;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

CaptureHeader TabletHeader() {
  TabletInfo info;
  info.port = 1;
  info.packetLength = 7;
  info.maxX = 5000;
  info.maxY = 3750;
  return CaptureHeaderFor(info, "/dev/ttyUSB0");
}

struct FakeClock {
  int64_t us = 1'000'000'000;  // arbitrary start: the file counts from its first line
  CaptureRecorder::Clock Fn() {
    return [this] { return us; };
  }
};

TEST(CaptureRecorder, TimesCountFromTheFirstByteAndTheHeaderNamesTheTablet) {
  const std::string path = TempPath("times");
  FakeClock clock;
  {
    CaptureRecorder r(clock.Fn());
    ASSERT_EQ(r.Open(path), "");
    r.SetHeader(TabletHeader());
    const uint8_t a[] = {0x98}, b[] = {0x01};
    r.OnBytes(a, 1);
    clock.us += 1146;
    r.OnBytes(b, 1);
  }
  Capture c;
  ASSERT_EQ(ParseCapture(Slurp(path), c), "");
  EXPECT_EQ(c.header.port, 1u);
  EXPECT_EQ(c.header.path, "/dev/ttyUSB0");
  EXPECT_EQ(c.header.packetLength, 7);
  EXPECT_EQ(c.header.rangeX, 5000);
  EXPECT_EQ(c.header.rangeY, 3750);
  EXPECT_FALSE(c.header.program.empty());
  EXPECT_EQ(c.header.date.size(), 20u) << c.header.date;
  ASSERT_EQ(c.records.size(), 2u);
  EXPECT_EQ(c.records[0].timeUs, 0);
  EXPECT_EQ(c.records[1].timeUs, 1146);
  EXPECT_EQ(c.bytes, (std::vector<uint8_t>{0x98, 0x01}));
}

// The file must hold what the reader read no later than a second after it read it, without
// anyone calling Flush(): a crash or a kill loses at most that second.
TEST(CaptureRecorder, ReaderWritesOutOnceASecond) {
  const std::string path = TempPath("second");
  FakeClock clock;
  CaptureRecorder r(clock.Fn());
  ASSERT_EQ(r.Open(path), "");
  r.SetHeader(TabletHeader());
  const uint8_t b[] = {0x98};
  struct Step {
    int64_t advanceUs;
    size_t linesOnDisk;  // after the byte at that time
  };
  const Step steps[] = {
      {0, 0}, {500'000, 0}, {499'999, 0}, {1, 4}, {10, 4}, {999'989, 4}, {1, 7},
  };
  for (const Step& s : steps) {
    clock.us += s.advanceUs;
    r.OnBytes(b, 1);
    const std::string text = Slurp(path);
    const size_t header = text.find("---\n");
    const size_t body = header == std::string::npos
                            ? 0
                            : size_t(std::count(text.begin() + long(header) + 4, text.end(), '\n'));
    EXPECT_EQ(body, s.linesOnDisk) << "after +" << s.advanceUs;
  }
}

TEST(CaptureRecorder, ProbeDialogueGetsItsHeaderAfterwards) {
  const std::string path = TempPath("late_header");
  FakeClock clock;
  CaptureRecorder r(clock.Fn());
  ASSERT_EQ(r.Open(path), "");
  const uint8_t b[] = {0x13};
  r.RecordOpen(1, CaptureOpenResult::kOk);
  for (int i = 0; i < 5; ++i) {
    clock.us += 600'000;  // the probe takes seconds; nothing goes out before its result
    r.Record(CaptureEvent::kProbeWrite, b, 1);
  }
  EXPECT_EQ(Slurp(path), "");
  r.SetHeader(TabletHeader());
  r.Flush();
  Capture c;
  ASSERT_EQ(ParseCapture(Slurp(path), c), "");
  EXPECT_EQ(c.header.rangeX, 5000);
  EXPECT_EQ(c.records.size(), 6u);
}

TEST(CaptureRecorder, HeaderSetAfterTheFirstWriteIsIgnored) {
  const std::string path = TempPath("header_twice");
  FakeClock clock;
  CaptureRecorder r(clock.Fn());
  ASSERT_EQ(r.Open(path), "");
  r.Flush();  // no header set: an unknown tablet
  CaptureHeader other = TabletHeader();
  other.rangeX = 9000;
  r.SetHeader(other);
  r.Close();
  Capture c;
  ASSERT_EQ(ParseCapture(Slurp(path), c), "");
  EXPECT_EQ(c.header.port, 0u);
  EXPECT_EQ(c.header.rangeX, 0);
}

TEST(CaptureRecorder, FailuresAreReportedNotFatal) {
  CaptureRecorder missingDir;
  const std::string error = missingDir.Open("/nonexistent/dir/capture.txt");
  EXPECT_NE(error.find("/nonexistent/dir/capture.txt: "), std::string::npos) << error;
  const uint8_t b[] = {0x98};
  missingDir.OnBytes(b, 1);  // not open: dropped
  missingDir.Flush();
  missingDir.Close();

  CaptureRecorder full;
  ASSERT_EQ(full.Open("/dev/full"), "");
  full.SetHeader(TabletHeader());
  full.OnBytes(b, 1);
  full.Flush();
  EXPECT_NE(full.Error().find("write: "), std::string::npos) << full.Error();
  for (int i = 0; i < 1000; ++i) full.OnBytes(b, 1);  // dropped after the failure
  full.Close();
  full.Close();
}

// The reader appends while the UI thread's timer flushes: every byte must land once, in order.
// Also runs under ThreadSanitizer.
TEST(CaptureRecorder, ConcurrentFlushesKeepEveryByteInOrder) {
  const std::string path = TempPath("concurrent");
  CaptureRecorder r;
  ASSERT_EQ(r.Open(path), "");
  r.SetHeader(TabletHeader());
  constexpr int kBytes = 20000;
  std::atomic<bool> done{false};
  std::thread flusher([&] {
    while (!done.load()) r.Flush();
  });
  for (int i = 0; i < kBytes; ++i) {
    const uint8_t b = uint8_t(i);
    r.OnBytes(&b, 1);
  }
  done.store(true);
  flusher.join();
  r.Close();
  Capture c;
  ASSERT_EQ(ParseCapture(Slurp(path), c), "");
  ASSERT_EQ(c.bytes.size(), size_t(kBytes));
  for (int i = 0; i < kBytes; ++i) ASSERT_EQ(c.bytes[size_t(i)], uint8_t(i)) << i;
}

// More recordings than the recorder keeps, in far less than a second and with nobody flushing: it
// writes out itself, with the header known or not yet, and loses or splits nothing.
TEST(CaptureRecorder, LongRecordingWithoutFlushesLosesNothing) {
  for (bool header : {true, false}) {
    const std::string path = TempPath(header ? "ring_header" : "ring_noheader");
    FakeClock clock;
    CaptureRecorder r(clock.Fn());
    ASSERT_EQ(r.Open(path), "");
    if (header) r.SetHeader(TabletHeader());
    const uint64_t reads = 3 * CaptureRecorder::kWriteOutRecords + 7;
    std::vector<uint8_t> longRead(13);
    for (size_t i = 0; i < longRead.size(); ++i) longRead[i] = uint8_t(0xA0 + i);
    for (uint64_t i = 0; i < reads; ++i) {
      if (i % 1000 == 999) {
        r.Record(CaptureEvent::kProbeWrite, longRead.data(), longRead.size());
      } else {
        const uint8_t b = uint8_t(i);
        r.OnBytes(&b, 1);
      }
      clock.us += 1;  // far less than a second in all
    }
    EXPECT_GE(Slurp(path).size(), 3 * 5 * CaptureRecorder::kWriteOutRecords);  // 3 batches out
    r.Close();
    Capture c;
    ASSERT_EQ(ParseCapture(Slurp(path), c), "") << header;
    ASSERT_EQ(c.records.size(), reads) << header;
    for (uint64_t i = 0; i < reads; ++i) {
      const CaptureRecord& rec = c.records[i];
      ASSERT_EQ(rec.timeUs, int64_t(i)) << header << " " << i;
      if (i % 1000 == 999) {
        ASSERT_EQ(std::vector<uint8_t>(c.BytesOf(rec), c.BytesOf(rec) + rec.count), longRead) << i;
      } else {
        ASSERT_EQ(rec.count, 1u) << i;
        ASSERT_EQ(c.BytesOf(rec)[0], uint8_t(i)) << i;
      }
    }
  }
}

TEST(RecordingPort, RecordsTheProbeBothWaysAndChangesNothing) {
  emu::EmulatorConfig config;
  config.packetLength = 7;
  config.maxX = 9000;
  config.maxY = 6000;
  test::EmulatorPort inner(config, {}, 2, 1e9);
  const std::string path = TempPath("probe");
  CaptureRecorder recorder([&inner] { return inner.Micros(); });
  ASSERT_EQ(recorder.Open(path), "");
  RecordingPort port(inner, recorder);
  const TabletInfo info = ScanPorts(port);
  ASSERT_EQ(info.port, 2u);
  EXPECT_EQ(info.maxX, 9000);
  recorder.SetHeader(CaptureHeaderFor(info, "/dev/pts/9"));
  recorder.Close();

  Capture c;
  ASSERT_EQ(ParseCapture(Slurp(path), c), "");
  EXPECT_EQ(c.header.port, 2u);
  std::string summary;
  for (const CaptureRecord& rec : c.records) {
    switch (rec.event) {
      case CaptureEvent::kOpen:
        summary += "open" + std::to_string(rec.port) +
                   (rec.openResult == CaptureOpenResult::kOk ? " " : "! ");
        break;
      case CaptureEvent::kClose:
        summary += "close ";
        break;
      case CaptureEvent::kProbeWrite:
        for (uint32_t i = 0; i < rec.count; ++i) {
          // Appended piece by piece: g++ 12 at -O3 sees a false overlap in ">" + s.
          summary += '>';
          summary += std::to_string(c.BytesOf(rec)[i]);
          summary += ' ';
        }
        break;
      case CaptureEvent::kProbeRead:
        summary += "<";
        break;
      case CaptureEvent::kRead:
        summary += "?";
        break;
    }
  }
  // Port 1 fails to open; port 2 gets DC3, "z~", answers 28 bytes, then "a", "@", the 7-byte
  // range reply and DC1; ports 3 and 4 fail again.
  EXPECT_EQ(summary, "open1! open2 >19 >122 >126 " + std::string(28, '<') + ">97 >64 " +
                         std::string(7, '<') + ">17 close open3! open4! ");
  EXPECT_EQ(c.records.front().timeUs, 0);
}

}  // namespace
}  // namespace vellum
