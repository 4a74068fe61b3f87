#pragma once
// The tablet link's chief header: the serial port, the decoded packet and the packet assembler.
// Nothing here depends on Qt.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <termios.h>

#include "base/Tablet.h"
#include "tablet/LatencyIo.h"
#include "tablet/PortPaths.h"

namespace vellum {

// ---------------------------------------------------------------------------------------------
// Port access. The probe and the reader talk to the tablet only through this interface so that
// tests can script a fake device.
//
// Threading: a port is used by one thread at a time: the probe's, then the reader's. Shutdown
// joins the reader before it closes the port, so Close() never meets a read; a ReadByte() after
// Close() fails at once.

enum class OpenResult {
  kOk,               // device opened and the line settings applied
  kOpenFailed,       // no device, no permission, or held by another program
  kSettingsFailed,   // opened, but the line settings could not be read or written (not a tty)
};

// What the last Open() saw, for telling the user why a port gave no tablet: the call that failed
// and its errno (none on success), and the port's line discipline (-1: not a tty, or unknown).
struct OpenReport {
  std::string failedCall;
  int error = 0;
  int lineDiscipline = -1;
};

// The driver's error counts of a line (TIOCGICOUNT).
struct LineErrorCounts {
  uint32_t framing = 0;
  uint32_t parity = 0;
  uint32_t overrun = 0;        // the UART's own receive buffer
  uint32_t bufferOverrun = 0;  // the driver's buffer behind it
  uint64_t Total() const { return uint64_t(framing) + parity + overrun + bufferOverrun; }
  friend bool operator==(const LineErrorCounts&, const LineErrorCounts&) = default;
};

// The counts from `base` to `now`; the driver's counters are 32 bits and wrap.
inline LineErrorCounts LineErrorsSince(const LineErrorCounts& base, const LineErrorCounts& now) {
  return {now.framing - base.framing, now.parity - base.parity, now.overrun - base.overrun,
          now.bufferOverrun - base.bufferOverrun};
}

struct ReadResult {
  bool ok = false;      // false: the read failed (hang-up, error, closed port)
  uint32_t count = 0;   // 0 or 1 bytes
  uint8_t byte = 0;
};

class IPort {
 public:
  virtual ~IPort() = default;
  // Opens COMn (n = 1..4) with 9600 8O1, raw, reads that never wait. Closes on failure.
  virtual OpenResult Open(int n) = 0;
  // Result deliberately void: no caller tests a write.
  virtual void Write(const uint8_t* bytes, size_t count) = 0;
  virtual ReadResult ReadByte() = 0;
  // Received bytes waiting to be read (0 when closed or on error).
  virtual uint32_t InputQueueCount() = 0;
  // Idempotent.
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // The probe's fixed waits; a fake port advances a virtual clock instead of sleeping.
  virtual void Pause(int ms) = 0;
  // Monotonic milliseconds; a fake port returns its virtual clock (bounds the probe's range phase).
  virtual int64_t NowMs() const = 0;
  // The same clock in microseconds, for the times of tablet events; a fake port's may step in
  // whole milliseconds.
  virtual int64_t NowUs() const { return NowMs() * 1000; }
  // A descriptor that becomes readable when input arrives, for poll(); -1 when there is none
  // (fake ports). The reader waits on it between empty reads.
  virtual int PollFd() const { return -1; }
  // From now on PollFd() becomes readable only once `bytes` (1 to 255) are waiting, where the
  // port can do that (a tty: VMIN); reads still return at once with what is there. The reader
  // asks for the rest of a packet, and so wakes once a packet rather than once a byte.
  virtual void SetPollThreshold(int bytes) { (void)bytes; }
  // Why the last failed read failed, in a few plain words for the user ("the line hung up");
  // "" when no read has failed or the port cannot tell.
  virtual std::string ReadFailure() const { return {}; }
  // The last failure of any call, naming it ("open: No such file or directory"); "" when none
  // or the port cannot tell.
  virtual std::string LastError() const { return {}; }
  // See OpenReport; a port that cannot tell returns the empty report.
  virtual OpenReport LastOpen() const { return {}; }
  // The line's error counts since the last successful Open(); nullopt where the driver keeps
  // none (a pty) or the port is closed. May be called on another thread while the reader reads,
  // but not while Open() or Close() runs.
  virtual std::optional<LineErrorCounts> LineErrors() const { return std::nullopt; }
  // Open() lowers the line's latency where the line allows it (LowLatency.h); this puts back what
  // it changed while keeping the port open, as Close() does. Idempotent. May run on the reader's
  // thread after its loop has ended while another thread asks LineErrors().
  virtual void RestoreLatency() {}
  // What the last Open() found worth telling the user about the line's latency, one or two
  // lines without a program name; "" when nothing.
  virtual std::string LatencyNotice() const { return {}; }
};

// termios implementation. COMn is PortPaths::Path(n).
class SerialPort final : public IPort {
 public:
  // `latency`: how the line's latency settings are read and written; null leaves them alone.
  explicit SerialPort(PortPaths paths = PortPaths(),
                      std::shared_ptr<ILatencyIo> latency = LatencyIoFromEnvironment());
  ~SerialPort() override;
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  OpenResult Open(int n) override;
  void Write(const uint8_t* bytes, size_t count) override;
  ReadResult ReadByte() override;
  uint32_t InputQueueCount() override;
  void Close() override;
  bool IsOpen() const override;
  void Pause(int ms) override;
  int64_t NowMs() const override;
  int64_t NowUs() const override;
  int PollFd() const override;
  void SetPollThreshold(int bytes) override;
  std::string ReadFailure() const override { return readFailure_; }
  OpenReport LastOpen() const override { return lastOpen_; }
  std::optional<LineErrorCounts> LineErrors() const override;
  void RestoreLatency() override { latency_.Restore(); }
  std::string LatencyNotice() const override { return latency_.Notice(); }

  std::string LastError() const override { return lastError_; }

 private:
  int LineDiscipline() const;  // TIOCGETD of the open port, -1 when it has none

  PortPaths paths_;
  int fd_ = -1;  // atomic access is not needed: Close() and ReadByte() are ordered by the stop join
  std::string lastError_;
  std::string readFailure_;
  OpenReport lastOpen_;
  std::optional<LineErrorCounts> countsAtOpen_;  // the driver's raw counts; nullopt: it keeps none
  termios applied_{};  // the line settings as the open read them back
  int pollThreshold_ = 1;
  PortLatency latency_;
};

// ---------------------------------------------------------------------------------------------
// Protocol.

inline constexpr uint8_t kProbeStartByte = 0x13;
inline constexpr uint8_t kIdentifyRequest[2] = {0x7A, 0x7E};  // "z~"
inline constexpr uint8_t kRangeRequest = 0x61;                // "a"
inline constexpr uint8_t kRangeFollowUp = 0x40;               // "@"
inline constexpr uint8_t kProbeEndByte = 0x11;
inline constexpr size_t kIdentifyReplyLength = 28;

inline constexpr std::array<int32_t, 5> AcceptedXRanges = {2500, 3000, 5000, 6000, 9000};
inline constexpr std::array<int32_t, 4> AcceptedYRanges = {2250, 2500, 3750, 6000};

bool IsAcceptedXRange(int32_t x);
bool IsAcceptedYRange(int32_t y);

struct TabletPacket {
  int32_t buttons = 0;   // 0..7
  int32_t x = 0;         // 0..16383, not clipped to the range
  int32_t y = 0;
  int32_t pressure = 0;  // 0..511 on 7-byte tablets, 0 otherwise
  friend bool operator==(const TabletPacket&, const TabletPacket&) = default;
};

// Decodes a complete packet of length 7 or 5 (REQUIRES: bytes has that many entries).
TabletPacket DecodePacket(const uint8_t* bytes, int length);
// The packet of that length that decodes to `packet`, each value masked to its field. The
// emulator's; a range reply is such a packet with the range as x and y.
std::vector<uint8_t> EncodePacket(const TabletPacket& packet, int length);

// Cuts a byte stream into packets. Data-stream variant by default; the range-reply variant is
// the probe's (see PacketAssembler::Variant).
class PacketAssembler {
 public:
  enum class Variant { kDataStream, kRangeReply };
  enum class Step {
    kIgnored,     // 0x80 in the data stream: nothing changed
    kDiscarded,   // byte dropped (bad start byte, data byte outside a packet)
    kStarted,     // a start byte opened a packet
    kStored,      // a data byte was stored, packet not complete yet
    kRejected,    // range reply only: byte 6 failed its test, not stored, position stays 6
    kComplete,    // the packet is complete: see Packet(); the position is back at 0
  };

  explicit PacketAssembler(int packetLength, Variant variant = Variant::kDataStream);

  Step Push(uint8_t b);

  int Position() const { return position_; }
  int PacketLength() const { return length_; }
  // The bytes of the last complete packet (valid after kComplete until the next Push).
  const std::array<uint8_t, 7>& Bytes() const { return buffer_; }
  TabletPacket Packet() const { return DecodePacket(buffer_.data(), length_); }
  // Range variant: bytes with bit 7 set seen so far.
  int HighBitCount() const { return highBits_; }

 private:
  int length_;
  Variant variant_;
  int position_ = 0;
  int highBits_ = 0;
  std::array<uint8_t, 7> buffer_{};
};

}  // namespace vellum
