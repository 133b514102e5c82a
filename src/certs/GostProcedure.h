#pragma once
// The GOST request procedure behind the start button of the request tab, as one operation the
// window and the command-line tool call: the request made in the chosen provider's new
// container, the act and the request record in the certificate folder, the submission, the
// e-mail list and the success message.

#include "base/Clock.h"
#include "certs/GostRequest.h"
#include "certs/RequestFolder.h"
#include "certs/Submission.h"

#include <functional>
#include <string>

namespace cq {

struct RequestFields;
class PreparedFile;
struct PublicKeyActValues;

/// The GOST controls and the subject edits as they stand (untrimmed).
struct GostRequestForm : SubjectFields {
    std::string ProvName;  ///< the provider list's text
    TProvInfo Info;        ///< the selected entry's TProvInfo
    std::string Container; ///< the container field's text
};

/// The form as the request fields hold it, subject texts untrimmed; the provider entry's
/// TProvInfo is the caller's to set.
GostRequestForm GostFormFor(const RequestFields& fields);

/// The act and the GOST request record of `values` (and a prepared certificate, when the key
/// comes with one) put into `folder` as one unit, not yet settled: the caller commits `files`
/// once the request stands; dropped unsettled, older files come back and new ones go. A
/// renewal's (`set`) act and record are Renewal.rtf and Renewal.ini.
void PutGostActAndRecord(RequestFolder& files, const std::string& folder,
                         const PublicKeyActValues& values, const Clock& clock,
                         PreparedFile* certificate = nullptr, RequestSet set = RequestSet::Working);

/// The form of a fresh provider selection: the first qualifying provider (or the one named)
/// and a new container name from the clock. Raises Exception with kNoProviderText when no
/// provider qualifies, and Exception naming the provider when the named one is not among them.
GostRequestForm
ChooseProvider(GostRequestForm form, const std::string& providerName, TimePoint now,
               const provider::ProviderRegistry& registry = provider::InstalledProviders());

/// The request and the public key's bytes for the form (the subject as typed); `keyMade` as
/// CreateGostRequest calls it.
struct GostRequestMade {
    std::string RequestText; ///< Base64 with its line ends, "" when no bytes came out
    std::string PublicKey;   ///< the public key's bytes
    std::string Container;   ///< the name the container got
};
/// `container`, when given, gets the container's name as soon as it holds its key.
GostRequestMade
MakeGostRequest(const GostRequestForm& form,
                const provider::ProviderRegistry& registry = provider::InstalledProviders(),
                const std::function<void()>& keyMade = {}, std::string* container = nullptr);

enum class GostProcedureOutcome {
    Sent,      ///< accepted by the service; the address is in the list, the message shown
    Cancelled, ///< the user cancelled the provider's dialog; nothing written, nothing shown
    Declined   ///< the folder holds an earlier request and its replacement was declined
};

/// Runs the procedure: the address, the subject, the algorithm and the folder's files checked
/// and the certificate folder of the trimmed address held before anything is made; request in a
/// new container, PEM framing, the act "PublicKeyAct Gost.rtf" and Request.ini (trimmed texts,
/// provider and container names) put in place together, the submission to
/// UrlRequestGostCertificate, AddEmailToList and the success message. A cancelled provider
/// dialog (0x8010006E) gives Cancelled; every other error is raised for the caller's
/// application-wide handler. The container stays whatever happens afterwards, and an error
/// raised once it holds its key names it in its text and in the log; a failed sending puts an
/// older act and record back (a first request's go, and so does the folder made for it).
/// The container gets the form's name unless another run took it meanwhile, then the first free
/// one after it (StoreNewContainerUnderFreeName); `container`, when given, gets the name made.
GostProcedureOutcome
RunGostProcedure(const GostRequestForm& form, const ServiceGet& get = DefaultServiceGet(),
                 const provider::ProviderRegistry& registry = provider::InstalledProviders(),
                 const Clock& clock = SystemClock(), std::string* container = nullptr);

/// RunGostProcedure writing the files of `set`. A renewal holds an existing folder only,
/// refuses one without a working certificate (RequireWorkingCertificate) before a container is
/// made, writes the pending act and record, asks before a pending renewal is replaced and shows
/// kRenewalSentText once accepted; the working container and files are never touched.
GostProcedureOutcome RunGostProcedureAs(RequestSet set, const GostRequestForm& form,
                                        const ServiceGet& get,
                                        const provider::ProviderRegistry& registry,
                                        const Clock& clock, std::string* container);

} // namespace cq
