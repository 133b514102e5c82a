// Arbitrary bytes as an ini file: parsing, reading every key and writing back must be safe.
#include "base/IniFile.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    cq::IniFile ini = cq::IniFile::Parse(bytes);
    for (const std::string& section : ini.Sections()) {
        for (const std::string& key : ini.Keys(section)) {
            (void)ini.ReadInteger(section, key, 0);
            (void)ini.ReadBool(section, key, false);
            (void)ini.ReadBinary(section, key);
        }
    }
    ini.WriteString("Cert", "Country", "ru");
    const cq::IniFile again = cq::IniFile::Parse(ini.Serialize());
    (void)again.Serialize();
    return 0;
}
