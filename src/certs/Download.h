#pragma once
// Download of an issued certificate into the certificate folder of its address, and the state
// rule of the reception tab (which of download, check and folder link are offered, and what the
// state label says).

#include "base/Translate.h"
#include "certs/Submission.h"

#include <string>

namespace cq {

/// Outcome of DownloadCertificate.
enum class DownloadResult {
    Downloaded = 0, ///< the certificate was fetched and stored
    NotReady = 1,   ///< the service answered 404: the certificate is not issued yet
    Failed = 2,     ///< the user declined to overwrite, or an error occurred and was reported
    /// The certificate of the pending renewal was stored and swapped in with its key
    /// (Renewal.h, SwapInRenewal): the previous working pair is kept in its dated folder.
    Renewed = 3,
};

/// Fetches receive URL + lower-cased address + ".crt" (the GOST receive URL for a folder holding
/// a GOST request, else the RSA one) into `fileName` in the certificate folder of `email`
/// (trimmed by the caller). An existing file is replaced, after the user's consent, only once
/// the whole body has arrived; lines are stored with CR LF ends. 404 gives NotReady with nothing
/// shown; other errors are reported under "Получение сертификата", also an address that breaks
/// the address rules and a folder held by another operation (CertificateFolderLock). A body
/// that the folder's act shows to be no certificate of the request's key (FolderKey.h) never
/// takes the place of `fileName`: it is stored beside it as "<name>-unmatched-<date-time><ext>"
/// and reported as such (Failed), the existing file left as it was. Never raises.
DownloadResult DownloadCertificate(const std::string& fileName, const std::string& email,
                                   const ServiceGet& get = DefaultServiceGet());

/// The body as stored: every line (ended by CR LF, LF or a lone CR) followed by CR LF.
std::string CertificateFileText(const std::string& body);

/// What the reception tab offers for the typed address.
struct ReceptionState {
    bool DownloadEnabled = false;   ///< the download button
    bool CheckEnabled = false;      ///< the check button
    bool FolderLinkEnabled = false; ///< "Папка сертификата"
    bool InstallEnabled = false; ///< "В хранилище (p12)": only a passed check enables it
    bool StateLabelVisible = false;
    std::string StateLabel;
};

/// Told when the certificate of a pending renewal has taken the working one's place; %1 is the
/// folder that keeps the previous pair.
inline constexpr const char* kRenewedText =
    TrMark("Сертификат по запросу на продление успешно получен и стал рабочим; прежние ключ и "
           "сертификат сохранены в папке %1 в папке сертификата.");

inline constexpr const char* kAlreadyReceivedLabel = TrMark("Уже получен! Повтор заменит файл.");
/// The state while a renewal waits: a download then fetches the renewal's certificate and
/// replaces nothing of the working pair until it comes.
inline constexpr const char* kRenewalAwaitedLabel = TrMark("Уже получен. Продление ждёт выпуска.");

/// The state rule for the address as typed (not trimmed): reads what the certificate folder
/// holds. Raises only when the request record cannot be read.
ReceptionState EvaluateReceptionState(const std::string& typedAddress);

/// The download button: downloads Certificate.cer for the address (trimmed here), tells the
/// outcome ("Сертификат успешно получен..." or "Сертификат еще не готов...") and updates the
/// state label and the check button of `state` for a successful download. In a GOST folder whose
/// key is on a token the certificate is also written onto the token (TokenCertificate.h); a
/// failure there is reported under "Получение сертификата" and gives Failed, the file staying.
/// Raises only when the request record cannot be read afterwards.
DownloadResult ReceiveCertificate(const std::string& typedAddress, ReceptionState& state,
                                  const ServiceGet& get = DefaultServiceGet());

/// True when the certificate the service gives for `email` is, as it would be stored, the one
/// already in `fileName` of the address's folder, so a download would change nothing; false
/// without asking the service when there is no such file. Holds the folder while it compares.
/// Raises the exchange's errors (a 404 included), CertificateFolderLock's, and
/// CheckReplaceableFile's for a link or an odd file in the certificate's place.
bool CertificateAlreadyInPlace(const std::string& fileName, const std::string& email,
                               const ServiceGet& get = DefaultServiceGet());

} // namespace cq
