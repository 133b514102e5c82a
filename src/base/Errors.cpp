#include "base/Errors.h"

#include <cstring>
#include <cxxabi.h>
#include <memory>
#include <typeinfo>

namespace cq {

std::string ClassNameOf(const std::exception& error) {
    if (const auto* own = dynamic_cast<const Exception*>(&error))
        return own->className();
    int status = 0;
    const char* mangled = typeid(error).name();
    std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
    return status == 0 && demangled ? demangled.get() : mangled;
}

std::string SystemErrorMessage(int code) {
    char buffer[256];
    return strerror_r(code, buffer, sizeof buffer);
}

EOSError MakeOSError(int code, const std::string& context) {
    std::string prefix = context.empty() ? std::string() : context + " : ";
    if (code == 0)
        return EOSError(prefix + "A call to an OS function failed", 0);
    std::string message = "System Error.  Code: " + std::to_string(code) + ".\r\n" + prefix +
                          SystemErrorMessage(code);
    return EOSError(message, code);
}

} // namespace cq
