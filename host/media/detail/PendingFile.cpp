#include "media/detail/PendingFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <random>

#include "media/Error.h"

namespace zel::media::detail {

namespace {

constexpr const char* kPartMark = ".part-";

std::string systemError(int error) { return std::strerror(error); }

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return "";
  return path.substr(0, slash + 1);
}

std::string nameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

/// This machine's name as it goes into a part file's name: letters, digits, '.', '_' and '-'.
const std::string& hostName() {
  static const std::string name = [] {
    char raw[256] = {};
    if (gethostname(raw, sizeof raw - 1) != 0 || raw[0] == '\0') return std::string("localhost");
    std::string clean;
    for (const char* c = raw; *c != '\0' && clean.size() < 64; ++c) {
      const auto u = static_cast<unsigned char>(*c);
      clean += std::isalnum(u) != 0 || u == '.' || u == '_' || u == '-' ? *c : '_';
    }
    return clean;
  }();
  return name;
}

/// The owner a part file's name records after the mark: "PID@HOST-RANDOM".
struct Owner {
  pid_t pid = 0;
  std::string host;
};

bool parseOwner(const std::string& tail, Owner& owner) {
  const auto at = tail.find('@');
  const auto dash = tail.rfind('-');
  if (at == std::string::npos || at == 0 || dash == std::string::npos || dash <= at + 1) return false;
  long pid = 0;
  for (std::size_t i = 0; i < at; ++i) {
    if (tail[i] < '0' || tail[i] > '9' || pid > 1'000'000'000) return false;
    pid = pid * 10 + (tail[i] - '0');
  }
  if (pid <= 0) return false;
  owner.pid = static_cast<pid_t>(pid);
  owner.host = tail.substr(at + 1, dash - at - 1);
  return true;
}

/// A process of this machine (in this process namespace) with that number exists.
bool running(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};

/// Walks the part files in `folder` whose target name `wanted` accepts: removes those of ended
/// processes of this machine and returns the number of another running process that writes one
/// (0 when none does).
pid_t sweepParts(const std::string& folder, const std::function<bool(const std::string&)>& wanted) {
  std::unique_ptr<DIR, DirCloser> dir(opendir(folder.empty() ? "." : folder.c_str()));
  if (!dir) return 0;
  pid_t live = 0;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    const auto mark = name.rfind(kPartMark);
    if (name.size() < 2 || name[0] != '.' || mark == std::string::npos || mark < 2) continue;
    if (!wanted(name.substr(1, mark - 1))) continue;
    Owner owner;
    if (!parseOwner(name.substr(mark + std::strlen(kPartMark)), owner) || owner.host != hostName()) continue;
    if (owner.pid == getpid()) continue;  // this process's own (another output of the same name)
    if (running(owner.pid)) {
      live = owner.pid;
      continue;
    }
    ::unlink((folder + name).c_str());
  }
  return live;
}

/// rename() that fails with EEXIST instead of replacing an existing target.
int renameNoReplace(const char* from, const char* to) {
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  // File systems without RENAME_NOREPLACE: a hard link fails on an existing name as well.
  if (link(from, to) != 0) return -1;
  unlink(from);
  return 0;
}

std::string existsMessage(const std::string& target) {
  return "'" + target + "' exists already and is not replaced without overwrite";
}

}  // namespace

void checkReplaceable(const std::string& target, bool overwrite) {
  struct stat status {};
  if (lstat(target.c_str(), &status) != 0) return;
  if (S_ISDIR(status.st_mode)) throw Error("cannot write '" + target + "': it is a folder");
  if (!overwrite) throw Error(existsMessage(target));
}

void clearStaleParts(const std::string& pattern) {
  // The file name's pattern: what comes before the number, and after it.
  const std::string name = nameOf(pattern);
  const auto percent = name.find('%');
  const auto d = percent == std::string::npos ? std::string::npos : name.find('d', percent);
  if (d == std::string::npos) return;
  const std::string before = name.substr(0, percent);
  const std::string after = name.substr(d + 1);
  sweepParts(folderOf(pattern), [&](const std::string& target) {
    if (target.size() <= before.size() + after.size() || target.compare(0, before.size(), before) != 0 ||
        target.compare(target.size() - after.size(), after.size(), after) != 0) {
      return false;
    }
    for (std::size_t i = before.size(); i < target.size() - after.size(); ++i) {
      if (target[i] < '0' || target[i] > '9') return false;
    }
    return true;
  });
}

PendingFile::PendingFile(std::string target, bool overwrite, bool clearStale)
    : m_target(std::move(target)), m_overwrite(overwrite) {
  checkReplaceable(m_target, overwrite);
  const std::string folder = folderOf(m_target);
  const std::string name = nameOf(m_target);
  if (clearStale) {
    const pid_t other = sweepParts(folder, [&](const std::string& t) { return t == name; });
    if (other != 0 && !overwrite) {
      throw Error("'" + m_target + "' is being written by another render (process " + std::to_string(other) +
                  "), and is not replaced without overwrite");
    }
  }
  std::random_device random;
  const std::string owner = std::to_string(getpid()) + "@" + hostName() + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
    std::string candidate = folder + "." + name + kPartMark + owner + suffix;
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      m_temp = std::move(candidate);
      return;
    }
    if (errno != EEXIST) throw Error("cannot write '" + m_target + "': " + systemError(errno));
  }
  throw Error("cannot write '" + m_target + "': no free temporary name beside it");
}

PendingFile::PendingFile(PendingFile&& other) noexcept
    : m_target(std::move(other.m_target)),
      m_temp(std::move(other.m_temp)),
      m_overwrite(other.m_overwrite),
      m_committed(other.m_committed) {
  other.m_temp.clear();
  other.m_committed = false;
}

PendingFile::~PendingFile() {
  if (!m_committed && !m_temp.empty()) ::unlink(m_temp.c_str());
}

void PendingFile::commit() {
  if (m_committed) return;
  const int rc = m_overwrite ? std::rename(m_temp.c_str(), m_target.c_str())
                             : renameNoReplace(m_temp.c_str(), m_target.c_str());
  if (rc != 0) {
    if (errno == EEXIST) throw Error(existsMessage(m_target));
    throw Error("cannot write '" + m_target + "': " + systemError(errno));
  }
  m_committed = true;
}

void PendingFile::withdraw() {
  if (!m_committed) return;
  ::unlink(m_target.c_str());
  m_committed = false;
  m_temp.clear();
}

void PendingFile::checkTargetStillFree() const {
  if (m_overwrite || m_committed) return;
  struct stat status {};
  if (lstat(m_target.c_str(), &status) == 0) {
    throw Error("'" + m_target + "' appeared while it was being written (another program made it); it is not "
                "replaced without overwrite");
  }
}

}  // namespace zel::media::detail
