#pragma once
// The module-wide settings values that the settings file fills and every operation reads.

#include <string>

namespace cq {

/// The RSA key sizes a request may be made with.
inline constexpr int kAllowedRsaKeyBits[] = {1024, 2048, 3072, 4096};

/// The warning period when the settings file names none.
inline constexpr int kDefaultWarnDays = 30;

struct SettingsValues {
    bool ProxyFromIni = false;
    bool ProxyUse = false;
    std::string ProxyServer;
    std::string ProxyPort;
    std::string ProxyUserName;
    std::string ProxyPassword;
    /// Hosts reached without the proxy (curl's no_proxy rules); only a system proxy has them.
    std::string ProxyBypass;
    /// The environment variable the system proxy in force came from; empty otherwise.
    std::string ProxySource;
    bool AcceptCompression = true;
    std::string UrlRequestRSACertificate;
    std::string UrlReceiveRSACertificate;
    std::string UrlRequestGostCertificate;
    std::string UrlReceiveGostCertificate;
    std::string RequestCertificate;
    std::string RequestKey;
    std::string RequestPassword;
    /// Optional CA file (relative to ProgramFolder or absolute) trusted for the service's server
    /// certificate besides the system store; key CaFile of section HTTPS.
    std::string CaFile;
    /// Certificate.p12 in the old protection old Windows versions and appliances open; key
    /// LegacyPkcs12 of section Cert, never written by the program.
    bool LegacyPkcs12 = false;
    /// The cipher of a GOST Certificate.p12 ("gost89" or "kuznyechik"); key GostPkcs12Cipher of
    /// section Cert, never written by the program.
    std::string GostPkcs12Cipher;
    /// Size of the RSA keys made for requests, key RsaKeyBits of section Cert (the
    /// administrator's base file rules): 1024 by default, as the service expects; the request
    /// refuses a size outside kAllowedRsaKeyBits.
    int RsaKeyBits = 1024;
    /// A certificate with this many days left or fewer (or expired) is reported as ending by
    /// `list`, `report` and the desktop notice; key WarnDays of section Cert. A value that is
    /// not a number of days (negative) counts as the default.
    int WarnDays = kDefaultWarnDays;
    /// Folder of the settings file in use, with a trailing delimiter.
    std::string DataFolder;
};

/// The one set of values of the running program.
SettingsValues& Settings();

} // namespace cq
