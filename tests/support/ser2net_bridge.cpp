// ser2net started for a test.
#include "support/ser2net_bridge.h"

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/child_process.h"

namespace testsupport {
namespace {

constexpr const char* kProgram = "/usr/sbin/ser2net";

// A loopback port nobody uses right now.
int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

// Whether something listens on TCP `port`, from the kernel's table: a test
// connection would make ser2net open the line and hold it a moment.
bool Listening(int port) {
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::getline(table, line);
  while (std::getline(table, line)) {
    unsigned localPort = 0;
    unsigned state = 0;
    if (std::sscanf(line.c_str(), " %*d: %*x:%x %*x:%*x %x", &localPort, &state) == 2 &&
        static_cast<int>(localPort) == port && state == 0x0A) {
      return true;
    }
  }
  return false;
}

}  // namespace

Ser2netBridge::Ser2netBridge(const std::string& ttyPath, const std::string& folder, Options options)
    : m_config(folder + "/ser2net.yaml"), m_rawPort(FreePort()), m_comPortPort(FreePort()) {
  if (access(kProgram, X_OK) != 0) {
    m_why = "ser2net is not installed (scripts/install-deps installs it)";
    return;
  }
  const std::string delay = options.charDelay ? "true" : "false";
  std::ofstream config(m_config);
  config << "connection: &raw\n"
         << "  accepter: tcp,127.0.0.1," << m_rawPort << "\n"
         << "  connector: serialdev," << ttyPath << ",9600n81,local\n"
         << "  options:\n    chardelay: " << delay << "\n    mdns: false\n"
         << "connection: &comport\n"
         << "  accepter: telnet(rfc2217),tcp,127.0.0.1," << m_comPortPort << "\n"
         << "  connector: serialdev," << ttyPath << ",9600n81,local\n"
         << "  options:\n    chardelay: " << delay << "\n    mdns: false\n";
  config.close();
  if (!config) {
    m_why = "cannot write " + m_config;
    return;
  }
  Start();
}

Ser2netBridge::~Ser2netBridge() { Stop(); }

bool Ser2netBridge::Running() const { return m_process && m_process->Running(); }

std::string Ser2netBridge::RawAddress() const { return "tcp://127.0.0.1:" + std::to_string(m_rawPort); }

std::string Ser2netBridge::ComPortAddress() const {
  return "rfc2217://127.0.0.1:" + std::to_string(m_comPortPort);
}

void Ser2netBridge::Stop() {
  if (m_process) m_process->StopWith(SIGTERM);
  m_process.reset();
}

bool Ser2netBridge::Start() {
  Stop();
  m_process = std::make_unique<ChildProcess>(std::vector<std::string>{kProgram, "-n", "-c", m_config});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    if (m_process->Ended()) break;
    if (Listening(m_rawPort) && Listening(m_comPortPort)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  m_why = "ser2net did not come up with " + m_config;
  Stop();
  return false;
}

}  // namespace testsupport
