// CSettingsSaver: writes the settings record to the profile on a thread of its
// own, so a slider release or a button never waits for the disk. Saves run in
// order; a save queued behind another that has not started yet replaces it.
// A save writes only the keys the window changed since it loaded the profile
// or queued its last save (and those the file lacks): what another program,
// such as a second window on the same profile, saved meanwhile stays in the
// file, and the window takes the cells it has not changed itself back in.
// Cells read from a unit are the window's newest knowledge of them: saved
// like its own changes, unless the file changed them after the read.
// Every function but the writer's own is called from one thread, the window's.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "settings/led_settings.h"
#include "settings/port_map.h"

// How one save went.
struct SettingsSaveResult {
  uint64_t number = 0;  // saves are numbered in the order they were queued, from 1
  std::string error;    // why it failed; empty after a good save
  LedSettings written;  // the record queued
  // After a good save: the record as the file now holds it (other
  // programs' values in the keys this one did not change), the keys both
  // changed (this window's value written, as the later change), and the
  // device map of the file.
  LedSettings saved;
  std::vector<std::string> changedElsewhere;
  // The cells read from a unit that another program changed in the file
  // after the read: the file's later value was kept.
  std::vector<std::string> keptElsewhere;
  CPortMap ports;
};

class CSettingsSaver {
 public:
  // `onResult` is called on the saver's thread after each save.
  CSettingsSaver(std::string profilePath, std::string storeName,
                 std::function<void(const SettingsSaveResult&)> onResult);
  ~CSettingsSaver();  // finishes what is queued
  CSettingsSaver(const CSettingsSaver&) = delete;
  CSettingsSaver& operator=(const CSettingsSaver&) = delete;

  // The record as the window loaded it from the profile. Until this is
  // called, every key counts as changed by the window.
  void Loaded(const LedSettings& record);
  // The window stored `cells` (indices into the table) of `record` from a
  // unit's answer. The next save writes them as the window's own change,
  // except where the file changes them after this call: that later value
  // stays, the window takes it in and the result names it. Waits for the
  // queued saves and reads the profile, so that what the file holds now
  // counts as earlier than the read.
  void ReadFromUnit(const LedSettings& record, const std::vector<int>& cells);
  // Queues a save of the keys in which `snapshot` differs from the record as
  // last loaded, queued or taken in, and of the cells read from a unit since
  // the last save was queued; returns at once. Changes of a save that
  // failed, or was replaced before it started, are written with the next.
  // The first save starts the writer thread.
  void Save(const LedSettings& snapshot);
  // Returns once every save queued so far is on disk (or has failed).
  void Flush();
  // The last finished save; nothing before the first.
  std::optional<SettingsSaveResult> LastResult() const;

  // Takes `result` in on the window's thread. False for a result older than
  // one taken already (a queued report overtaken by Flush): nothing to do.
  // After a good save, the table cells another program saved meanwhile are
  // put into `record` where the window has not changed them, or read them
  // from a unit, since `result` was queued; *tableChanged tells whether any
  // was. (The Com entry and the
  // other single values stay the window's own; the file keeps the other
  // program's.)
  bool Take(const SettingsSaveResult& result, LedSettings& record, bool* tableChanged);

 private:
  struct Queued {
    uint64_t number = 0;
    LedSettings record;
    LedSettings base;  // each key as the file held it before the window's unsaved change to it
    std::vector<bool> readFromUnit;  // per ProfileKeys() entry: the value came from a unit, after `base`
  };

  void Run();
  // `later` with the bases of `earlier`'s unsaved changes, so that they are
  // written with it.
  static Queued Combined(const Queued& earlier, Queued later);

  const std::string m_path;
  const std::string m_storeName;
  const std::function<void(const SettingsSaveResult&)> m_onResult;
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  std::optional<Queued> m_pending;
  std::optional<Queued> m_unsaved;  // a failed save, written with the next
  bool m_busy = false;
  bool m_stopping = false;
  std::optional<SettingsSaveResult> m_last;
  std::thread m_thread;

  // The window thread's own.
  LedSettings m_known;  // each key as the file holds it once the queued saves are done
  // The cells read from a unit since the last save was queued, with the value read.
  std::array<std::optional<int32_t>, kSequenceRows * kChannels> m_fromUnit{};
  uint64_t m_queued = 0;
  uint64_t m_taken = 0;
};
