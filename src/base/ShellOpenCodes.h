#pragma once
// Results of handing a file, folder or web address to the desktop: above 32 is success, the
// rest name what went wrong (CheckShellExecute turns them into messages).

namespace cq::shellopen {

inline constexpr int kOutOfResources = 0;
inline constexpr int kFileNotFound = 2;
inline constexpr int kPathNotFound = 3;
inline constexpr int kAccessDenied = 5;
inline constexpr int kOutOfMemory = 8;
inline constexpr int kBadFormat = 11;
inline constexpr int kSharingViolation = 26;
inline constexpr int kBadAssociation = 27;
inline constexpr int kDdeTimeout = 28;
inline constexpr int kDdeFailed = 29;
inline constexpr int kDdeBusy = 30;
inline constexpr int kNoAssociation = 31;
inline constexpr int kLibraryNotFound = 32;
/// Any value above 32 means the path was handed over.
inline constexpr int kSucceeded = 33;

} // namespace cq::shellopen
