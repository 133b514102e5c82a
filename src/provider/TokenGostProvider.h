#pragma once
// GOST R 34.10-2012 keys on hardware tokens through PKCS#11: every token of the given modules
// that offers GOST key pair generation and signing becomes one provider (type 80, the GOST
// R 34.11-2012 256-bit hash). A key container is a key pair on the token labelled with the
// container's name; the PIN is asked through the token PIN hook; the hash is computed here and
// the token signs it (CKM_GOSTR3410).

#include "provider/CryptoProvider.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace cq::provider {

/// The variable naming one more module to look at.
inline constexpr const char* kPkcs11ModuleVariable = "CERTQUORIX_PKCS11_MODULE";
/// Section and key of the administrator's settings file listing module paths, ";" between them.
inline constexpr const char* kPkcs11Section = "GOST";
inline constexpr const char* kPkcs11ModulesKey = "Pkcs11Modules";

/// The algorithms a token provider lists.
inline constexpr uint32_t kTokenGostAlgorithms[] = {kAlgGost3411_2012_256, kAlgSha1};

/// The modules to look at: the administrator's list, the variable's module, the OpenSC module
/// where it is installed; each path once, in that order.
std::vector<std::string> ConfiguredPkcs11Modules();

class Pkcs11Module;
/// Loads a module (raises Exception saying why it cannot).
using Pkcs11ModuleLoader = std::function<std::shared_ptr<Pkcs11Module>(const std::string& path)>;

/// A module loaded once for the process and kept loaded: looking for tokens again reuses it.
std::shared_ptr<Pkcs11Module> KeptPkcs11Module(const std::string& path);

/// One provider per GOST-capable token of the modules, in module and slot order. A module that
/// does not load, or holds no such token, is left out and `note` is told why; `fault` is told
/// too when the module itself failed (it does not load, or it answers what cannot be right).
/// `load` loads each module (by default afresh, finalised when its last provider goes).
std::vector<std::shared_ptr<CryptoProvider>>
TokenGostProviders(const std::vector<std::string>& modulePaths,
                   const std::function<void(const std::string&)>& note,
                   const Pkcs11ModuleLoader& load = {},
                   const std::function<void(const std::string&)>& fault = {});

} // namespace cq::provider
