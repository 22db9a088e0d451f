#pragma once
// An output file that appears under its name only when it is complete.

#include <string>

namespace zel::media::detail {

/// Reserves a temporary file beside `target` (same folder, so the final rename is atomic and
/// never copies). Whoever writes the output writes tempPath(); commit() gives it the target's
/// name; destruction without commit removes the temporary file, so a failed or abandoned write
/// leaves nothing behind.
///
/// The temporary file is named ".NAME.part-PID@HOST-RANDOM": its owner's process and machine. A
/// process that ends without unwinding (SIGKILL, a crash, a power cut) cannot remove its own, so
/// the next PendingFile of that target removes every one whose owner, on this machine, no longer
/// runs; a part file of a running process, or of another machine (a shared folder), is never
/// touched. Without `overwrite`, a running process that writes the same target is a conflict:
/// its output would replace or be refused by this one at the end, so it is refused now.
///
/// Throws Error when the folder cannot take a new file, when the target exists and `overwrite`
/// is false, or when another process is writing the same target and `overwrite` is false.
class PendingFile {
public:
  /// `clearStale`: remove the part files of this target left by processes that ended (a
  /// sequence of pictures clears them once for its whole pattern instead: clearStaleParts).
  PendingFile(std::string target, bool overwrite, bool clearStale = true);
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

  /// Throws Error when, without overwrite, something has appeared under the target's name since
  /// the file was reserved (another program wrote it): the write that would end in a refused
  /// rename stops at once instead. Costs one lstat.
  void checkTargetStillFree() const;

private:
  std::string m_target;
  std::string m_temp;
  bool m_overwrite;
  bool m_committed = false;
};

/// Throws Error when `target` exists and may not be replaced.
void checkReplaceable(const std::string& target, bool overwrite);

/// Removes, in the folder of `pattern`, the part files left by ended processes of this machine
/// for every target name `pattern` (a printf %d pattern, as a picture sequence is named) makes.
void clearStaleParts(const std::string& pattern);

}  // namespace zel::media::detail
