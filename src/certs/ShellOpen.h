#pragma once
// Handing files and folders to the desktop: the new Certificate.p12 to the user's certificate
// store (the program registered for PKCS#12 files) and the certificate folder to the file
// browser, through xdg-open. Failures come back as shell-open codes for CheckShellExecute.

#include <functional>
#include <string>

namespace cq {

/// Opens a file or folder and returns a shell-open code: above 32 on success, otherwise 2 (file
/// not found), 3 (path not found), 5 (access denied), 8 (out of memory), 27 (bad arguments) or
/// 31 (no program associated).
using ShellOpener = std::function<int(const std::string& path)>;

inline constexpr int kShellOpenSucceeded = 33;

/// Runs xdg-open (found on PATH) with the path as its one argument and maps its exit status:
/// 0 success, 1 bad arguments (27), 2 file missing (2), 3 no tool for it (31), 4 the action failed
/// (31). A program that has not ended after a few seconds is taken to have opened the path.
int XdgOpen(const std::string& path);

/// Opens the certificate folder of `email` (without its trailing delimiter). A missing folder
/// gives code 3. Raises the error of CheckShellExecute for a failure.
void OpenCertificateFolder(const std::string& email, const ShellOpener& opener = XdgOpen);

/// Hands a PKCS#12 file to the user's certificate store. A missing file gives code 2. Raises the
/// error of CheckShellExecute for a failure.
void HandOverPkcs12(const std::string& path, const ShellOpener& opener = XdgOpen);

/// The export link: converts the checked certificate of `email` with the key password into
/// Certificate.p12, verifies it and hands it over. Raises the errors of ExportPkcs12 and
/// HandOverPkcs12; nothing is handed over after a failed conversion.
void InstallCertificate(const std::string& email, const std::string& password,
                        const ShellOpener& opener = XdgOpen);

} // namespace cq
