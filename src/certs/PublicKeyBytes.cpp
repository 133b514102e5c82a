// Kept apart from the request builder: the DER reader and the DER writer both name an Element.
#include "base/Errors.h"
#include "certs/DerReader.h"
#include "certs/GostRequest.h"

namespace cq {

namespace {
constexpr uint8_t kBitString = 0x03;
} // namespace

std::string PublicKeyBytes(std::string_view publicKeyInfoDer) {
    der::Reader outer(publicKeyInfoDer);
    const auto info = outer.next(der::kSequence);
    if (info && outer.atEnd()) {
        der::Reader fields(info->content);
        const auto algorithm = fields.next(der::kSequence);
        const auto key = fields.next(kBitString);
        if (algorithm && key && fields.atEnd() && !key->content.empty() && key->content[0] == 0)
            return std::string(key->content.substr(1));
    }
    throw Exception("Неверная информация открытого ключа");
}

} // namespace cq
