// Reading and writing the simulator's stored-rows file.
#include "sim/unit_state_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace sim {
namespace {

constexpr int kFreshIntensity = 128;

StoredRows FreshRows() {
  StoredRows rows;
  for (auto& row : rows) row.fill(kFreshIntensity);
  return rows;
}

bool InRange(int v, int lo, int hi) { return v >= lo && v <= hi; }

// One "unit A row R = a b c d" line; false when it is anything else.
bool ParseLine(const std::string& line, int* address, int* row, std::array<int, 4>* values) {
  std::istringstream in(line);
  std::string unitWord, rowWord, equals;
  if (!(in >> unitWord >> *address >> rowWord >> *row >> equals)) return false;
  if (unitWord != "unit" || rowWord != "row" || equals != "=") return false;
  if (!InRange(*address, 0, 7) || !InRange(*row, 0, 7)) return false;
  for (int& v : *values) {
    if (!(in >> v) || !InRange(v, 0, 255)) return false;
  }
  std::string rest;
  return !(in >> rest);
}

std::string SystemError(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

UnitStateFile::UnitStateFile(std::string path) : m_path(std::move(path)) {}

bool UnitStateFile::Load(std::string* error) {
  m_entries.clear();
  struct stat info{};
  if (::stat(m_path.c_str(), &info) != 0 && errno == ENOENT) return true;
  std::ifstream in(m_path);
  if (!in) {
    if (error) *error = SystemError("cannot read", m_path);
    return false;
  }
  std::map<int, StoredRows> entries;
  std::string line;
  int lineNumber = 0;
  while (std::getline(in, line)) {
    ++lineNumber;
    const size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    int address = 0, row = 0;
    std::array<int, 4> values{};
    if (!ParseLine(line, &address, &row, &values)) {
      if (error) {
        *error = m_path + " line " + std::to_string(lineNumber) +
                 ": expected \"unit 0-7 row 0-7 = four values 0-255\"";
      }
      return false;
    }
    auto it = entries.try_emplace(address, FreshRows()).first;
    it->second[static_cast<size_t>(row)] = values;
  }
  if (in.bad()) {
    if (error) *error = SystemError("cannot read", m_path);
    return false;
  }
  m_entries = std::move(entries);
  return true;
}

void UnitStateFile::Set(int address, const StoredRows& rows) { m_entries[address] = rows; }

bool UnitStateFile::Save(std::string* error) const {
  std::ostringstream text;
  text << "# Stored rows of simulated units: unit ADDRESS row ROW = CH1 CH2 CH3 CH4\n";
  for (const auto& [address, rows] : m_entries) {
    for (size_t r = 0; r < rows.size(); ++r) {
      text << "unit " << address << " row " << r << " =";
      for (int v : rows[r]) text << ' ' << v;
      text << '\n';
    }
  }
  const std::string content = text.str();
  const std::string temp = m_path + ".tmp";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    if (error) *error = SystemError("cannot create", temp);
    return false;
  }
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      if (error) *error = SystemError("cannot write", temp);
      ::close(fd);
      ::unlink(temp.c_str());
      return false;
    }
    done += static_cast<size_t>(n);
  }
  const bool synced = ::fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  if (!synced || !closed) {
    if (error) *error = SystemError("cannot write", temp);
    ::unlink(temp.c_str());
    return false;
  }
  if (::rename(temp.c_str(), m_path.c_str()) != 0) {
    if (error) *error = SystemError("cannot replace", m_path);
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace sim
