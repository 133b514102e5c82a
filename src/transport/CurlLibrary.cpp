// The HTTP library is loaded by the first request, not by the program's start: linked directly,
// it brings some twenty libraries of its own (TLS, Kerberos, LDAP, SSH, IDN) into every run,
// which costs the window's start-up time and memory even when the run never talks to the
// service. The program is not linked with it; these definitions of the few functions the
// exchange uses open the library on first use and hand each call to it. Where the library
// cannot be opened, the calls fail the way the library reports a failure (no handle, or
// CURLE_FAILED_INIT), and the exchange reports that.

#include "base/Translate.h"

#include <curl/curl.h>

#include <dlfcn.h>

#include <cstdarg>
#include <mutex>
#include <string>

namespace {

constexpr const char* kLibraryName = "libcurl.so.4";

struct CurlFunctions {
    CURLcode (*globalInit)(long) = nullptr;
    CURL* (*easyInit)() = nullptr;
    void (*easyCleanup)(CURL*) = nullptr;
    void (*easyReset)(CURL*) = nullptr;
    CURLcode (*easyPerform)(CURL*) = nullptr;
    CURLcode (*easySetopt)(CURL*, CURLoption, ...) = nullptr;
    CURLcode (*easyGetinfo)(CURL*, CURLINFO, ...) = nullptr;
    const char* (*easyStrerror)(CURLcode) = nullptr;
    curl_slist* (*slistAppend)(curl_slist*, const char*) = nullptr;
    void (*slistFreeAll)(curl_slist*) = nullptr;
    bool loaded = false;
};

template <typename F> void Take(void* library, const char* name, F& function) {
    function = reinterpret_cast<F>(dlsym(library, name));
}

CurlFunctions Load() {
    CurlFunctions functions;
    void* library = dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return functions;
    Take(library, "curl_global_init", functions.globalInit);
    Take(library, "curl_easy_init", functions.easyInit);
    Take(library, "curl_easy_cleanup", functions.easyCleanup);
    Take(library, "curl_easy_reset", functions.easyReset);
    Take(library, "curl_easy_perform", functions.easyPerform);
    Take(library, "curl_easy_setopt", functions.easySetopt);
    Take(library, "curl_easy_getinfo", functions.easyGetinfo);
    Take(library, "curl_easy_strerror", functions.easyStrerror);
    Take(library, "curl_slist_append", functions.slistAppend);
    Take(library, "curl_slist_free_all", functions.slistFreeAll);
    functions.loaded = functions.globalInit && functions.easyInit && functions.easyCleanup &&
                       functions.easyReset && functions.easyPerform && functions.easySetopt &&
                       functions.easyGetinfo && functions.easyStrerror && functions.slistAppend &&
                       functions.slistFreeAll;
    return functions; // the library stays open to the end of the run
}

const CurlFunctions& Curl() {
    static const CurlFunctions functions = Load();
    return functions;
}

// The type of an option's argument follows from the option's number, as the library defines it.
enum class ArgumentKind { Long, Pointer, Function, Offset };

ArgumentKind KindOf(CURLoption option) {
    if (option < CURLOPTTYPE_OBJECTPOINT)
        return ArgumentKind::Long;
    if (option < CURLOPTTYPE_FUNCTIONPOINT)
        return ArgumentKind::Pointer;
    if (option < CURLOPTTYPE_OFF_T)
        return ArgumentKind::Function;
    if (option < CURLOPTTYPE_BLOB)
        return ArgumentKind::Offset;
    return ArgumentKind::Pointer;
}

} // namespace

extern "C" {

CURLcode curl_global_init(long flags) {
    return Curl().loaded ? Curl().globalInit(flags) : CURLE_FAILED_INIT;
}

CURL* curl_easy_init() {
    return Curl().loaded ? Curl().easyInit() : nullptr;
}

void curl_easy_cleanup(CURL* handle) {
    if (Curl().loaded)
        Curl().easyCleanup(handle);
}

void curl_easy_reset(CURL* handle) {
    if (Curl().loaded)
        Curl().easyReset(handle);
}

CURLcode curl_easy_perform(CURL* handle) {
    return Curl().loaded ? Curl().easyPerform(handle) : CURLE_FAILED_INIT;
}

// These two keep libcurl's own declarations, whose last named parameter is an enumeration: clang
// warns that va_start after an enumeration is undefined in the standard's words, though on this
// ABI the enumeration is an int passed as one, as libcurl itself relies on.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wvarargs"
#endif
CURLcode curl_easy_setopt(CURL* handle, CURLoption option, ...) {
    if (!Curl().loaded)
        return CURLE_FAILED_INIT;
    va_list arguments;
    va_start(arguments, option);
    CURLcode result = CURLE_OK;
    switch (KindOf(option)) {
    case ArgumentKind::Long:
        result = Curl().easySetopt(handle, option, va_arg(arguments, long));
        break;
    case ArgumentKind::Pointer:
        result = Curl().easySetopt(handle, option, va_arg(arguments, void*));
        break;
    case ArgumentKind::Function:
        result = Curl().easySetopt(handle, option, va_arg(arguments, void (*)()));
        break;
    case ArgumentKind::Offset:
        result = Curl().easySetopt(handle, option, va_arg(arguments, curl_off_t));
        break;
    }
    va_end(arguments);
    return result;
}

CURLcode curl_easy_getinfo(CURL* handle, CURLINFO info, ...) {
    if (!Curl().loaded)
        return CURLE_FAILED_INIT;
    va_list arguments;
    va_start(arguments, info);
    void* out = va_arg(arguments, void*); // every query writes through one pointer
    va_end(arguments);
    return Curl().easyGetinfo(handle, info, out);
}
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

const char* curl_easy_strerror(CURLcode code) {
    if (Curl().loaded)
        return Curl().easyStrerror(code);
    // The library's own texts are static; this one lives until the thread's next call.
    thread_local std::string missing;
    missing = cq::Tr("библиотека HTTP (libcurl) не загружена");
    return missing.c_str();
}

curl_slist* curl_slist_append(curl_slist* list, const char* text) {
    return Curl().loaded ? Curl().slistAppend(list, text) : nullptr;
}

void curl_slist_free_all(curl_slist* list) {
    if (Curl().loaded)
        Curl().slistFreeAll(list);
}

} // extern "C"
