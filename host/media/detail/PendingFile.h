#pragma once
// An output file that appears under its name only when it is complete.

#include <string>

namespace zel::media::detail {

/// Reserves a temporary file beside `target` (same folder, so the final rename is atomic and
/// never copies). Whoever writes the output writes tempPath(); commit() gives it the target's
/// name; destruction without commit removes the temporary file, so a failed or abandoned write
/// leaves nothing behind. Throws Error when the folder cannot take a new file, or when the target
/// exists and `overwrite` is false.
class PendingFile {
public:
  PendingFile(std::string target, bool overwrite);
  ~PendingFile();
  PendingFile(PendingFile&& other) noexcept;
  PendingFile& operator=(PendingFile&&) = delete;
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  const std::string& tempPath() const { return m_temp; }
  const std::string& target() const { return m_target; }

  /// Renames the temporary file to the target. Without overwrite the rename fails, rather than
  /// replaces, when the target appeared in the meantime. Throws Error on failure (the temporary
  /// file stays until destruction).
  void commit();
  /// Removes the committed target again (used to undo part of a set of files); no-op otherwise.
  void withdraw();
  bool committed() const { return m_committed; }

private:
  std::string m_target;
  std::string m_temp;
  bool m_overwrite;
  bool m_committed = false;
};

/// Throws Error when `target` exists and may not be replaced.
void checkReplaceable(const std::string& target, bool overwrite);

}  // namespace zel::media::detail
