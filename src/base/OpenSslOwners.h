#pragma once
// Owners for OpenSSL objects, shared by every unit that calls OpenSSL, and the drain of
// OpenSSL's error queue into the texts of the errors those units raise. Included by .cpp files
// only.

#include <memory>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <string>

namespace cq::ssl {

/// A unique_ptr deleter calling OpenSSL's free function for the type.
template <auto Free> struct Deleter {
    template <class T> void operator()(T* object) const { Free(object); }
};

using Bio = std::unique_ptr<BIO, Deleter<BIO_free_all>>;
using PrivateKey = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using Certificate = std::unique_ptr<X509, Deleter<X509_free>>;

/// Empties OpenSSL's error queue of this thread and returns its entries as one text, joined by
/// "; " ("" when the queue was empty).
std::string DrainErrors();

} // namespace cq::ssl
