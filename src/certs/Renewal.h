#pragma once
// Renewal of an address's certificate before it ends, without a day when the address has no
// working pair: the new key and request are made with the subject of the working request and
// kept as a pending renewal beside the working files (RenewalState.h names them), which stay
// usable for check and export the whole time. The download of the certificate issued for the
// pending key swaps it in as one unit: the pending key, act and record with the new certificate
// become the working ones, and the previous working files move into a dated folder.

#include "base/Clock.h"
#include "base/SubjectData.h"
#include "base/Translate.h"
#include "certs/GostProcedure.h"
#include "certs/RenewalState.h"
#include "certs/Submission.h"
#include "provider/ProviderRegistry.h"

#include <optional>
#include <string>
#include <string_view>

namespace cq {

/// Refusal of a renewal for an address whose folder holds no working certificate.
inline constexpr const char* kNoWorkingCertificateText =
    TrMark("Продлевать нечего: для этого адреса нет рабочего сертификата. Сначала отправьте запрос "
           "и получите сертификат.");

/// Asked before a new renewal replaces one that is still pending.
inline constexpr const char* kReplacePendingRenewalQuestion =
    TrMark("Запрос на продление сертификата уже отправлен, и сертификат по нему ещё не получен.\r\n"
           "Ключ этого запроса будет заменён новым (рабочий сертификат и его ключ не изменятся); "
           "сертификат, выпущенный по прежнему запросу на продление, станет не рабочим.\r\n"
           "Продолжать все равно?");

/// Shown after an accepted renewal, RSA and GOST alike.
inline constexpr const char* kRenewalSentText = TrMark(
    "Запрос на продление сертификата успешно отправлен.\r\n\r\nСообщите об этом вашему "
    "менеджеру, он вас уведомит о готовности сертификата.\r\nПосле этого зайдите на вкладку "
    "\"Получение сертификата\" и скачайте его.\r\n\r\nДо получения нового сертификата рабочий "
    "сертификат и его ключ остаются в силе.");

/// The working request of an address, as its record (Request.ini) keeps it: what a renewal
/// repeats unless told otherwise.
struct WorkingRequest {
    SubjectFields Subject;
    bool Gost = false;
    std::string ProvName; ///< the GOST provider that keeps the working key
};

/// The working request of `email` (trimmed by the caller). Raises Exception (BadInput) with
/// kNoWorkingCertificateText when the folder holds no working certificate or no record, and
/// the record's errors when it cannot be read.
WorkingRequest ReadWorkingRequest(const std::string& email);

/// Raises Exception (BadInput) with kNoWorkingCertificateText when the folder `folder` (with its
/// trailing delimiter) holds no working certificate (Certificate.cer) or no record; a link or an
/// odd file in either place is refused (EOSError), never read through.
void RequireWorkingCertificate(const std::string& folder);

/// True when any file of a pending renewal (Renewal.key, Renewal.rtf, Renewal.ini) is in the
/// folder `folder` (with its trailing delimiter), whole or left by an interrupted run.
bool HoldsPendingRenewalFiles(const std::string& folder);

/// The RSA renewal: the request of RequestRsaCertificate for `subject`, its key, act and record
/// written as Renewal.key, Renewal.rtf and Renewal.ini, never over the working files. Refused
/// (reported, false) when the folder holds no working certificate; asks
/// kReplacePendingRenewalQuestion before replacing a pending renewal (`declined` set when the
/// user keeps it). Once accepted the address is in the e-mail list and kRenewalSentText is
/// shown. Failures are reported under "Продление сертификата" and leave the folder as it was.
/// Never raises.
bool RenewRsaCertificate(const SubjectData& subject, const ServiceGet& get = DefaultServiceGet(),
                         bool* declined = nullptr);

/// The GOST renewal: RunGostProcedure with the renewal's files, the act as Renewal.rtf and the
/// record naming the new container as Renewal.ini; the working container is never touched.
/// Raises Exception (BadInput) with kNoWorkingCertificateText before anything is made when the
/// folder holds no working certificate; otherwise as RunGostProcedure (Declined when a pending
/// renewal is kept).
GostProcedureOutcome
RenewGostCertificate(const GostRequestForm& form, const ServiceGet& get = DefaultServiceGet(),
                     const provider::ProviderRegistry& registry = provider::InstalledProviders(),
                     const Clock& clock = SystemClock(), std::string* container = nullptr);

/// What cancelling a renewal found.
enum class CancelOutcome {
    Cancelled,     ///< the pending files (and the pending GOST container) are gone
    NothingPending ///< the folder holds no pending renewal; nothing changed
};

/// Removes the pending renewal of `email` under the folder's lock: Renewal.ini first (the
/// folder is no longer pending from then on), then Renewal.rtf and Renewal.key. The working
/// files are never touched. A key container is never deleted (it may be the only copy of a key
/// a certificate was issued for): the one the pending record names goes to `keptContainer` and
/// the log. Raises the lock's errors and EOSError for a link or an odd file in the place of a
/// pending file.
CancelOutcome CancelRenewal(const std::string& email, std::string* keptContainer = nullptr);

/// Which request a downloaded certificate answers.
enum class CertificateAnswer {
    Working, ///< the key of the working request: a pending renewal is not issued yet
    Pending, ///< the key of the pending renewal: it is swapped in
    Neither, ///< a key the folder shows nowhere: kept aside, reported
    Unknown  ///< the folder shows no key to tell by
};

/// How the certificate text fits the keys the folder `folder` (with its trailing delimiter) of
/// `email` shows in its acts. Never raises.
CertificateAnswer WhichRequestAnswered(const std::string& folder, const std::string& email,
                                       std::string_view certificateText);

/// Puts the certificate of the pending renewal (its file text) in place with the pending files,
/// as one unit, in the certificate folder `folder` (with its trailing delimiter), held by the
/// caller: Renewal.key, Renewal.rtf and Renewal.ini become Certificate.key, the act and
/// Request.ini, the certificate becomes Certificate.cer, and the previous working files move
/// into "Previous-YYYYMMDD-hhmmss" (the clock's local time) in the folder. A journal in the
/// folder lets the next operation finish or undo a swap killed at any point
/// (RecoverInterruptedSwap). Returns the previous pair's folder (with its trailing delimiter).
/// Raises EOSError for a link or an odd file in the place of any of the files, and the file
/// system's errors (the folder is then as before).
std::string SwapInRenewal(const std::string& folder, const std::string& certificateText,
                          const Clock& clock = SystemClock());

/// The journal of a swap under way, in its certificate folder.
inline constexpr const char* kRenewalJournalFile = ".renewal-journal";

/// Finishes (once the previous pair is kept whole) or undoes (before) the swap a killed run
/// left in `folder` by its journal. Called under the folder's lock, beside
/// RecoverInterruptedRequest, and with its contract: nothing without a journal; a journal that
/// is refused or could not be carried out stays, and the result is the message for the user.
/// Never raises.
[[nodiscard]] std::optional<std::string> RecoverInterruptedSwap(const std::string& folder) noexcept;

} // namespace cq
