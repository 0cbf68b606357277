// The one way the device layer's own calls fail: each returns a LineResult,
// which holds either what was asked for or the failure that took its place,
// with its words. (The link's public face keeps the protocol's int32_t
// returns and reads a failure from Fault() and Reason().)
#pragma once

#include <string>
#include <type_traits>
#include <utility>
#include <variant>

#include "device/serial_link.h"

// A failure as the line saw it: the fault the operator can act on and the
// system's reason ("<what was being done>: <system text>").
struct LineFailure {
  CSerialLink::Fault fault = CSerialLink::Fault::kOther;
  std::string reason;
  std::string groupToJoin;  // after kPermission: the group that grants access, if any
  // A written byte that did not leave within its bound: whether it reached the
  // line cannot be known, whatever the fault (a COM port is then given up).
  bool held = false;
};

// A value, or the failure that took its place. LineResult<> is a step that
// has no value of its own: done, or failed.
template <class T = std::monostate>
class [[nodiscard]] LineResult {
 public:
  // Not explicit: a function returns its value, or a failure, as it is.
  LineResult() requires std::is_same_v<T, std::monostate> = default;
  LineResult(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
  LineResult(LineFailure failure) : m_state(std::in_place_index<1>, std::move(failure)) {}

  explicit operator bool() const { return m_state.index() == 0; }
  T& operator*() { return std::get<0>(m_state); }
  const T& operator*() const { return std::get<0>(m_state); }
  T* operator->() { return &std::get<0>(m_state); }
  const T* operator->() const { return &std::get<0>(m_state); }
  // Only when the call failed.
  const LineFailure& Failure() const { return std::get<1>(m_state); }
  // The value, or `otherwise` when the call failed.
  T ValueOr(T otherwise) const& { return *this ? **this : std::move(otherwise); }

 private:
  std::variant<T, LineFailure> m_state;
};

// A failed result with `fault` and `reason`.
inline LineFailure Failed(CSerialLink::Fault fault, std::string reason) { return {fault, std::move(reason), {}}; }

// A failed write whose byte did not leave within its bound: `fault` and
// `reason`, held.
inline LineFailure Held(CSerialLink::Fault fault, std::string reason) {
  LineFailure failure{fault, std::move(reason), {}};
  failure.held = true;
  return failure;
}
