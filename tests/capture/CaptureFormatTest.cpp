#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/CaptureFormat.h"

namespace vellum {
namespace {

constexpr const char* kGoodHeader =
    "vellum-capture 1\n"
    "version: 1.1.0\n"
    "port: 2\n"
    "path: /dev/ttyUSB0\n"
    "packet-length: 7\n"
    "range-x: 5000\n"
    "range-y: 3750\n"
    "---\n";

TEST(CaptureFormat, HeaderAndEveryKindOfLineSurviveWritingAndReading) {
  CaptureHeader h;
  h.program = "1.1.0";
  h.date = "2026-12-07T06:00:00Z";
  h.port = 3;
  h.path = "/tmp/tablet";
  h.packetLength = 5;
  h.rangeX = 9000;
  h.rangeY = 2250;
  std::string text = FormatCaptureHeader(h);
  const uint8_t probe[] = {0x7a, 0x7e};
  const uint8_t reply[] = {0x54};
  const uint8_t packet[] = {0x98, 0x00, 0x7f, 0x11, 0x13};
  AppendCaptureOpenLine(text, 0, 3, CaptureOpenResult::kOk);
  AppendCaptureLine(text, 10, CaptureEvent::kProbeWrite, probe, 2);
  AppendCaptureLine(text, 50010, CaptureEvent::kProbeRead, reply, 1);
  AppendCaptureLine(text, 60000, CaptureEvent::kClose, nullptr, 0);
  AppendCaptureOpenLine(text, 60001, 4, CaptureOpenResult::kSettingsFailed);
  AppendCaptureLine(text, 123456789012, CaptureEvent::kRead, packet, 5);

  Capture c;
  ASSERT_EQ(ParseCapture(text, c), "") << text;
  EXPECT_EQ(c.header.program, "1.1.0");
  EXPECT_EQ(c.header.date, "2026-12-07T06:00:00Z");
  EXPECT_EQ(c.header.port, 3u);
  EXPECT_EQ(c.header.path, "/tmp/tablet");
  EXPECT_EQ(c.header.packetLength, 5);
  EXPECT_EQ(c.header.rangeX, 9000);
  EXPECT_EQ(c.header.rangeY, 2250);
  ASSERT_EQ(c.records.size(), 6u);
  EXPECT_EQ(c.records[0].event, CaptureEvent::kOpen);
  EXPECT_EQ(c.records[0].port, 3);
  EXPECT_EQ(c.records[1].event, CaptureEvent::kProbeWrite);
  EXPECT_EQ(std::vector<uint8_t>(c.BytesOf(c.records[1]), c.BytesOf(c.records[1]) + 2),
            std::vector<uint8_t>(probe, probe + 2));
  EXPECT_EQ(c.records[2].event, CaptureEvent::kProbeRead);
  EXPECT_EQ(c.records[2].timeUs, 50010);
  EXPECT_EQ(c.records[3].event, CaptureEvent::kClose);
  EXPECT_EQ(c.records[4].openResult, CaptureOpenResult::kSettingsFailed);
  EXPECT_EQ(c.records[5].timeUs, 123456789012);
  EXPECT_EQ(std::vector<uint8_t>(c.BytesOf(c.records[5]), c.BytesOf(c.records[5]) + 5),
            std::vector<uint8_t>(packet, packet + 5));
  EXPECT_EQ(c.records[5].line, 15u);
}

TEST(CaptureFormat, WrittenLinesAreTheDocumentedText) {
  const uint8_t one[] = {0x9a};
  const uint8_t two[] = {0x13, 0xff};
  std::string s;
  AppendCaptureLine(s, 0, CaptureEvent::kRead, one, 1);
  AppendCaptureLine(s, 1146, CaptureEvent::kProbeWrite, two, 2);
  AppendCaptureLine(s, 2000, CaptureEvent::kProbeRead, one, 1);
  AppendCaptureLine(s, 3000, CaptureEvent::kClose, nullptr, 0);
  AppendCaptureOpenLine(s, 4000, 1, CaptureOpenResult::kOpenFailed);
  EXPECT_EQ(s, "0 9a\n1146 > 13 ff\n2000 < 9a\n3000 close\n4000 open 1 open-failed\n");
}

// A long read goes out in pieces inside the line writer; the line must still be one line.
TEST(CaptureFormat, LongReadStaysOneLine) {
  std::vector<uint8_t> bytes(100);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 7);
  std::string text = kGoodHeader;
  AppendCaptureLine(text, 5, CaptureEvent::kRead, bytes.data(), bytes.size());
  Capture c;
  ASSERT_EQ(ParseCapture(text, c), "");
  ASSERT_EQ(c.records.size(), 1u);
  EXPECT_EQ(std::vector<uint8_t>(c.BytesOf(c.records[0]), c.BytesOf(c.records[0]) + 100), bytes);
}

TEST(CaptureFormat, ReadersSkipUnknownKeysAndAcceptOtherSpellingsOfTheSameThing) {
  struct Case {
    const char* name;
    std::string text;
  };
  const Case cases[] = {
      {"unknown keys",
       "vellum-capture 1\nport: 2\ncolour: blue\nx-later-key: a: b\n"
       "packet-length: 7\nrange-x: 5000\nrange-y: 3750\n---\n0 98\n"},
      {"blank line ends the header",
       "vellum-capture 1\nport: 2\npacket-length: 7\n"
       "range-x: 5000\nrange-y: 3750\n\n0 98\n"},
      {"CR LF line ends",
       "vellum-capture 1\r\nport: 2\r\npacket-length: 7\r\nrange-x: 5000\r\n"
       "range-y: 3750\r\n---\r\n0 98\r\n"},
      {"extra spaces",
       "vellum-capture 1\nport: 2\npacket-length: 7\n"
       "range-x: 5000\nrange-y: 3750\n---\n0   98\n"},
  };
  for (const Case& k : cases) {
    Capture c;
    ASSERT_EQ(ParseCapture(k.text, c), "") << k.name;
    EXPECT_EQ(c.header.port, 2u) << k.name;
    EXPECT_EQ(c.header.packetLength, 7) << k.name;
    EXPECT_EQ(c.header.rangeX, 5000) << k.name;
    ASSERT_EQ(c.records.size(), 1u) << k.name;
    EXPECT_EQ(c.bytes[0], 0x98) << k.name;
  }
}

TEST(CaptureFormat, HexDigitsInEitherCase) {
  Capture c;
  ASSERT_EQ(ParseCapture(std::string(kGoodHeader) + "0 AB cD\n", c), "");
  EXPECT_EQ(c.bytes, (std::vector<uint8_t>{0xAB, 0xCD}));
}

TEST(CaptureFormat, HeaderOnlyIsAnEmptyCapture) {
  Capture c;
  ASSERT_EQ(ParseCapture(kGoodHeader, c), "");
  EXPECT_TRUE(c.records.empty());
  EXPECT_EQ(c.headerEndLine, 8u);
}

TEST(CaptureFormat, BadFilesNameTheLineAndLeaveTheResultAlone) {
  const std::string h = kGoodHeader;  // 8 lines
  struct Case {
    const char* name;
    std::string text;
    const char* error;
  };
  const Case cases[] = {
      {"empty file", "", "line 1: empty file"},
      {"not a capture", "hello\n", "line 1: not a Vellum capture"},
      {"binary junk", std::string("\x7f\x45\x4c\x46\x02\n", 6), "line 1: not a Vellum capture"},
      {"unknown version", "vellum-capture 2\n---\n0 98\n", "line 1: capture version 2 is unknown"},
      {"version not a number", "vellum-capture one\n---\n", "line 1: bad capture version"},
      {"magic cut off", "vellum-capt", "line 1: cut off"},
      {"header without end", "vellum-capture 1\nport: 1\n", "line 3: the header has no end"},
      {"header line without colon", "vellum-capture 1\nport 1\n---\n", "line 2: header line"},
      {"header key with capitals", "vellum-capture 1\nPort: 1\n---\n", "line 2: header key"},
      {"packet length 6", "vellum-capture 1\npacket-length: 6\n---\n", "line 2: bad packet-length"},
      {"port 5", "vellum-capture 1\nport: 5\n---\n", "line 2: bad port"},
      {"range too large", "vellum-capture 1\nrange-x: 16384\n---\n", "line 2: bad range-x"},
      {"range negative", "vellum-capture 1\nrange-y: -1\n---\n", "line 2: bad range-y"},
      {"cut off mid-line", h + "0 98 01\n1146 0", "line 10: cut off"},
      {"cut off after the time", h + "0 98\n12", "line 10: cut off"},
      {"bad hex digit", h + "0 98\n1146 0g\n", "line 10: bad hex byte \"0g\""},
      {"three hex digits", h + "0 980\n", "line 9: bad hex byte \"980\""},
      {"one hex digit", h + "0 9\n", "line 9: bad hex byte \"9\""},
      {"0x prefix", h + "0 0x98\n", "line 9: bad hex byte"},
      {"no bytes", h + "0\n", "line 9: no bytes"},
      {"direction without bytes", h + "0 >\n", "line 9: no bytes"},
      {"empty body line", h + "0 98\n\n5 98\n", "line 10: empty line"},
      {"negative time", h + "-5 98\n", "line 9: bad time"},
      {"time too large", h + "99999999999999999999 98\n", "line 9: bad time"},
      {"time backwards", h + "100 98\n99 01\n", "line 10: time 99 goes backwards"},
      {"open without result", h + "0 open 1\n", "line 9: an open line"},
      {"open of port 0", h + "0 open 0 ok\n", "line 9: bad port"},
      {"open with odd result", h + "0 open 1 maybe\n", "line 9: bad open result"},
      {"close with bytes", h + "0 close 11\n", "line 9: a close line"},
  };
  for (const Case& k : cases) {
    Capture c;
    c.header.path = "untouched";
    c.bytes = {0xEE};
    const std::string error = ParseCapture(k.text, c);
    EXPECT_EQ(error.rfind(k.error, 0), 0u) << k.name << ": got \"" << error << "\"";
    EXPECT_EQ(c.header.path, "untouched") << k.name;
    EXPECT_EQ(c.bytes, std::vector<uint8_t>{0xEE}) << k.name;
  }
}

}  // namespace
}  // namespace vellum
