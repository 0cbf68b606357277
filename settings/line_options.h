// How one line is driven, beyond its device: whether it returns what is sent
// (echo), how long an answer byte may take, and whether the kernel switches an
// RS-485 driver on while sending. Kept per Com entry in the profile's [Ports]
// section, beside the entry's device path.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// A two-wire RS-485 adapter, or a UART whose receiver stays on, returns every
// byte it sends.
enum class EchoMode {
  kAuto,  // the first frame after each open tells
  kOn,
  kOff,
};

// The answer wait that the link chooses and raises by itself.
inline constexpr int kAnswerWaitAuto = -1;

struct LineOptions {
  EchoMode echo = EchoMode::kAuto;
  // The longest wait for each answer byte, in ms, from the start of the pause
  // before it; 0 means the protocol's own wait. Never shorter than that.
  // kAnswerWaitAuto: the link chooses it, from the adapter's latency timer,
  // and raises it when a whole answer comes late (serial_link.h).
  int answerWaitMs = kAnswerWaitAuto;
  bool rs485 = false;  // ask the kernel for RS-485 mode (RTS on while sending)

  bool AnswerWaitAuto() const { return answerWaitMs == kAnswerWaitAuto; }
  bool operator==(const LineOptions&) const = default;
};

// The longest answer wait a line may be given, in ms.
inline constexpr int kMaxAnswerWaitMs = 100;

// "auto", "on", "off" and back; nothing for any other text.
std::string_view EchoModeText(EchoMode mode);
std::optional<EchoMode> EchoModeFromText(std::string_view text);

// The answer wait as the profile and the command line spell it: "auto", or
// milliseconds 0..kMaxAnswerWaitMs. A kept 5, the default before there was
// "auto", is read as "auto": it was written for every line whose echo or
// RS-485 mode was ever changed, not chosen. Nothing for any other text.
std::string AnswerWaitText(int answerWaitMs);
std::optional<int> AnswerWaitFromText(std::string_view text);
