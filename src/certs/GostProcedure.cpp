#include "certs/GostProcedure.h"

#include "base/Dialogs.h"
#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/KillPoint.h"
#include "base/StringUtil.h"
#include "base/Translate.h"
#include "certs/CertificateFolderLock.h"
#include "certs/InputRules.h"
#include "certs/PublicKeyAct.h"
#include "certs/Renewal.h"
#include "certs/RequestFolder.h"
#include "certs/RsaRequest.h"
#include "log/Log.h"
#include "settings/CertFolders.h"
#include "settings/EmailList.h"
#include "settings/SettingsValues.h"

#include <functional>
#include <optional>

namespace cq {
namespace {

TCertRequestParam RequestParam(const GostRequestForm& form) {
    TCertRequestParam param;
    param.ProvName = form.ProvName;
    param.ProvType = form.Info.ProvType;
    param.AlgId = form.Info.AlgId;
    param.HashAlgId = form.Info.HashAlgId;
    param.Container = form.Container;
    param.subject() = form.subject();
    return param;
}

std::string BytesOfHex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(HexDigitValue(hex[i]) * 16 + HexDigitValue(hex[i + 1]));
    return bytes;
}

/// A key file, a certificate or a record: an earlier request that a new one would replace.
bool HoldsEarlierRequest(const std::string& folder) {
    return FileExists(folder + kCertificateKeyFile) || FileExists(folder + kCertificateFile) ||
           FileExists(folder + kRequestRecordFile);
}

/// Asks before the request replaces the files of an earlier one: the working request's for a
/// new request, a pending renewal's for a renewal. False when the user keeps them.
bool MayReplaceEarlierRequest(const std::string& folder, RequestSet set) {
    if (set == RequestSet::Renewal)
        return !HoldsPendingRenewalFiles(folder) || AskYesNo(Tr(kReplacePendingRenewalQuestion));
    return !HoldsEarlierRequest(folder) || AskYesNo(Tr(kReplaceKeyQuestion));
}

/// The new container outlives a failed request; its name goes to the log, as the record that
/// would have named it went back to the older one.
void LogKeptContainer(const std::string& container) {
    WriteLog("Контейнер ключей \"" + container +
                 "\" создан, но запрос не отправлен; контейнер "
                 "оставлен.",
             LogKind::Stamped);
}

std::string WithNote(const std::string& text, const std::string& note) {
    return Trim(text).empty() ? note : text + " " + note;
}

/// Raises the error being handled again, of the same kind and with the same code, its text
/// followed by the kept container's name: the user's only way back to that container. An error
/// of another kind becomes an Exception with its text.
[[noreturn]] void RethrowNamingKeptContainer(const std::string& container) {
    LogKeptContainer(container);
    const std::string note = TrFormat("Контейнер ключей \"%1\" создан и оставлен.", {container});
    try {
        throw;
    } catch (const EIdHTTPProtocolException& error) {
        // Without a message of its own the error is described by its status line, which is
        // shown only when it is not one; the note must not hide it.
        const std::string& status = error.errorMessage();
        const bool statusShown = UpperCase(status.substr(0, 4)) != "HTTP";
        const std::string text = Trim(error.message()).empty() && statusShown
                                     ? WithNote(status, note)
                                     : WithNote(error.message(), note);
        throw EIdHTTPProtocolException(error.errorCode(), text, status);
    } catch (const EOSError& error) {
        throw EOSError(WithNote(error.message(), note), error.errorCode());
    } catch (const EZDecompressionError& error) {
        throw EZDecompressionError(WithNote(error.message(), note));
    } catch (const std::exception& error) {
        throw Exception(WithNote(error.what(), note));
    }
}

PublicKeyActValues ActValues(const GostRequestForm& form, const std::string& publicKey) {
    PublicKeyActValues values;
    // The act and the record get the subject trimmed.
    values.Subject = TrimmedSubject(form);
    values.Algorithm = Trim(form.ProvName);
    values.Container = Trim(form.Container);
    values.PublicKey = HexText(publicKey);
    values.Prefix = "?1?";
    values.Modulus = "?2?";
    values.Postfix = "?3?";
    values.Exponent = "?4?";
    return values;
}

} // namespace

void PutGostActAndRecord(RequestFolder& files, const std::string& folder,
                         const PublicKeyActValues& values, const Clock& clock,
                         PreparedFile* certificate, RequestSet set) {
    const bool renewal = set == RequestSet::Renewal;
    std::optional<PreparedFile> actFile;
    if (const std::optional<std::string> act = PublicKeyActText(kGostActTemplate, values, clock))
        actFile.emplace(renewal ? folder + kRenewalActFile
                                : PublicKeyActPath(folder, values.Subject.Email),
                        *act, FileAccess::Shared, AtLink::Refuse);
    const std::string recordPath = folder + (renewal ? kRenewalRecordFile : kRequestRecordFile);
    PreparedFile record(
        recordPath,
        GostRequestRecord(recordPath, values.Subject, values.Algorithm, values.Container)
            .Serialize(),
        FileAccess::Private, AtLink::Refuse);
    std::vector<RequestFilePut> puts;
    if (actFile)
        puts.push_back({KindInSet(RequestFile::Act, set), &*actFile});
    puts.push_back({KindInSet(RequestFile::Record, set), &record});
    if (certificate)
        puts.push_back({RequestFile::Certificate, certificate});
    files.Put(puts);
}

GostRequestForm GostFormFor(const RequestFields& fields) {
    GostRequestForm form;
    form.ProvName = fields.provider;
    form.Container = fields.container;
    form.subject() = fields.subject();
    return form;
}

GostRequestForm ChooseProvider(GostRequestForm form, const std::string& providerName, TimePoint now,
                               const provider::ProviderRegistry& registry) {
    if (const std::optional<ProviderEntry> entry = QualifyingProvider(registry, providerName)) {
        form.ProvName = entry->Name;
        form.Info = entry->Info;
        form.Container = GostContainerName(now);
        return form;
    }
    QualifyingProviders(registry); // raises kNoProviderText when no provider qualifies at all
    throw Exception(
        TrFormat("Крипто провайдер \"%1\" не установлен или не поддерживает ГОСТ Р 34.11-2012.",
                 {providerName}));
}

GostRequestMade MakeGostRequest(const GostRequestForm& form,
                                const provider::ProviderRegistry& registry,
                                const std::function<void()>& keyMade, std::string* container) {
    TCertRequestParam param = RequestParam(form);
    GostRequestMade made;
    made.RequestText = CreateGostRequest(param, registry, [&] {
        if (container)
            *container = param.Container;
        if (keyMade)
            keyMade();
    });
    made.PublicKey = BytesOfHex(param.PublicKey);
    made.Container = param.Container;
    return made;
}

GostProcedureOutcome RunGostProcedure(const GostRequestForm& form, const ServiceGet& get,
                                      const provider::ProviderRegistry& registry,
                                      const Clock& clock, std::string* container) {
    return RunGostProcedureAs(RequestSet::Working, form, get, registry, clock, container);
}

GostProcedureOutcome RunGostProcedureAs(RequestSet set, const GostRequestForm& form,
                                        const ServiceGet& get,
                                        const provider::ProviderRegistry& registry,
                                        const Clock& clock, std::string* container) {
    const bool renewal = set == RequestSet::Renewal;
    try {
        // Everything that can be checked is, before the folder is touched and a container made.
        if (const std::optional<std::string> refusal = AddressRefusal(form.Email))
            throw Exception(*refusal);
        CheckGostRequestParam(RequestParam(form), registry);
        const bool folderIsNew = !DirectoryExists(CertificateFolder(form.Email));
        // Held until the request is settled, so no other operation reads a half-made folder.
        const CertificateFolderLock held(form.Email, renewal
                                                         ? CertificateFolderLock::Missing::Leave
                                                         : CertificateFolderLock::Missing::Create);
        if (renewal)
            RequireWorkingCertificate(held.folder());
        const FolderMadeForRequest madeHere(held.folder(), folderIsNew && !renewal);
        const std::string actPath =
            RequestFilePath(held.folder(), KindInSet(RequestFile::Act, set));
        CheckReplaceableFile(renewal ? actPath : PublicKeyActPath(held.folder(), Trim(form.Email)));
        CheckReplaceableFile(RequestFilePath(held.folder(), KindInSet(RequestFile::Record, set)));
        if (!MayReplaceEarlierRequest(held.folder(), set))
            return GostProcedureOutcome::Declined;
        RequestFolder files;
        files.Begin(held.folder(), Trim(form.Container));
        KillPoint("gost-journal-started");
        bool keyMade = false;
        std::string email;
        std::string madeContainer = Trim(form.Container);
        try {
            const GostRequestMade made = MakeGostRequest(
                form, registry, [&] { keyMade = true; }, &madeContainer);
            KillPoint("gost-key-made");
            const std::string pem =
                made.RequestText.empty() ? std::string() : FrameGostRequest(made.RequestText);
            PublicKeyActValues values = ActValues(form, made.PublicKey);
            values.Container = Trim(made.Container);
            email = values.Subject.Email;
            files.nameContainer(values.Container);
            PutGostActAndRecord(files, held.folder(), values, clock, nullptr, set);
            SubmitRequest(Settings().UrlRequestGostCertificate, pem, get);
            KillPoint("gost-sent");
            files.Commit();
        } catch (...) {
            if (keyMade)
                RethrowNamingKeptContainer(Trim(madeContainer));
            throw;
        }
        if (container)
            *container = Trim(madeContainer);
        AddEmailToList(email);
        ShowInfoBox(Tr(renewal ? kRenewalSentText : kRequestSentText));
        return GostProcedureOutcome::Sent;
    } catch (const EOSError& error) {
        if (provider::HasCode(error, provider::code::kCancelled))
            return GostProcedureOutcome::Cancelled;
        throw;
    }
}

} // namespace cq
