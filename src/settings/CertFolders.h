#pragma once
// Certificate folders (one per e-mail address under DataFolder), the request record Request.ini
// in each, and the list of requested addresses in the settings file.

#include "base/IniFile.h"
#include "base/SubjectData.h"

#include <string>

namespace cq {

inline constexpr const char* kCertificateKeyFile = "Certificate.key";
inline constexpr const char* kCertificateFile = "Certificate.cer";
inline constexpr const char* kCertificateP12File = "Certificate.p12";
inline constexpr const char* kRequestRecordFile = "Request.ini";

/// The address without the nine characters that file names refuse: \ / : * ? " < > |
std::string EmailToFolderName(const std::string& email);

/// DataFolder + EmailToFolderName(lower-cased trimmed address) + "/".
std::string CertificateFolder(const std::string& email);

/// Writes the seven subject keys (Country ... Email) into section Cert, as the settings file and
/// the request record both keep them.
void WriteSubjectKeys(IniFile& ini, const SubjectData& subject);

/// Creates a certificate folder (owner only, 0700) and its missing parents (as the umask
/// says); an existing folder is left as it is. Raises EOSError.
void CreateCertificateFolder(const std::string& folder);

/// Writes the RSA request record into `fileName`, keeping other keys and sections. Raises.
void WriteRsaRequestRecord(const std::string& fileName, const SubjectData& subject);

/// The RSA request record as WriteRsaRequestRecord would write it: the file `fileName` (empty
/// when missing) with the record's keys changed. Raises when the file cannot be read.
IniFile RsaRequestRecord(const std::string& fileName, const SubjectData& subject);

/// Writes the GOST request record into `fileName`, keeping other keys and sections. Raises.
/// The subject's key password fields take no part.
void WriteGostRequestRecord(const std::string& fileName, const SubjectData& subject,
                            const std::string& algorithm, const std::string& container);

/// The GOST request record as WriteGostRequestRecord would write it. Raises when the file
/// cannot be read.
IniFile GostRequestRecord(const std::string& fileName, const SubjectData& subject,
                          const std::string& algorithm, const std::string& container);

/// True when folder + "Request.ini" names a non-empty Algorithm. `folder` ends with "/".
bool IsGostRequest(const std::string& folder);

/// Adds an address to the e-mail list of the settings file; reports its own errors.
void AddEmailToList(const std::string& email);

/// Removes an address (letter case ignored) from the e-mail list under the settings file's lock;
/// false when it was not listed. Raises when the settings file cannot be read or written.
bool RemoveEmailFromList(const std::string& email);

/// The e-mail list, one address per line, CR LF between lines; reports its own errors.
std::string ReadEmailList();

} // namespace cq
