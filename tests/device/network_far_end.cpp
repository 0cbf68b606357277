// The test's serial device server: one thread polls the listener, the client
// and a wake-up pipe; the test's requests run on that thread, so no
// descriptor is closed under a poll.
#include "network_far_end.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace {

constexpr uint8_t kIac = 0xFF, kSb = 0xFA, kSe = 0xF0, kWill = 0xFB, kWont = 0xFC, kDo = 0xFD, kDont = 0xFE;
constexpr uint8_t kComPort = 44;

}  // namespace

FarEnd::FarEnd(Mode mode, const std::string& host) : m_mode(mode), m_host(host) {
  // 64 KB a send, in whole patterns.
  const std::vector<uint8_t> pattern =
      mode == Mode::kOptionFlood ? std::vector<uint8_t>{kIac, kDo, 0, kIac, kDont, 0} : std::vector<uint8_t>{0};
  for (size_t i = 0; i + pattern.size() <= 65536; i += pattern.size()) {
    m_floodPattern.insert(m_floodPattern.end(), pattern.begin(), pattern.end());
  }
  if (pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0 || !Listen()) throw std::runtime_error("no loopback port");
  m_server = std::thread([this] { Serve(); });
}

FarEnd::~FarEnd() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
  }
  const char wake = 0;
  (void)!write(m_wake[1], &wake, 1);
  m_server.join();
  DropClient(false);
  if (m_listener >= 0) close(m_listener);
  close(m_wake[0]);
  close(m_wake[1]);
}

std::string FarEnd::Address() const {
  const std::string host = m_host.find(':') != std::string::npos ? "[" + m_host + "]" : m_host;
  const bool raw = m_mode == Mode::kRaw || m_mode == Mode::kTurnAway || m_mode == Mode::kFlood;
  return std::string(raw ? "tcp://" : "rfc2217://") + host + ":" + std::to_string(m_port);
}

bool FarEnd::Listen() {
  const bool v6 = m_host.find(':') != std::string::npos;
  const int fd = socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  sockaddr_storage address{};
  socklen_t size = 0;
  if (v6) {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&address);
    in6->sin6_family = AF_INET6;
    inet_pton(AF_INET6, m_host.c_str(), &in6->sin6_addr);
    size = sizeof *in6;
  } else {
    auto* in4 = reinterpret_cast<sockaddr_in*>(&address);
    in4->sin_family = AF_INET;
    inet_pton(AF_INET, m_host.c_str(), &in4->sin_addr);
    size = sizeof *in4;
  }
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 || listen(fd, 4) != 0) {
    close(fd);
    return false;
  }
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  m_port = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                    : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
  m_listener = fd;
  return true;
}

void FarEnd::RunOnServer(std::function<void()> body) {
  Task task{std::move(body)};
  std::unique_lock<std::mutex> lock(m_taskMutex);
  m_tasks.push_back(&task);
  const char wake = 0;
  (void)!write(m_wake[1], &wake, 1);
  m_taskDone.wait(lock, [&] { return task.done; });
}

void FarEnd::Stop() {
  RunOnServer([this] {
    DropClient(false);
    if (m_listener >= 0) close(m_listener);
    m_listener = -1;
  });
}

void FarEnd::Send(const std::vector<uint8_t>& bytes) {
  RunOnServer([this, &bytes] {
    if (m_client >= 0) (void)!send(m_client, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  });
}

void FarEnd::ResetAfter(size_t afterBytes) {
  RunOnServer([this, afterBytes] {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_data.size() >= afterBytes) {
      DropClient(true);
    } else {
      m_resetAfter = afterBytes;
    }
  });
}

void FarEnd::CloseClient() {
  RunOnServer([this] { DropClient(false); });
}

void FarEnd::DropClient(bool reset) {
  if (m_client < 0) return;
  if (reset) {
    const linger abort{1, 0};  // close sends RST instead of FIN
    setsockopt(m_client, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  }
  close(m_client);
  m_client = -1;
}

void FarEnd::TurnAway() {
  const char text[] = "Port already in use\r\n";
  (void)!send(m_client, text, sizeof text - 1, MSG_NOSIGNAL);
  // Closed while the client's bytes are unread, the connection would be
  // reset, and a reset can overtake the text on its way: whether the client
  // sees the words would be up to the machine's timing. The words are what
  // these rows are about, so the far end lets the client finish first.
  shutdown(m_client, SHUT_WR);
  const auto until = Clock::now() + std::chrono::milliseconds(500);
  for (;;) {
    pollfd entry{m_client, POLLIN, 0};
    if (Clock::now() >= until || poll(&entry, 1, 50) < 0) break;
    char drain[256];
    if (entry.revents != 0 && recv(m_client, drain, sizeof drain, MSG_DONTWAIT) <= 0) break;
  }
  DropClient(false);
}

std::vector<FarEnd::Arrival> FarEnd::Data() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_data;
}

bool FarEnd::WaitForData(size_t count, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_data.size() >= count) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

void FarEnd::Serve() {
  // A real server answers in its own time, whatever the host is doing; like
  // the simulator, the far end takes real-time priority where allowed, so a
  // busy machine does not make it slower than the open's watch for a refusal.
  sched_param param{};
  param.sched_priority = 1;
  pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_stop) return;
    }
    const bool flood = m_mode == Mode::kFlood || m_mode == Mode::kOptionFlood;
    pollfd entries[3] = {{m_wake[0], POLLIN, 0}, {m_listener, POLLIN, 0}, {-1, POLLIN, 0}};
    if (m_mode != Mode::kSilent) entries[2].fd = m_client;
    if (flood) entries[2].events = m_flooded.load() < kFloodLimit ? POLLOUT : 0;
    poll(entries, 3, 100);
    if (entries[0].revents) {
      char drain[64];
      while (read(m_wake[0], drain, sizeof drain) > 0) {
      }
      std::lock_guard<std::mutex> lock(m_taskMutex);
      for (Task* task : m_tasks) {
        task->body();
        task->done = true;
      }
      m_tasks.clear();
      m_taskDone.notify_all();
      continue;
    }
    if (m_listener >= 0 && (entries[1].revents & POLLIN)) {
      const int client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (client >= 0) {
        DropClient(false);
        m_client = client;
        m_scan = 0;
        if (m_mode == Mode::kTurnAway) TurnAway();
        if (m_mode == Mode::kComPortTurnAway) TurnAwayAfterOpening();
      }
    }
    if (flood) {
      if (m_client >= 0 && (entries[2].revents & (POLLHUP | POLLERR))) {
        DropClient(false);
      } else if (m_client >= 0 && entries[2].revents) {
        Flood();
      }
      continue;
    }
    if (m_client >= 0 && entries[2].fd >= 0 && entries[2].revents) {
      uint8_t chunk[256];
      const ssize_t got = recv(m_client, chunk, sizeof chunk, 0);
      if (got <= 0) {
        DropClient(false);
        continue;
      }
      std::vector<uint8_t> reply;
      bool reset = false;
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        Decode(chunk, static_cast<size_t>(got), &reply);
        reset = m_data.size() >= m_resetAfter;
        if (reset) m_resetAfter = SIZE_MAX;
      }
      if (!reply.empty()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(m_answerDelayMs.load()));
        (void)!send(m_client, reply.data(), reply.size(), MSG_NOSIGNAL);
      }
      if (reset) DropClient(true);
    }
  }
}

// As much of the flood as the client's connection takes now.
void FarEnd::Flood() {
  const size_t sent = m_flooded.load();
  const size_t period = m_mode == Mode::kOptionFlood ? 6 : 1;
  const size_t from = sent % period;
  const size_t count = std::min(m_floodPattern.size() - period, kFloodLimit - sent);
  const ssize_t n = send(m_client, m_floodPattern.data() + from, count, MSG_NOSIGNAL | MSG_DONTWAIT);
  if (n > 0) {
    m_flooded += static_cast<size_t>(n);
  } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
    DropClient(false);
  }
}

// ser2net 4 on a telnet(rfc2217) port whose line another client holds.
void FarEnd::TurnAwayAfterOpening() {
  const uint8_t options[] = {kIac, kWill, 3, kIac, kDo, 3, kIac, kWill, 1, kIac, kDont, 1,
                             kIac, kDo,   0, kIac, kWill, 0, kIac, kDo, kComPort};
  (void)!send(m_client, options, sizeof options, MSG_NOSIGNAL);
  pollfd opening{m_client, POLLIN, 0};
  poll(&opening, 1, 2000);
  TurnAway();
}

// Raw: every byte is data. Telnet: IAC IAC is one data byte 0xFF; requests
// are answered as the mode says; each COM-port setting is confirmed with its
// own value.
void FarEnd::Decode(const uint8_t* bytes, size_t count, std::vector<uint8_t>* reply) {
  const auto now = Clock::now();
  for (size_t i = 0; i < count; ++i) {
    const uint8_t b = bytes[i];
    if (m_mode == Mode::kRaw || m_mode == Mode::kTurnAway) {
      m_data.push_back({now, b});
      continue;
    }
    switch (m_scan) {
      case 0:
        if (b == kIac) {
          m_scan = 1;
        } else {
          m_data.push_back({now, b});
        }
        break;
      case 1:
        if (b == kIac) {
          m_data.push_back({now, b});
          m_scan = 0;
        } else if (b == kSb) {
          m_sub.clear();
          m_scan = 3;
        } else if (b >= kWill && b <= kDont) {
          m_verb = b;
          m_scan = 2;
        } else {
          m_scan = 0;
        }
        break;
      case 2: {
        m_scan = 0;
        const bool agree = b == 0 || b == 3 || (b == kComPort && m_mode == Mode::kComPort);
        if (m_verb == kWill) reply->insert(reply->end(), {kIac, agree ? kDo : kDont, b});
        if (m_verb == kDo) reply->insert(reply->end(), {kIac, agree ? kWill : kWont, b});
        break;
      }
      case 3:
        if (b == kIac) {
          m_scan = 4;
        } else {
          m_sub.push_back(b);
        }
        break;
      case 4:
        if (b != kSe) {
          m_sub.push_back(b);
          m_scan = 3;
          break;
        }
        m_scan = 0;
        if (m_sub.size() >= 2 && m_sub[0] == kComPort && m_mode == Mode::kComPort) {
          reply->insert(reply->end(), {kIac, kSb, kComPort, static_cast<uint8_t>(m_sub[1] + 100)});
          for (size_t k = 2; k < m_sub.size(); ++k) {
            reply->push_back(m_sub[k]);
            if (m_sub[k] == kIac) reply->push_back(kIac);
          }
          reply->insert(reply->end(), {kIac, kSe});
        }
        break;
    }
  }
}
