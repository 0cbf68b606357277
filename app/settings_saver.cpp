// The profile writer thread.
#include "app/settings_saver.h"

#include "settings/profile_keys.h"
#include "settings/profile_store.h"

CSettingsSaver::CSettingsSaver(std::string profilePath, std::string storeName,
                               std::function<void(const SettingsSaveResult&)> onResult)
    : m_path(std::move(profilePath)), m_storeName(std::move(storeName)), m_onResult(std::move(onResult)) {
  // Nothing loaded yet: a zero record differs from any the window holds in
  // most keys, and a key that is missing in the file is written all the same.
}

CSettingsSaver::~CSettingsSaver() {
  if (!m_thread.joinable()) return;  // nothing was ever saved
  {
    std::lock_guard lock(m_mutex);
    m_stopping = true;
  }
  m_changed.notify_all();
  m_thread.join();
}

void CSettingsSaver::Loaded(const LedSettings& record) { m_known = record; }

void CSettingsSaver::ReadFromUnit(const LedSettings& record, const std::vector<int>& cells) {
  // The window's own saves land first: what the file holds after them was
  // there before the read.
  Flush();
  LedSettings file;
  std::string error;
  // A file that cannot be read now will not be saved either; that save says why.
  const bool read = CProfileStore(m_path).Read(m_storeName, file, &error);
  for (const int cell : cells) {
    m_fromUnit[cell] = record.seq.cells[cell];
    if (read) m_known.seq.cells[cell] = file.seq.cells[cell];
  }
}

CSettingsSaver::Queued CSettingsSaver::Combined(const Queued& earlier, Queued later) {
  size_t at = 0;
  for (const ProfileKey& key : ProfileKeys()) {
    const int32_t value = KeyValue(earlier.record, key);
    if (value != KeyValue(earlier.base, key)) SetKeyValue(later.base, key, KeyValue(earlier.base, key));
    // A value read from a unit stays one until the window changes it.
    if (earlier.readFromUnit[at] && KeyValue(later.record, key) == value) later.readFromUnit[at] = true;
    ++at;
  }
  return later;
}

void CSettingsSaver::Save(const LedSettings& snapshot) {
  Queued next{++m_queued, snapshot, m_known, {}};
  for (const ProfileKey& key : ProfileKeys()) {
    const std::optional<int32_t> read = key.field ? std::nullopt : m_fromUnit[key.cell];
    next.readFromUnit.push_back(read && *read == KeyValue(snapshot, key));
  }
  m_fromUnit = {};
  m_known = snapshot;
  {
    std::lock_guard lock(m_mutex);
    // A replaced save's changes, or a failed one's, go with this one.
    if (m_pending) {
      next = Combined(*m_pending, std::move(next));
    } else if (m_unsaved) {
      next = Combined(*m_unsaved, std::move(next));
    }
    m_pending = std::move(next);
  }
  // The thread starts with the first save, so a window that is only looked
  // at never pays for it.
  if (!m_thread.joinable()) m_thread = std::thread([this] { Run(); });
  m_changed.notify_all();
}

void CSettingsSaver::Flush() {
  std::unique_lock lock(m_mutex);
  m_changed.wait(lock, [this] { return !m_pending && !m_busy; });
}

std::optional<SettingsSaveResult> CSettingsSaver::LastResult() const {
  std::lock_guard lock(m_mutex);
  return m_last;
}

bool CSettingsSaver::Take(const SettingsSaveResult& result, LedSettings& record, bool* tableChanged) {
  *tableChanged = false;
  if (result.number <= m_taken) return false;
  m_taken = result.number;
  if (!result.error.empty()) return true;
  SequenceTable& table = record.seq;
  for (size_t cell = 0; cell < table.cells.size(); ++cell) {
    const int32_t theirs = result.saved.seq.cells[cell];
    const int32_t sent = result.written.seq.cells[cell];
    // A cell the window changed after this save was queued, or read from a
    // unit since, is its own, and goes out with the next save.
    if (theirs == sent || table.cells[cell] != sent || m_fromUnit[cell]) continue;
    table.cells[cell] = theirs;
    m_known.seq.cells[cell] = theirs;
    *tableChanged = true;
  }
  return true;
}

void CSettingsSaver::Run() {
  std::unique_lock lock(m_mutex);
  for (;;) {
    m_changed.wait(lock, [this] { return m_pending || m_stopping; });
    // Stopping still writes what is queued: nothing the operator did is lost.
    if (!m_pending) return;
    const Queued queued = *m_pending;
    m_pending.reset();
    m_busy = true;
    lock.unlock();

    SettingsSaveResult result;
    result.number = queued.number;
    result.written = queued.record;
    CProfileStore store(m_path);
    if (store.SaveChanges(m_storeName, queued.record, queued.base, &result.error, queued.readFromUnit)) {
      result.saved = store.Saved();
      result.changedElsewhere = store.ChangedElsewhere();
      result.keptElsewhere = store.KeptElsewhere();
      result.ports = store.Ports();
    } else if (result.error.empty()) {
      result.error = "saving " + m_path + ": failed for no reason given";  // should not happen; never report success
    }

    lock.lock();
    if (result.error.empty()) {
      m_unsaved.reset();
    } else if (m_pending) {
      m_pending = Combined(queued, std::move(*m_pending));
    } else {
      m_unsaved = queued;
    }
    m_last = result;
    lock.unlock();
    if (m_onResult) m_onResult(result);
    lock.lock();
    m_busy = false;
    m_changed.notify_all();
  }
}
