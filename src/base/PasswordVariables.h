#pragma once
// The environment variables through which passwords reach this program and the programs it
// starts. No child inherits them from our environment: a child that needs one is handed it by
// name when it is started (platform/Process.h).

namespace cq {

/// The key password of the command-line tool's commands.
inline constexpr const char* kPasswordVariable = "CERTQUORIX_PASSWORD";
/// The key password and the export password that the PKCS#12 conversion hands the openssl tool.
inline constexpr const char* kKeyPasswordVariable = "CQ_KEY_PASSWORD";
inline constexpr const char* kExportPasswordVariable = "CQ_EXPORT_PASSWORD";

/// The password of a software GOST key container.
inline constexpr const char* kContainerPasswordVariable = "CERTQUORIX_CONTAINER_PASSWORD";
/// The PIN of a token holding a GOST key.
inline constexpr const char* kTokenPinVariable = "CERTQUORIX_TOKEN_PIN";

/// Every variable above: a name added to this file belongs in this list too.
inline constexpr const char* kPasswordVariables[] = {kPasswordVariable, kKeyPasswordVariable,
                                                     kExportPasswordVariable,
                                                     kContainerPasswordVariable, kTokenPinVariable};

} // namespace cq
