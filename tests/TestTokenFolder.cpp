#include "TestTokenFolder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace cq::test {

TestTokenFolder::TestTokenFolder(const std::string& label, const std::string& model) {
    WriteFile(dir_ / "token.conf", "label=" + label + "\nmodel=" + model +
                                       "\nserial=0001\npin=1234\ntries=3\nmaxtries=3\n");
    ::setenv("CQ_TEST_TOKEN_DIR", dir_.path().c_str(), 1);
}

TestTokenFolder::~TestTokenFolder() {
    ::unsetenv("CQ_TEST_TOKEN_DIR");
}

std::map<std::string, std::string> TestTokenFolder::read() const {
    std::map<std::string, std::string> conf;
    std::istringstream in(ReadFile(dir_ / "token.conf"));
    std::string line;
    while (std::getline(in, line))
        if (const size_t eq = line.find('='); eq != std::string::npos)
            conf[line.substr(0, eq)] = line.substr(eq + 1);
    return conf;
}

void TestTokenFolder::set(const std::string& key, const std::string& value) {
    std::map<std::string, std::string> conf = read();
    conf[key] = value;
    std::string text;
    for (const auto& [name, setting] : conf)
        text += name + "=" + setting + "\n";
    WriteFile(dir_ / "token.conf", text);
}

std::string TestTokenFolder::get(const std::string& key) const {
    const auto conf = read();
    const auto found = conf.find(key);
    return found == conf.end() ? "" : found->second;
}

void TestTokenFolder::remove() {
    WriteFile(dir_ / "removed", "\n");
}

void TestTokenFolder::insert() {
    std::filesystem::remove(dir_ / "removed");
}

std::map<unsigned long, std::map<unsigned long, std::string>> TestTokenFolder::objects() const {
    std::map<unsigned long, std::map<unsigned long, std::string>> all;
    if (!std::filesystem::is_directory(dir_ / "objects"))
        return all;
    for (const auto& entry : std::filesystem::directory_iterator(dir_ / "objects")) {
        std::ifstream in(entry.path());
        std::string type, value;
        auto& object = all[std::stoul(entry.path().filename().string())];
        while (in >> type >> value) {
            std::string bytes;
            for (size_t i = 0; value != "-" && i + 1 < value.size(); i += 2)
                bytes += static_cast<char>(std::stoi(value.substr(i, 2), nullptr, 16));
            object[std::stoul(type, nullptr, 16)] = bytes;
        }
    }
    return all;
}

} // namespace cq::test
