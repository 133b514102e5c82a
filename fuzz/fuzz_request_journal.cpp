// Arbitrary bytes as a request's journal: reading it must be safe, and whatever it accepts names
// only files of the folder to remove and only a file's own backups to bring back.
#include "certs/RequestFolder.h"

#include "base/FileUtil.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string folder = "/home/user/.local/share/CertQuorix/a@b.ru/";
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::optional<cq::RequestJournal> journal = cq::ParseRequestJournal(bytes, folder);
    if (!journal)
        return 0;
    for (const cq::ReplacedFile& file : journal->files) {
        if (file.path.empty())
            std::abort();
        if (file.backup.empty() && cq::ExtractFilePath(file.path) != folder)
            std::abort();
        if (!file.backup.empty() && !file.backup.starts_with(file.path + ".bak"))
            std::abort();
    }
    return 0;
}
