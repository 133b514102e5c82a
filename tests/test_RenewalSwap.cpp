// The journal of a renewal's swap is data read from the disk: a planted or damaged one is
// refused whole, nothing it names is touched, and it stays for the user to look at. A swap the
// journal may carry out is finished or undone by the next operation.
#include "TestSupport.h"
#include "base/FileUtil.h"
#include "base/StringUtil.h"
#include "certs/Renewal.h"
#include "certs/RenewalState.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <unistd.h>

namespace cq {
namespace {

using test::ReadFile;
using test::WriteFile;

constexpr const char* kPrevious = "Previous-20261211-101010";

/// A certificate folder of a@b.ru with a working pair and a pending renewal, and a folder beside
/// it that the tool has no business touching.
class RenewalFolder {
public:
    RenewalFolder() {
        ForceDirectories(folder_);
        ForceDirectories(beside_);
        for (const char* name : {"Certificate.key", "Certificate.cer", "a@b.ru.rtf", "Request.ini",
                                 "Renewal.key", "Renewal.rtf", "Renewal.ini"})
            WriteFile(folder_ + name, std::string(name) + " bytes\n");
        WriteFile(beside_ + "notes.txt", "not the tool's\n");
    }
    const std::string& folder() const { return folder_; }
    const std::string& beside() const { return beside_; }

    /// Every entry under the top folder: files with their bytes, folders and links by kind.
    std::map<std::string, std::string> tree() const {
        std::map<std::string, std::string> entries;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.path())) {
            const std::string path = entry.path().string();
            entries[path] = entry.is_symlink()     ? "link"
                            : entry.is_directory() ? "folder"
                                                   : ReadFile(path);
        }
        return entries;
    }

private:
    test::TempDir dir_;
    std::string folder_ = dir_ / "a@b.ru/";
    std::string beside_ = dir_ / "V/";
};

std::string Journal(const std::string& state, const std::string& previous,
                    const std::string& lines) {
    return "state=" + state + "\nprevious=" + previous + "\n" + lines +
           "certificate=" + UpperHex("new certificate\r\n") + "\n";
}

/// The working files kept in the previous pair's folder, as the swap keeps them.
void KeepPreviousPair(const RenewalFolder& f) {
    ForceDirectories(f.folder() + kPrevious);
    for (const char* name : {"Certificate.key", "Certificate.cer", "a@b.ru.rtf", "Request.ini"})
        ASSERT_EQ(
            ::link((f.folder() + name).c_str(), (f.folder() + kPrevious + "/" + name).c_str()), 0);
}

const std::string kWholeSwap = "keep=Certificate.key\nkeep=Certificate.cer\nkeep=a@b.ru.rtf\n"
                               "keep=Request.ini\nplace=Renewal.key\nplace=Renewal.rtf\n"
                               "place=Renewal.ini\n";

TEST(RenewalSwapJournal, HostileJournalIsRefusedWholeAndNamedToTheUser) {
    struct Case {
        const char* what;
        std::string text;
        std::function<void(const RenewalFolder&)> plant = {};
    };
    const Case cases[] = {
        {"a previous folder climbing out", Journal("kept", "../V", kWholeSwap)},
        {"a previous folder with a path in its name",
         Journal("kept", std::string(kPrevious) + "/../../V", kWholeSwap)},
        {"a kept file outside the folder",
         Journal("prepared", kPrevious, "keep=../V/notes.txt\nplace=Renewal.ini\n")},
        {"a pending file kept as a working one",
         Journal("kept", kPrevious, "keep=Renewal.key\nplace=Renewal.ini\n")},
        {"a working file placed as a pending one",
         Journal("kept", kPrevious, "keep=Request.ini\nplace=Certificate.key\n")},
        {"a swap without the pending record",
         Journal("kept", kPrevious, "keep=Certificate.key\nplace=Renewal.key\n")},
        {"one file kept twice",
         Journal("kept", kPrevious, "keep=Request.ini\nkeep=Request.ini\nplace=Renewal.ini\n")},
        {"lines out of order", Journal("kept", kPrevious, "place=Renewal.ini\nkeep=Request.ini\n")},
        {"an unknown state", Journal("done", kPrevious, kWholeSwap)},
        {"a certificate that is not hex digits",
         "state=kept\nprevious=" + std::string(kPrevious) + "\n" + kWholeSwap + "certificate=zz\n"},
        {"a pending record that is a link", Journal("kept", kPrevious, kWholeSwap),
         [](const RenewalFolder& f) {
             KeepPreviousPair(f);
             ::unlink((f.folder() + kRenewalRecordFile).c_str());
             std::filesystem::create_symlink(f.beside() + "notes.txt",
                                             f.folder() + kRenewalRecordFile);
         }},
        {"a previous folder that is a link", Journal("prepared", kPrevious, kWholeSwap),
         [](const RenewalFolder& f) {
             std::filesystem::create_directory_symlink(f.beside(), f.folder() + kPrevious);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const RenewalFolder f;
        WriteFile(f.folder() + kRenewalJournalFile, c.text);
        if (c.plant)
            c.plant(f);
        const auto before = f.tree();
        const std::optional<std::string> refusal = RecoverInterruptedSwap(f.folder());
        ASSERT_TRUE(refusal);
        EXPECT_NE(refusal->find(f.folder() + kRenewalJournalFile), std::string::npos) << *refusal;
        EXPECT_EQ(f.tree(), before);
    }
}

// The journal the swap writes: before the previous pair is kept whole the swap is undone,
// after it the swap is finished, whatever of it was done already.
TEST(RenewalSwapJournal, SwapIsUndoneBeforeThePreviousPairIsKeptAndFinishedAfter) {
    struct Case {
        const char* what;
        const char* state;
        std::function<void(const RenewalFolder&)> doneAlready;
        bool swapped;
    };
    const Case cases[] = {
        {"nothing done yet", "prepared", [](const RenewalFolder&) {}, false},
        {"the previous pair half kept", "prepared",
         [](const RenewalFolder& f) {
             ForceDirectories(f.folder() + kPrevious);
             ASSERT_EQ(::link((f.folder() + "Request.ini").c_str(),
                              (f.folder() + kPrevious + "/Request.ini").c_str()),
                       0);
         },
         false},
        {"the previous pair kept", "kept", KeepPreviousPair, true},
        {"the key already in place", "kept",
         [](const RenewalFolder& f) {
             KeepPreviousPair(f);
             ASSERT_EQ(::rename((f.folder() + "Renewal.key").c_str(),
                                (f.folder() + "Certificate.key").c_str()),
                       0);
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const RenewalFolder f;
        const auto before = f.tree();
        WriteFile(f.folder() + kRenewalJournalFile, Journal(c.state, kPrevious, kWholeSwap));
        c.doneAlready(f);
        ASSERT_FALSE(RecoverInterruptedSwap(f.folder()));
        EXPECT_FALSE(FileExists(f.folder() + kRenewalJournalFile));
        if (!c.swapped) {
            EXPECT_EQ(f.tree(), before);
            continue;
        }
        EXPECT_EQ(ReadRenewalState(f.folder()), RenewalState::Issued);
        EXPECT_EQ(ReadFile(f.folder() + "Certificate.key"), "Renewal.key bytes\n");
        EXPECT_EQ(ReadFile(f.folder() + "a@b.ru.rtf"), "Renewal.rtf bytes\n");
        EXPECT_EQ(ReadFile(f.folder() + "Request.ini"), "Renewal.ini bytes\n");
        EXPECT_EQ(ReadFile(f.folder() + "Certificate.cer"), "new certificate\r\n");
        for (const char* name : {"Certificate.key", "Certificate.cer", "a@b.ru.rtf", "Request.ini"})
            EXPECT_EQ(ReadFile(f.folder() + kPrevious + "/" + name),
                      std::string(name) + " bytes\n");
    }
}

} // namespace
} // namespace cq
