#pragma once
// Handing files and folders to the desktop: the new Certificate.p12 to the user's certificate
// store (the program registered for PKCS#12 files) and the certificate folder to the file
// browser, through the desktop's handlers. Failures come back as shell-open codes for
// CheckShellExecute.

#include "platform/DesktopOpen.h"

#include <functional>
#include <string>

namespace cq {

/// Opens a file or folder and returns a shell-open code (base/ShellOpenCodes.h).
using ShellOpener = std::function<int(const std::string& path)>;

/// Opens the certificate folder of `email` (without its trailing delimiter). A missing folder
/// gives code 3. Raises the error of CheckShellExecute for a failure, and Exception with the
/// address rules' message for an address that cannot name a folder.
void OpenCertificateFolder(const std::string& email, const ShellOpener& opener = DesktopOpen);

/// Hands a PKCS#12 file to the user's certificate store. A missing file gives code 2. Raises the
/// error of CheckShellExecute for a failure.
void HandOverPkcs12(const std::string& path, const ShellOpener& opener = DesktopOpen);

/// The export link: converts the checked certificate of `email` with the key password into
/// Certificate.p12 (in the profile the settings ask for), verifies it and hands it over. Raises the
/// errors of ExportPkcs12 and HandOverPkcs12; nothing is handed over after a failed conversion.
void InstallCertificate(const std::string& email, const std::string& password,
                        const ShellOpener& opener = DesktopOpen);

} // namespace cq
