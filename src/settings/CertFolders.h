#pragma once
// Certificate folders (one per e-mail address under DataFolder) and the request record
// Request.ini in each.

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

/// The certificate folder of `email` in the data folder `dataFolder` (with its trailing
/// delimiter), by the rule of CertificateFolder.
std::string CertificateFolderIn(const std::string& dataFolder, const std::string& email);

/// Writes the seven subject keys (Country ... Email) into section Cert, as the settings file and
/// the request record both keep them.
void WriteSubjectKeys(IniFile& ini, const SubjectFields& subject);

/// Raises EOSError (EACCES) naming the certificate folder and what is wrong with it when it may
/// not be used: it is a symbolic link, not a folder, another user's or writable by others
/// (others may read and list it). A missing folder passes. Checked before anything in the folder
/// is read or written: whoever may change the folder could put a link where the key goes.
void CheckCertificateFolder(const std::string& folder);

/// Creates a certificate folder (owner only, 0700) and its missing parents (as the umask
/// says); an existing folder is left as it is, and checked as CheckCertificateFolder does.
/// Raises EOSError.
void CreateCertificateFolder(const std::string& folder);

/// Writes the RSA request record into `fileName`, keeping other keys and sections. Raises.
void WriteRsaRequestRecord(const std::string& fileName, const SubjectData& subject);

/// The RSA request record as WriteRsaRequestRecord would write it: the file `fileName` (empty
/// when missing) with the record's keys changed. Raises when the file cannot be read.
IniFile RsaRequestRecord(const std::string& fileName, const SubjectData& subject);

/// Writes the GOST request record into `fileName`, keeping other keys and sections. Raises.
void WriteGostRequestRecord(const std::string& fileName, const SubjectFields& subject,
                            const std::string& algorithm, const std::string& container);

/// The GOST request record as WriteGostRequestRecord would write it. Raises when the file
/// cannot be read.
IniFile GostRequestRecord(const std::string& fileName, const SubjectFields& subject,
                          const std::string& algorithm, const std::string& container);

/// True when folder + "Request.ini" names a non-empty Algorithm. `folder` ends with "/".
bool IsGostRequest(const std::string& folder);

} // namespace cq
