// Arbitrary bytes as the settings file: what loading does with the file's contents (the binary
// check, parsing, reading every value, unscrambling both passwords, converting the clear-text
// request password and writing the file back) must be safe and keep its promises.
#include "base/Errors.h"
#include "base/TextCodec.h"
#include "settings/Scramble.h"
#include "settings/Settings.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

bool EndsWithSlash(const std::string& url) {
    return !url.empty() && url.back() == '/';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    cq::IniFile ini;
    try {
        ini = cq::ParseSettingsFile(bytes, "CertQuorix.ini");
    } catch (const cq::Exception&) {
        return 0; // binary data is refused with a report
    }
    cq::SavedSubject subject;
    cq::SettingsValues values;
    const bool changed = cq::ReadSettingsValues(ini, subject, values);
    Require(EndsWithSlash(values.UrlReceiveRSACertificate));
    Require(EndsWithSlash(values.UrlReceiveGostCertificate));
    Require(!values.UrlRequestRSACertificate.empty() && !values.RequestKey.empty());
    Require(cq::ToCp1251(values.ProxyPassword).size() <= cq::kMaxScrambledLength);
    if (changed) {
        // The converted file loads again to the same request password and needs no second write.
        cq::IniFile again = cq::IniFile::Parse(ini.Serialize());
        cq::SavedSubject subjectAgain;
        cq::SettingsValues valuesAgain;
        Require(!cq::ReadSettingsValues(again, subjectAgain, valuesAgain));
        Require(valuesAgain.RequestPassword == values.RequestPassword);
    }
    if (cq::CanScramble(values.ProxyPassword))
        Require(cq::UnscramblePassword(cq::ScramblePassword(values.ProxyPassword), "") ==
                values.ProxyPassword);
    return 0;
}
