// Following the link's device: hang-up, waiting, reopening, retrying.
#include "app/link_follower.h"

#include "app/device_identity.h"

#include <QSocketNotifier>
#include <algorithm>

#include "device/link_words.h"
#include "device/network_address.h"
#include "device/serial_ports.h"

CLinkFollower::CLinkFollower(CSerialLink& link, std::function<void()> reopen, QObject* parent)
    : QObject(parent), m_link(link), m_reopen(std::move(reopen)), m_udev(std::make_unique<CSerialPortWatch>()) {
  m_look.setSingleShot(true);
  connect(&m_look, &QTimer::timeout, this, &CLinkFollower::LookForDeviceAgain);
  m_retry.setSingleShot(true);
  connect(&m_retry, &QTimer::timeout, this, &CLinkFollower::TryReopen);
  // Without udev (a container, a system without it) the look every second
  // still finds the device.
  if (const auto watched = m_udev->Descriptor()) {
    m_udevNotifier = new QSocketNotifier(*watched, QSocketNotifier::Read, this);
    connect(m_udevNotifier, &QSocketNotifier::activated, this, &CLinkFollower::OnUdevEvents);
  }
  WatchLink();
}

CLinkFollower::~CLinkFollower() = default;

void CLinkFollower::WatchLink() {
  // The link keeps one watch descriptor from its first open on.
  if (m_hangUp || m_link.WatchDescriptor() < 0) return;
  m_hangUp = new QSocketNotifier(m_link.WatchDescriptor(), QSocketNotifier::Read, this);
  connect(m_hangUp, &QSocketNotifier::activated, this, &CLinkFollower::OnHangUpSignal);
}

void CLinkFollower::LinkChanged() {
  WatchLink();
  m_unplugged = false;
  m_cameBack = false;
  m_attemptDue = false;
  SetStateAndStopTimers(State::kIdle);
  FollowLinkState();
}

CLinkFollower::CommandScope::CommandScope(CLinkFollower& follower) : m_follower(follower) { ++m_follower.m_busy; }

CLinkFollower::CommandScope::~CommandScope() {
  if (--m_follower.m_busy > 0) return;
  // The command may have found the device gone; an attempt held back for
  // it runs now.
  m_follower.FollowLinkState();
  if (m_follower.m_attemptDue) {
    m_follower.m_attemptDue = false;
    if (m_follower.m_state != State::kIdle) m_follower.TryReopen();
  }
}

std::string CLinkFollower::Words() const {
  if (!m_link.IsPortOpen() && m_unplugged && (m_state == State::kWaiting || m_state == State::kRetrying)) {
    return link_words::AwayWords(m_link);
  }
  if (m_link.IsPortOpen() && m_cameBack) return link_words::BackWords(m_link);
  if (!m_link.IsPortOpen() && m_state == State::kRefused) {
    return link_words::StateWords(m_link) + " — watching for a change there";
  }
  return {};
}

void CLinkFollower::FollowLinkState() {
  if (m_link.IsPortOpen()) {
    SetStateAndStopTimers(State::kIdle);
    return;
  }
  if (m_state != State::kIdle) return;
  switch (m_link.LastFault()) {
    case CSerialLink::Fault::kLost:
      Wait(true);
      emit StateChanged();
      break;
    case CSerialLink::Fault::kNotFound:
      Wait(m_unplugged);  // not there yet: open it when it comes
      break;
    case CSerialLink::Fault::kInUse:
      if (Network()) Wait(m_unplugged);  // the server's line is busy with another client for now
      break;
    case CSerialLink::Fault::kNone:
    case CSerialLink::Fault::kPermission:
    case CSerialLink::Fault::kNotSerial:
    case CSerialLink::Fault::kSetup:
    case CSerialLink::Fault::kOther:
      break;  // the operator has to act; nothing to wait for
  }
}

bool CLinkFollower::Network() const { return IsNetworkAddress(m_link.DevicePath()); }

void CLinkFollower::TryServerAgain() {
  if (m_state != State::kWaiting) return;
  // Each try may hold the window up to the connect bound when the server's
  // host does not answer: the pause after it is at least ten times what it
  // took, so the window stays free nine tenths of the time.
  const auto start = std::chrono::steady_clock::now();
  TryReopen();
  if (m_state != State::kWaiting || m_look.isActive()) return;
  const auto took = std::chrono::ceil<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  m_lookStep = std::max(std::min(m_lookStep * 2, kNetworkLookLimit), took * 10);
  m_look.start(m_lookStep);
}

void CLinkFollower::Wait(bool unplugged) {
  m_unplugged = unplugged;
  m_cameBack = false;
  m_state = State::kWaiting;
  m_retry.stop();
  m_lookStep = kFirstLook;
  m_look.start(m_lookStep);
}

void CLinkFollower::SetStateAndStopTimers(State state) {
  m_state = state;
  m_look.stop();
  m_retry.stop();
}

void CLinkFollower::OnHangUpSignal() {
  // Also inside a command's message box: the device is gone either way, and
  // the signal must be taken or it would fire again at once.
  if (!m_link.CheckGone()) return;
  SetStateAndStopTimers(State::kIdle);
  Wait(true);
  emit StateChanged();
}

void CLinkFollower::OnUdevEvents() {
  bool ours = false;
  for (const CSerialPortWatch::Event& event : m_udev->Take()) {
    ours = ours || (event.added && event.port.IsNamed(m_link.DevicePath()));
  }
  if (ours && m_state == State::kWaiting) TryReopen();
}

void CLinkFollower::Refuse() {
  m_unplugged = false;
  SetStateAndStopTimers(State::kRefused);
  m_refusedAt = DeviceIdentityAt(m_link.DevicePath());
  m_look.start(kLookInterval);
}

void CLinkFollower::LookForDeviceAgain() {
  if (Network()) {
    TryServerAgain();
    return;
  }
  if (m_state == State::kRefused) {
    // Once it has gone, or something else has taken its place, another try
    // is worth it.
    const std::optional<std::string> now = DeviceIdentityAt(m_link.DevicePath());
    if (!now) {
      Wait(true);
      emit StateChanged();
    } else if (now != m_refusedAt) {
      TryReopen();
    } else {
      m_look.start(kLookInterval);
    }
    return;
  }
  if (m_state != State::kWaiting) return;
  m_lookStep = std::min(m_lookStep * 2, kLookInterval);
  m_look.start(m_lookStep);
  if (SerialDeviceThere(m_link.DevicePath())) TryReopen();
}

void CLinkFollower::TryReopen() {
  if (m_busy > 0) {
    m_attemptDue = true;
    return;
  }
  if (m_link.IsPortOpen()) {
    SetStateAndStopTimers(State::kIdle);
    return;
  }
  m_reopen();
  if (m_link.IsPortOpen()) {
    m_unplugged = false;
    m_cameBack = true;
    SetStateAndStopTimers(State::kIdle);
    emit StateChanged();
    return;
  }
  const CSerialLink::Fault fault = m_link.LastFault();
  // A server that is away, or busy with another client, is tried again later.
  const bool networkAway = Network() && (fault == CSerialLink::Fault::kNotFound ||
                                         fault == CSerialLink::Fault::kInUse || fault == CSerialLink::Fault::kLost);
  if (fault == CSerialLink::Fault::kNotFound || networkAway) {
    // Gone again before it could be opened.
    if (m_state != State::kWaiting) Wait(m_unplugged);
    return;
  }
  const auto now = std::chrono::steady_clock::now();
  const bool refused = fault == CSerialLink::Fault::kPermission || fault == CSerialLink::Fault::kInUse;
  if (refused && m_state != State::kRetrying) {
    m_state = State::kRetrying;
    m_look.stop();
    m_retryUntil = now + kRetryWindow;
    m_backoff = kFirstRetry;
  }
  if (refused && now < m_retryUntil) {
    // The last try falls on the end of the window.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(m_retryUntil - now);
    m_retry.start(std::min(m_backoff, left));
    m_backoff *= 2;
    return;
  }
  // Refused for good, or not a serial device (a file or a FIFO put where the
  // device was): followed on, since the device may take its place again.
  // Anything else waiting does not mend: say why and stop.
  if (refused || fault == CSerialLink::Fault::kNotSerial) {
    Refuse();
  } else {
    m_unplugged = false;
    SetStateAndStopTimers(State::kIdle);
  }
  emit StateChanged();
}
