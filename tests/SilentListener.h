#pragma once
// A loopback port that takes connections and never answers a byte: a service that hangs.

#include <string>
#include <vector>

namespace cq::test {

class SilentListener {
public:
    SilentListener();
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;

    int port() const { return port_; }
    /// "https://127.0.0.1:PORT" + path.
    std::string url(const std::string& path) const;
    /// Waits for the next client and keeps its connection open; false when none came.
    bool takeClient(int timeoutMs = 60000);

private:
    int listener_ = -1;
    int port_ = 0;
    std::vector<int> clients_;
};

} // namespace cq::test
