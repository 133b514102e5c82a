// Arbitrary bytes as a request's journal: reading it must be safe, and whatever it accepts names
// only the folder's own files, each under the one name of its kind and at most once, a backup
// only as that file's own ".bak" or ".bak.N", and the new file it may remove by its inode.
#include "certs/RequestFolder.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <string_view>

namespace {

const std::string kFolder = "/home/user/.local/share/CertQuorix/a@b.ru/";

// Spelt out here rather than asked of the code under test.
const std::map<cq::RequestFile, std::string> kOwnNames = {
    {cq::RequestFile::Key, kFolder + "Certificate.key"},
    {cq::RequestFile::Act, kFolder + "a@b.ru.rtf"},
    {cq::RequestFile::Record, kFolder + "Request.ini"},
    {cq::RequestFile::Certificate, kFolder + "Certificate.cer"},
};

bool Digits(std::string_view text) {
    if (text.empty())
        return false;
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

bool OwnBackup(const std::string& path, const std::string& backup) {
    const std::string base = path + ".bak";
    return backup == base || (backup.starts_with(base + ".") &&
                              Digits(std::string_view(backup).substr(base.size() + 1)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string refusal;
    const std::optional<cq::RequestJournal> journal =
        cq::ParseRequestJournal(bytes, kFolder, &refusal);
    if (!journal) {
        if (refusal.empty())
            std::abort(); // a refused journal always says why
        return 0;
    }
    std::set<cq::RequestFile> kinds;
    for (const cq::ReplacedFile& file : journal->files) {
        const auto own = kOwnNames.find(file.kind);
        if (own == kOwnNames.end() || file.path != own->second)
            std::abort();
        if (!kinds.insert(file.kind).second)
            std::abort();
        if (!file.backup.empty() && !OwnBackup(file.path, file.backup))
            std::abort();
        if (!Digits(file.written))
            std::abort();
    }
    for (const char c : journal->container)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            std::abort();
    return 0;
}
