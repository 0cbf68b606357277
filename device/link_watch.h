// The link's watch on its open line, for a caller that waits for events
// instead of polling (the window's link follower): one descriptor that turns
// readable when something happens on the line, the same from the link's first
// open to its end. Readable means "ask Take()", nothing more.
// link_watch_epoll.cpp is Linux's (an epoll set); on Windows
// (link_watch_windows.cpp) there is no such descriptor: a lost line shows at
// the next transfer.
#pragma once

class LinkWatch {
 public:
  LinkWatch();
  ~LinkWatch();
  LinkWatch(const LinkWatch&) = delete;
  LinkWatch& operator=(const LinkWatch&) = delete;

  // The descriptor to wait on; -1 where the system has none.
  int Descriptor() const { return m_set; }

  enum class Seen {
    kNothing,
    kHungUp,          // the device hung up or failed
    kClosedByFarEnd,  // a connection whose far end closed its side
  };
  // What happened since the last call, without waiting and without reading
  // a byte.
  Seen Take();

  // For the POSIX transports: adds their open descriptor, which the watch
  // forgets by itself when it is closed.
  void AddDescriptor(int fd);

 private:
  int m_set = -1;
};
