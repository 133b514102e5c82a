#pragma once
// A renewal keeps its new key and request beside the working pair until the service issues the
// certificate for it: the working Certificate.key (or container), Certificate.cer, act and
// Request.ini stay usable the whole time. The pending files have names of their own in the
// certificate folder; when the renewed certificate is downloaded the pending pair becomes the
// working one and the previous working files move into a dated folder "Previous-YYYYMMDD-hhmmss"
// inside the certificate folder, so nothing is lost.

#include <string>
#include <string_view>

namespace cq {

/// The pending renewal's key file (RSA; a GOST key lives in its provider's container).
inline constexpr const char* kRenewalKeyFile = "Renewal.key";
/// The pending renewal's request record, in the format of Request.ini.
inline constexpr const char* kRenewalRecordFile = "Renewal.ini";
/// The pending renewal's public key act.
inline constexpr const char* kRenewalActFile = "Renewal.rtf";
/// The start of the name of a folder that keeps a working pair a renewal replaced.
inline constexpr const char* kPreviousPairPrefix = "Previous-";

/// Where an address's renewal stands: none asked for, asked for and not yet issued, or issued
/// and swapped in (the previous pair kept).
enum class RenewalState { None, Pending, Issued };

/// The word for the state in the command-line tool's text and JSON output and in reports:
/// "none", "pending", "issued". Never translated: scripts read it.
std::string_view RenewalStateWord(RenewalState state);

/// The name of the newest Previous-* folder in `folder` (the stamps sort by time), "" for none.
std::string NewestPreviousPairFolder(const std::string& folder);

/// The state of the certificate folder `folder` (with its trailing delimiter), read without
/// following links and without writing anything: pending while a regular Renewal.ini is there,
/// issued when none is and a Previous-* folder is, none otherwise.
RenewalState ReadRenewalState(const std::string& folder);

} // namespace cq
