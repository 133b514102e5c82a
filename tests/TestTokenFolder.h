#pragma once
// The test token's folder (tests/token/TestToken.cpp): its settings, the removal flag and the
// objects on it, and the variable that points the module at it.

#include "TestSupport.h"

#include <map>
#include <string>

namespace cq::test {

/// The test token module built beside the tests.
inline const char* TestTokenModule() {
    return CQ_TEST_TOKEN_MODULE;
}

class TestTokenFolder {
public:
    /// A token with that label and model, PIN 1234, three tries; CQ_TEST_TOKEN_DIR points here
    /// until the object goes.
    explicit TestTokenFolder(const std::string& label = "Ivanov",
                             const std::string& model = "QX-2");
    ~TestTokenFolder();
    TestTokenFolder(const TestTokenFolder&) = delete;
    TestTokenFolder& operator=(const TestTokenFolder&) = delete;

    const std::string& path() const { return dir_.path(); }
    /// The variable's setting for a child process.
    std::string environment() const { return "CQ_TEST_TOKEN_DIR=" + dir_.path(); }
    void set(const std::string& key, const std::string& value);
    std::string get(const std::string& key) const;
    void remove();
    void insert();
    /// The token objects: each an attribute map (type -> value bytes).
    std::map<unsigned long, std::map<unsigned long, std::string>> objects() const;

private:
    std::map<std::string, std::string> read() const;
    TempDir dir_;
};

} // namespace cq::test
