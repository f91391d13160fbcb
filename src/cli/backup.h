// The backup that an in-place upgrade keeps of a project file: another name of the same
// file where the file system allows it, so that making it copies nothing and the rename
// that puts the converted text in place leaves the original bytes under that name alone.
#ifndef KEFCONVERT_CLI_BACKUP_H_
#define KEFCONVERT_CLI_BACKUP_H_

#include <string>

namespace kefconvert::cli {

/// Why no backup was made.
struct BackupFailure {
  int number = 0;      ///< the error number: 58 when the backup exists, else as a file error
  std::string reason;  ///< the system's words
};

/// Makes `backup` a second name of the file `original` (a hard link), or a copy of it
/// where links are not possible. Never replaces an existing `backup`, not even one created
/// at the same moment; one that is already a name of `original` (left by an interrupted
/// run) serves as it is. True when made; false with `failure` filled in otherwise.
bool MakeBackup(const std::string& original, const std::string& backup, BackupFailure& failure);

/// Removes a backup that MakeBackup made; false when it could not.
bool RemoveBackup(const std::string& backup);

}  // namespace kefconvert::cli

#endif  // KEFCONVERT_CLI_BACKUP_H_
