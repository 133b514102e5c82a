#pragma once
// File-system helpers shared by every unit that touches the user's files.

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace cq {

inline constexpr char kPathDelimiter = '/';

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);

/// What a file holds, which bounds how large it can plausibly be.
enum class FileKind {
    /// Settings, records, e-mail lists, certificates, keys, containers, passwords: 1 MiB.
    Small,
    /// Act templates and other documents: 16 MiB.
    Document,
};

/// The largest file of a kind that is read.
size_t MaxFileSize(FileKind kind);

/// Whole file as bytes. Only a regular file of at most MaxFileSize(kind) bytes is read: a pipe,
/// a device or a socket (also behind a link) is refused without waiting on it, and so is a larger
/// file, before its bytes are read; the message names the file. Raises EOSError when the file
/// cannot or may not be read.
std::string ReadFileBytes(const std::string& path, FileKind kind = FileKind::Small);

/// The checks of ReadFileBytes, for a file another library will read by its name: raises the
/// same EOSError when the file is missing, not a regular file or too large.
void CheckReadableFile(const std::string& path, FileKind kind = FileKind::Small);

/// Owner-only folders: certificate folders, a user's data folder, the log folder.
inline constexpr mode_t kPrivateFolderMode = 0700;

/// Creates a folder and its missing parents, each with the permissions the umask leaves of
/// 0777. With `exactMode`, every folder this call creates gets exactly that mode instead, so a
/// private folder never sits under a newly made parent that others may list. Folders that exist
/// keep their mode. Raises EOSError on failure.
void ForceDirectories(const std::string& path, std::optional<mode_t> exactMode = std::nullopt);

/// Who may read a file written by WriteFileAtomically or PreparedFile.
enum class FileAccess {
    /// A new file gets what the umask leaves of 0666; an existing file keeps its mode.
    Shared,
    /// Owner only: the file is 0600 whether new or replaced (keys, passwords).
    Private,
};

/// What a writer does with a symbolic link in the place of the file it replaces.
enum class AtLink {
    /// Replaces the file the link points to; the link stays. The settings file and the e-mail
    /// list: administrators point them elsewhere on purpose.
    Follow,
    /// Refuses the link, as anything else that is not a regular file (RefuseOddFile): the files
    /// of a certificate folder and the copies the user names, so that nothing outside the folder
    /// the name is in is ever written.
    Refuse,
};

/// The path with every symbolic link of its last component followed: writers replace what a
/// link points to, never the link itself. Raises EOSError (ELOOP) for a loop of links.
std::string ResolveSymlinks(const std::string& path);

/// Raises EOSError naming the file and the problem in the user's language ("Файл ... не может
/// быть записан: ...") when a writer that does not follow links may not replace what is at `path`:
/// a symbolic link (ELOOP), a folder (EISDIR) or anything else that is not a regular file (EINVAL).
/// A missing file or a regular one passes.
void RefuseOddFile(const std::string& path);

/// What the group and others may do in a folder that holds the user's keys.
enum class OthersMay {
    Nothing,     ///< not even list it
    ReadAndList, ///< list and read it, but never add, remove or rename a file in it
};

/// Why the folder at `path` may not hold the user's keys, in words of the user's language that
/// follow the folder's name: it is a symbolic link, not a folder, another user's, or open to others
/// beyond `othersMay`; nothing when it may. Whoever can change such a folder can put their own key
/// or link where the program writes. Raises EOSError when it cannot be examined (also missing).
std::optional<std::string> PrivateFolderProblem(const std::string& path, OthersMay othersMay);

/// Replaces (or creates) a file so that it is either the old file or the complete new one:
/// the bytes go to a temporary file in the same folder, which is flushed and renamed over the
/// target. A symbolic link keeps pointing to the same file, whose content is replaced, unless
/// `atLink` refuses it. A read-only target is refused with EOSError (EACCES). When the folder
/// refuses new files but the existing file may be written, the file is rewritten in place and
/// flushed instead.
void WriteFileAtomically(const std::string& path, std::string_view bytes,
                         FileAccess access = FileAccess::Shared, AtLink atLink = AtLink::Follow);

/// A file's new content written to a temporary file in the same folder and flushed to disk,
/// waiting to replace the file: the first half of WriteFileAtomically. Several files can be
/// prepared at once (their flushes overlap) and then committed in the order their meaning needs.
/// Dropping one uncommitted removes its temporary file and leaves the target as it was.
class PreparedFile {
public:
    /// Writes and flushes the temporary file; the same checks and modes as WriteFileAtomically.
    /// Raises EOSError.
    PreparedFile(const std::string& path, std::string_view bytes,
                 FileAccess access = FileAccess::Shared, AtLink atLink = AtLink::Follow);
    ~PreparedFile();
    PreparedFile(PreparedFile&& other) noexcept;
    PreparedFile& operator=(PreparedFile&& other) = delete;
    PreparedFile(const PreparedFile&) = delete;
    PreparedFile& operator=(const PreparedFile&) = delete;

    /// Renames the temporary file over the target. Raises EOSError.
    void Commit();
    /// The file it replaces (a symbolic link followed unless refused).
    const std::string& path() const { return path_; }
    /// The temporary file, for a program that writes the content itself.
    const std::string& temporaryPath() const { return tempName_; }

private:
    std::string path_;
    std::string tempName_;
};

/// True when `name` (without folder) is a temporary file of PreparedFile: the target's name,
/// ".cqtmp-" and six letters or digits.
bool IsTemporaryFileName(const std::string& name);

/// Removes the temporary files of PreparedFile that an interrupted run left in `folder`; other
/// files stay. Failures are ignored (the next run tries again).
void RemoveStaleTemporaryFiles(const std::string& folder);

/// Appends bytes to a file (created with what the umask leaves of 0666 when missing); raises
/// EOSError on failure.
void AppendToFile(const std::string& path, std::string_view bytes);

/// Folder part of a path with a trailing delimiter ("" when the path has no folder part).
std::string ExtractFilePath(const std::string& path);
/// File name part of a path.
std::string ExtractFileName(const std::string& path);
/// The path with its extension (from the last dot of the name part) replaced by `extension`.
std::string ChangeFileExt(const std::string& path, const std::string& extension);
/// The path with one trailing delimiter.
std::string IncludeTrailingPathDelimiter(const std::string& path);
std::string ExcludeTrailingPathDelimiter(const std::string& path);

/// Expands %NAME% environment references; unknown names are kept as written.
std::string ExpandEnvironmentStrings(std::string_view text);

/// ${XDG_DATA_HOME:-$HOME/.local/share}/ with a trailing delimiter.
std::string UserDataFolder();

} // namespace cq
