// CLinkFollower: keeps the window's serial link with its device. It notices an
// unplugged device while the window is idle (a hang-up on the open device),
// waits for the device to come back (udev's events matched on the mapped
// name, and a look every second, sooner at first, for lines without udev
// events, such as a simulator's), and then has the window reopen the link. It never polls an
// open link: while the link is open, only descriptors are watched. A network
// line that is lost or away is tried again with growing pauses.
#pragma once

#include <QObject>
#include <QTimer>
#include <sys/types.h>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "device/serial_link.h"

class CSerialPortWatch;
class QSocketNotifier;

class CLinkFollower : public QObject {
  Q_OBJECT

 public:
  // Follows `link`, which must outlive it. `reopen` closes and opens the link
  // again on the window's current Com entry.
  CLinkFollower(CSerialLink& link, std::function<void()> reopen, QObject* parent = nullptr);
  ~CLinkFollower() override;

  // The window opened or closed the link itself (start-up, a port choice):
  // what was said about an earlier device no longer applies.
  void LinkChanged();

  // While one lives, a command runs: no reopen starts, one that falls due
  // waits for the command's end. Nestable.
  class CommandScope {
   public:
    explicit CommandScope(CLinkFollower& follower);
    ~CommandScope();
    CommandScope(const CommandScope&) = delete;
    CommandScope& operator=(const CommandScope&) = delete;

   private:
    CLinkFollower& m_follower;
  };

  // Words for the link's state where following has something to say
  // ("unplugged, waiting for it", reopened, a refusal still being watched);
  // empty otherwise.
  std::string Words() const;

  // How long after a device appears a refused open ("permission denied", "in
  // use") is retried before it is reported: udev sets the permissions, and
  // ModemManager may probe the device, just after it appears.
  static constexpr std::chrono::milliseconds kRetryWindow{3000};
  static constexpr std::chrono::milliseconds kFirstRetry{100};
  // Looks for a device without udev events come quickly at first (a power
  // cycle, a replug), then every second.
  static constexpr std::chrono::milliseconds kFirstLook{100};
  static constexpr std::chrono::milliseconds kLookInterval{1000};
  // A network line has no udev events: it is tried again, at first quickly,
  // then with pauses growing up to this (longer only after a slow try).
  static constexpr std::chrono::milliseconds kNetworkLookLimit{5000};

 signals:
  // The link opened, closed or changed what Words() says.
  void StateChanged();

 private:
  enum class State {
    kIdle,      // open, or not open for a reason that waiting does not mend
    kWaiting,   // the device is away; looking out for it
    kRetrying,  // the device is back but refused; trying again with backoff
    kRefused,   // refused for good, or not a serial device; looking out for
                // what is at the path to go or to be replaced
  };

  // What is at a path: which file, and what kind. Two different ones mean
  // the thing there was replaced, even without a moment of absence.
  struct PathIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    dev_t special = 0;
    mode_t mode = 0;
    bool operator==(const PathIdentity&) const = default;
  };
  static std::optional<PathIdentity> IdentityOf(const std::string& path);
  void Refuse();

  void WatchLink();
  void OnHangUpSignal();
  void OnUdevEvents();
  // The look-out timer ran out: is the device (or what replaced a refused
  // one) at the path now? A network line's server is simply tried again.
  void LookForDeviceAgain();
  void TryServerAgain();
  bool Network() const;  // the link's device is a network address
  // Opens the link again (later, when a command runs) and decides from how
  // that went whether to keep waiting, retry a refusal, or stop.
  void TryReopen();
  // After the link changed or a command ended: starts waiting for a device
  // that went away or is not there yet; stops following an open link.
  void FollowLinkState();
  void Wait(bool unplugged);
  void SetStateAndStopTimers(State state);

  CSerialLink& m_link;
  std::function<void()> m_reopen;
  QSocketNotifier* m_hangUp = nullptr;
  std::unique_ptr<CSerialPortWatch> m_udev;
  QSocketNotifier* m_udevNotifier = nullptr;
  QTimer m_look;
  QTimer m_retry;
  std::chrono::steady_clock::time_point m_retryUntil{};
  std::chrono::milliseconds m_backoff = kFirstRetry;
  std::chrono::milliseconds m_lookStep = kFirstLook;
  State m_state = State::kIdle;
  int m_busy = 0;
  bool m_attemptDue = false;
  bool m_unplugged = false;
  bool m_cameBack = false;
  std::optional<PathIdentity> m_refusedAt;  // what was at the path when it was refused
};
