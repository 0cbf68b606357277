// CSettingsSaver: writes the settings record to the profile on a thread of its
// own, so a slider release or a button never waits for the disk. Saves run in
// order; a save queued behind another that has not started yet replaces it
// (each holds the whole record, so the last one wins). Save, Flush and the
// destructor are called from one thread, the window's.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "settings/led_settings.h"
#include "settings/port_map.h"

class CSettingsSaver {
 public:
  // `onResult` is called on the saver's thread after each save with the
  // reason it failed, or an empty text after a good save.
  CSettingsSaver(std::string profilePath, std::string storeName, std::function<void(const std::string&)> onResult);
  ~CSettingsSaver();  // finishes what is queued
  CSettingsSaver(const CSettingsSaver&) = delete;
  CSettingsSaver& operator=(const CSettingsSaver&) = delete;

  // Queues a save of `snapshot`; returns at once. The first save starts the
  // writer thread.
  void Save(const LedSettings& snapshot);
  // Returns once every save queued so far is on disk (or has failed).
  void Flush();
  // The outcome of the last finished save: empty when it succeeded.
  std::string LastError() const;
  // The device map of the profile as the last good save merged it; nothing
  // before the first good save.
  std::optional<CPortMap> LastPorts() const;

 private:
  void Run();

  const std::string m_path;
  const std::string m_storeName;
  const std::function<void(const std::string&)> m_onResult;
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  std::optional<LedSettings> m_pending;
  bool m_busy = false;
  bool m_stopping = false;
  std::string m_lastError;
  std::optional<CPortMap> m_lastPorts;
  std::thread m_thread;
};
