#pragma once

#include <string>

namespace cq {

/// The subject of an RSA request as the window (or the command line) hands it on.
struct SubjectData {
    std::string Country;
    std::string State;
    std::string Locality;
    std::string Organization;
    std::string OrganizUnit;
    std::string CommonName;
    std::string Email;
    std::string Password;
    bool OpenPassw = false;
};

} // namespace cq
