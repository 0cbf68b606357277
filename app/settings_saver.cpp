// The profile writer thread.
#include "app/settings_saver.h"

#include "settings/profile_store.h"

CSettingsSaver::CSettingsSaver(std::string profilePath, std::string storeName,
                               std::function<void(const std::string&)> onResult)
    : m_path(std::move(profilePath)), m_storeName(std::move(storeName)), m_onResult(std::move(onResult)) {}

CSettingsSaver::~CSettingsSaver() {
  if (!m_thread.joinable()) return;  // nothing was ever saved
  {
    std::lock_guard lock(m_mutex);
    m_stopping = true;
  }
  m_changed.notify_all();
  m_thread.join();
}

void CSettingsSaver::Save(const LedSettings& snapshot) {
  {
    std::lock_guard lock(m_mutex);
    m_pending = snapshot;
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

std::string CSettingsSaver::LastError() const {
  std::lock_guard lock(m_mutex);
  return m_lastError;
}

std::optional<CPortMap> CSettingsSaver::LastPorts() const {
  std::lock_guard lock(m_mutex);
  return m_lastPorts;
}

void CSettingsSaver::Run() {
  std::unique_lock lock(m_mutex);
  for (;;) {
    m_changed.wait(lock, [this] { return m_pending || m_stopping; });
    // Stopping still writes what is queued: nothing the operator did is lost.
    if (!m_pending) return;
    const LedSettings snapshot = *m_pending;
    m_pending.reset();
    m_busy = true;
    lock.unlock();

    CProfileStore store(m_path);
    const std::string error = store.Save(m_storeName, snapshot) ? std::string() : store.Error();

    lock.lock();
    m_lastError = error;
    if (error.empty()) m_lastPorts = store.Ports();
    lock.unlock();
    if (m_onResult) m_onResult(error);
    lock.lock();
    m_busy = false;
    m_changed.notify_all();
  }
}
