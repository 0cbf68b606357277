// A COM name's identity from the DOS device it points to ("\Device\VCP0"):
// another adapter given the same name points elsewhere.
#include "app/device_identity.h"

#include <windows.h>

#include <QString>

std::optional<std::string> DeviceIdentityAt(const std::string& path) {
  QString name = QString::fromStdString(path);
  if (name.startsWith(QStringLiteral("\\\\.\\"))) name = name.mid(4);
  wchar_t target[1024] = {};
  const DWORD length = QueryDosDeviceW(reinterpret_cast<const wchar_t*>(name.utf16()), target, 1024);
  if (length == 0) return std::nullopt;
  return QString::fromWCharArray(target).toStdString();
}
