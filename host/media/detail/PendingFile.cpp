#include "media/detail/PendingFile.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "media/Error.h"

namespace zel::media::detail {

namespace {

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

/// rename() that fails with EEXIST instead of replacing an existing target.
int renameNoReplace(const char* from, const char* to) {
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  // File systems without RENAME_NOREPLACE: a hard link fails on an existing name as well.
  if (link(from, to) != 0) return -1;
  unlink(from);
  return 0;
}

}  // namespace

void checkReplaceable(const std::string& target, bool overwrite) {
  struct stat status {};
  if (lstat(target.c_str(), &status) != 0) return;
  if (S_ISDIR(status.st_mode)) throw Error("cannot write '" + target + "': it is a folder");
  if (!overwrite) throw Error("'" + target + "' exists already and is not replaced without overwrite");
}

PendingFile::PendingFile(std::string target, bool overwrite) : m_target(std::move(target)), m_overwrite(overwrite) {
  checkReplaceable(m_target, overwrite);
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
    std::string candidate = folderOf(m_target) + "." + nameOf(m_target) + ".part-" + suffix;
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
    if (errno == EEXIST) throw Error("'" + m_target + "' exists already and is not replaced without overwrite");
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

}  // namespace zel::media::detail
