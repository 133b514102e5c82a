#pragma once
// Proving a PKCS#11 module harmless before this process calls it. A module is foreign code: one
// that crashes, aborts or never returns would take the whole program with it. So a small
// program of ours (certquorix-pkcs11-probe, beside the program) first loads the module in a
// process of its own and makes the calls the token providers make; a module that ends that
// process or keeps it busy past the time limit is not loaded here. The verdict is remembered in
// the user's data folder for the module file as it is (device, inode, size, modification and
// change times) and asked again once the file changes.

#include <chrono>
#include <memory>
#include <string>

namespace cq::provider {

class Pkcs11Module;

inline constexpr const char* kPkcs11ProbeProgramName = "certquorix-pkcs11-probe";
/// How long the probe may take: a module that starts a card reader daemon needs a few seconds.
inline constexpr std::chrono::seconds kPkcs11ProbeTimeLimit{10};

/// The probe's own work, in its own process: loads the module, lists its tokens and their GOST
/// mechanisms as the providers do, and lets it go. A module that refuses cleanly is no danger;
/// the status is 0 whenever the work comes to its end.
int ProbePkcs11ModuleHere(const std::string& path);

/// "" when the module may be loaded in this process, otherwise why not, in the user's words.
std::string VetPkcs11Module(const std::string& path);

/// The module once vetted, loaded once for the process (KeptPkcs11Module); raises Exception
/// saying why it is not used.
std::shared_ptr<Pkcs11Module> VettedPkcs11Module(const std::string& path);

/// The file the verdicts are remembered in.
std::string Pkcs11VerdictFile();

/// Names the probe program (tests); "" returns to the one beside the program.
void SetPkcs11ProbeProgram(const std::string& path);

} // namespace cq::provider
