// The link's watch on Linux: the line sits in an epoll set for its whole open
// life, so the set's one descriptor wakes a waiting caller on a hang-up.
// Edge-triggered: bytes that arrive wake it once and are left in the queue for
// the commands, so a caller waiting on it never spins.
#include <sys/epoll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "device/link_watch.h"

LinkWatch::LinkWatch() : m_set(epoll_create1(EPOLL_CLOEXEC)) {}

LinkWatch::~LinkWatch() {
  if (m_set >= 0) close(m_set);
}

void LinkWatch::AddDescriptor(int fd) {
  if (m_set < 0) return;
  epoll_event interest{};
  // Hang-up and errors are always reported; a network line whose far end
  // closed reports only that its reading side ended.
  interest.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
  epoll_ctl(m_set, EPOLL_CTL_ADD, fd, &interest);
}

LinkWatch::Seen LinkWatch::Take() {
  if (m_set < 0) return Seen::kNothing;
  epoll_event events[4];
  uint32_t seen = 0;
  for (;;) {
    const int n = epoll_wait(m_set, events, 4, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (int i = 0; i < n; ++i) seen |= events[i].events;
  }
  if (seen & (EPOLLHUP | EPOLLERR)) return Seen::kHungUp;
  return (seen & EPOLLRDHUP) ? Seen::kClosedByFarEnd : Seen::kNothing;
}
