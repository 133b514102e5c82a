// certquorix-pkcs11-probe MODULE: loads a PKCS#11 module and makes the calls the token
// providers make, in a process of its own, so that the program learns whether the module can
// be loaded in its own process without harm (provider/Pkcs11Probe.h). Exit status 0 when the
// calls came to their end; a crash or a hang is the module's.

#include "provider/Pkcs11Probe.h"

#include <sys/resource.h>

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    // A crashing module leaves no core file behind.
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    return cq::provider::ProbePkcs11ModuleHere(argv[1]);
}
