// An OpenSSL engine that loads and initialises but does no GOST: it offers SHA-256 under its own
// name and nothing else. The tests point CERTQUORIX_GOST_ENGINE at it, as a user might point it
// at the wrong engine; never installed.

// The engine interface is what OpenSSL 3 marks as deprecated; it is what is being tested.
#define OPENSSL_SUPPRESS_DEPRECATED

#include <openssl/engine.h>
#include <openssl/evp.h>

#include <string_view>

namespace {

constexpr const char* kId = "cq-not-gost";

int Digests(ENGINE*, const EVP_MD** digest, const int** nids, int nid) {
    static const int kNids[] = {NID_sha256};
    if (!digest) {
        *nids = kNids;
        return 1;
    }
    *digest = nid == NID_sha256 ? EVP_sha256() : nullptr;
    return *digest != nullptr;
}

int Init(ENGINE*) {
    return 1;
}

int Bind(ENGINE* engine, const char* id) {
    if (id && std::string_view(id) != kId)
        return 0;
    return ENGINE_set_id(engine, kId) &&
           ENGINE_set_name(engine, "CertQuorix test engine, no GOST") &&
           ENGINE_set_init_function(engine, Init) && ENGINE_set_digests(engine, Digests);
}

} // namespace

extern "C" {
IMPLEMENT_DYNAMIC_CHECK_FN()
IMPLEMENT_DYNAMIC_BIND_FN(Bind)
}
