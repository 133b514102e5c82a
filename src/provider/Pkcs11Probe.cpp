#include "provider/Pkcs11Probe.h"

#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/IniFile.h"
#include "base/ProgramInfo.h"
#include "base/StringUtil.h"
#include "base/Translate.h"
#include "platform/Process.h"
#include "provider/Pkcs11Module.h"
#include "provider/TokenGostProvider.h"

#include <sys/stat.h>

#include <cstring>
#include <map>
#include <mutex>
#include <optional>

namespace cq::provider {
namespace {

constexpr const char* kVerdictKey = "Verdict";
constexpr const char* kFileKey = "File";
constexpr const char* kPathKey = "Path";
constexpr const char* kReasonKey = "Reason";
constexpr const char* kHarmless = "harmless";
constexpr const char* kRefused = "refused";

std::mutex probeMutex;
std::string probeProgram;

struct Verdict {
    std::string file;   ///< the identity of the file it was given for
    std::string reason; ///< "" for a harmless module
};

/// Verdicts given in this process, by module path.
std::map<std::string, Verdict>& GivenVerdicts() {
    static auto& given = *new std::map<std::string, Verdict>();
    return given;
}

/// What tells this file apart from a changed or replaced one; "" when it cannot be read.
std::string FileIdentity(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino) + ":" +
           std::to_string(info.st_size) + ":" + std::to_string(info.st_mtim.tv_sec) + "." +
           std::to_string(info.st_mtim.tv_nsec) + ":" + std::to_string(info.st_ctim.tv_sec) + "." +
           std::to_string(info.st_ctim.tv_nsec);
}

/// The section of a module in the verdict file: its path in hex, so that no character of a
/// path can break the file's lines.
std::string SectionOf(const std::string& path) {
    return "Module " + UpperHex(path);
}

std::optional<Verdict> RememberedVerdict(const std::string& path, const std::string& file) {
    if (const auto given = GivenVerdicts().find(path);
        given != GivenVerdicts().end() && given->second.file == file)
        return given->second;
    try {
        const IniFile remembered = IniFile::Load(Pkcs11VerdictFile());
        const std::string section = SectionOf(path);
        const std::string verdict = remembered.ReadString(section, kVerdictKey);
        if (remembered.ReadString(section, kFileKey) != file ||
            (verdict != kHarmless && verdict != kRefused))
            return std::nullopt;
        Verdict found{file, verdict == kHarmless ? "" : remembered.ReadString(section, kReasonKey)};
        if (verdict == kRefused && found.reason.empty())
            return std::nullopt;
        return found;
    } catch (const std::exception&) {
        return std::nullopt; // no file yet, or one that cannot be read: the module is probed
    }
}

void Remember(const std::string& path, const Verdict& verdict) {
    GivenVerdicts()[path] = verdict;
    try {
        const std::string fileName = Pkcs11VerdictFile();
        ForceDirectories(ExtractFilePath(fileName), kPrivateFolderMode);
        IniFile remembered;
        try {
            remembered = IniFile::Load(fileName);
        } catch (const std::exception&) {
            // A damaged or missing file is started afresh.
        }
        const std::string section = SectionOf(path);
        remembered.WriteString(section, kPathKey, path);
        remembered.WriteString(section, kFileKey, verdict.file);
        remembered.WriteString(section, kVerdictKey, verdict.reason.empty() ? kHarmless : kRefused);
        remembered.WriteString(section, kReasonKey, verdict.reason);
        remembered.Save(fileName);
    } catch (const std::exception&) {
        // Not remembered: the module is probed again next time.
    }
}

std::string ProbeProgram() {
    return probeProgram.empty() ? ProgramFolder() + kPkcs11ProbeProgramName : probeProgram;
}

std::string SignalName(int signal) {
    const char* name = ::sigabbrev_np(signal);
    return name ? std::string("SIG") + name : std::to_string(signal);
}

struct ProbeOutcome {
    std::string reason;      ///< "" when the module came through
    bool aboutModule = true; ///< false when the probe itself could not run
};

ProbeOutcome Probe(const std::string& path) {
    const std::string program = ProbeProgram();
    if (!IsExecutableFile(program))
        return {TrFormat("не найдена программа проверки модулей %1", {program}), false};
    std::optional<int> status;
    try {
        status = RunWithTimeLimit({program, path}, kPkcs11ProbeTimeLimit);
    } catch (const std::exception& error) {
        return {
            TrFormat("не запускается программа проверки модулей %1: %2", {program, error.what()}),
            false};
    }
    // A verdict on the module is kept in the verdict file, so its words stay the same whatever
    // the user's language.
    const std::string where = "при пробном вызове в отдельном процессе ";
    if (!status)
        return {where + "не ответил за " + std::to_string(kPkcs11ProbeTimeLimit.count()) + " с"};
    if (*status > 128)
        return {where + "завершился аварийно (" + SignalName(*status - 128) + ")"};
    if (*status != 0)
        return {where + "завершил процесс с кодом " + std::to_string(*status)};
    return {};
}

bool Offers(CK_FUNCTION_LIST& functions, CK_SLOT_ID slot, CK_MECHANISM_TYPE mechanism) {
    CK_MECHANISM_INFO info{};
    return functions.C_GetMechanismInfo(slot, mechanism, &info) == CKR_OK;
}

} // namespace

int ProbePkcs11ModuleHere(const std::string& path) {
    try {
        const std::shared_ptr<Pkcs11Module> module = Pkcs11Module::Load(path);
        CK_FUNCTION_LIST& functions = module->functions();
        for (const CK_SLOT_ID slot : module->slotsWithToken()) {
            CK_TOKEN_INFO info{};
            if (functions.C_GetTokenInfo(slot, &info) != CKR_OK)
                continue;
            Offers(functions, slot, CKM_GOSTR3410_KEY_PAIR_GEN);
            Offers(functions, slot, CKM_GOSTR3410);
        }
    } catch (const std::exception&) {
        // A refusal in words is safe: the program meets the same refusal when it loads the
        // module itself.
    }
    return 0;
}

std::string VetPkcs11Module(const std::string& path) {
    const std::lock_guard<std::mutex> lock(probeMutex);
    // A name the loader looks up in the library folders has no file to tell: it is probed each
    // time.
    const std::string file = FileIdentity(path);
    if (!file.empty())
        if (const std::optional<Verdict> known = RememberedVerdict(path, file))
            return known->reason;
    const ProbeOutcome outcome = Probe(path);
    // A probe that could not run says nothing of the module: it is asked again next time.
    if (!file.empty() && outcome.aboutModule)
        Remember(path, {file, outcome.reason});
    return outcome.reason;
}

std::shared_ptr<Pkcs11Module> VettedPkcs11Module(const std::string& path) {
    if (const std::string reason = VetPkcs11Module(path); !reason.empty())
        throw Exception(reason);
    return KeptPkcs11Module(path);
}

std::string Pkcs11VerdictFile() {
    return UserDataFolder() + "CertQuorix/Pkcs11Modules.ini";
}

void SetPkcs11ProbeProgram(const std::string& path) {
    const std::lock_guard<std::mutex> lock(probeMutex);
    probeProgram = path;
}

} // namespace cq::provider
