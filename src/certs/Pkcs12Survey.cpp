#include "certs/Pkcs12Survey.h"

#include "base/Errors.h"
#include "base/Translate.h"

#include <openssl/err.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <climits>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace cq {
namespace {

struct FreeSafes {
    void operator()(STACK_OF(PKCS7) * safes) const { sk_PKCS7_pop_free(safes, PKCS7_free); }
};
struct FreeBags {
    void operator()(STACK_OF(PKCS12_SAFEBAG) * bags) const {
        sk_PKCS12_SAFEBAG_pop_free(bags, PKCS12_SAFEBAG_free);
    }
};
using Safes = std::unique_ptr<STACK_OF(PKCS7), FreeSafes>;
using Bags = std::unique_ptr<STACK_OF(PKCS12_SAFEBAG), FreeBags>;

/// Nested safe contents deeper than this are refused.
constexpr int kMaxNesting = 8;

long CountOf(const ASN1_INTEGER* count) {
    if (!count)
        return 1; // the default of a missing count
    int64_t value = 0;
    if (ASN1_INTEGER_get_int64(&value, count) != 1 || value < 0 || value > LONG_MAX)
        return LONG_MAX; // negative or beyond 64 bits: absurd either way
    return static_cast<long>(value);
}

struct Element {
    int tag = 0;
    const unsigned char* encoding = nullptr; ///< the whole element, tag and length included
    long encodingLength = 0;
    long length = 0; ///< of the content
};

/// The elements of a DER SEQUENCE; false when the bytes are no well-formed SEQUENCE of
/// primitive, universal, definite-length elements filling it exactly.
bool SequenceElements(const ASN1_STRING* sequence, std::vector<Element>& elements) {
    const unsigned char* cursor = ASN1_STRING_get0_data(sequence);
    const long size = ASN1_STRING_length(sequence);
    long length = 0;
    int tag = 0, tagClass = 0;
    const int outer = ASN1_get_object(&cursor, &length, &tag, &tagClass, size);
    if ((outer & 0x80) || !(outer & V_ASN1_CONSTRUCTED) || tag != V_ASN1_SEQUENCE ||
        tagClass != V_ASN1_UNIVERSAL)
        return false;
    const unsigned char* end = cursor + length;
    if (end != ASN1_STRING_get0_data(sequence) + size)
        return false;
    while (cursor < end) {
        const unsigned char* start = cursor;
        const int inner = ASN1_get_object(&cursor, &length, &tag, &tagClass, end - cursor);
        if ((inner & 0x80) || (inner & V_ASN1_CONSTRUCTED) || tagClass != V_ASN1_UNIVERSAL ||
            length > end - cursor)
            return false;
        cursor += length;
        elements.push_back({tag, start, cursor - start, length});
    }
    return true;
}

/// True for a GOST 28147-89 parameter set the GOST engine has: the CryptoPro sets A to D and
/// the TC26 set Z.
bool KnownGost89ParameterSet(const Element& element) {
    const unsigned char* cursor = element.encoding;
    ASN1_OBJECT* set = d2i_ASN1_OBJECT(nullptr, &cursor, element.encodingLength);
    const int nid = set ? OBJ_obj2nid(set) : NID_undef;
    ASN1_OBJECT_free(set);
    ERR_clear_error();
    switch (nid) {
    case NID_id_Gost28147_89_CryptoPro_A_ParamSet:
    case NID_id_Gost28147_89_CryptoPro_B_ParamSet:
    case NID_id_Gost28147_89_CryptoPro_C_ParamSet:
    case NID_id_Gost28147_89_CryptoPro_D_ParamSet:
    case NID_id_tc26_gost_28147_param_Z:
        return true;
    default:
        return false;
    }
}

/// True when the parameters of a GOST cipher have the form the GOST engine reads: GOST
/// 28147-89 an 8-byte vector and a parameter set it has, Kuznyechik and Magma in CTR-ACPKM mode
/// a vector of 16 and 12 bytes. The engine reads them without checking them itself, and a
/// damaged file would end the program inside it. Other ciphers are OpenSSL's own, which checks.
bool GostCipherParametersSound(const X509_ALGOR* encryption) {
    const int cipher = OBJ_obj2nid(encryption->algorithm);
    std::vector<std::pair<int, long>> expected;
    switch (cipher) {
    case NID_id_Gost28147_89:
        expected = {{V_ASN1_OCTET_STRING, 8}, {V_ASN1_OBJECT, -1}};
        break;
    case NID_kuznyechik_ctr_acpkm:
    case NID_kuznyechik_ctr_acpkm_omac:
        expected = {{V_ASN1_OCTET_STRING, 16}};
        break;
    case NID_magma_ctr_acpkm:
    case NID_magma_ctr_acpkm_omac:
        expected = {{V_ASN1_OCTET_STRING, 12}};
        break;
    default:
        return true;
    }
    const ASN1_TYPE* parameter = encryption->parameter;
    std::vector<Element> found;
    if (!parameter || parameter->type != V_ASN1_SEQUENCE ||
        !SequenceElements(parameter->value.sequence, found) || found.size() != expected.size())
        return false;
    for (size_t i = 0; i < found.size(); ++i)
        if (found[i].tag != expected[i].first ||
            (expected[i].second >= 0 && found[i].length != expected[i].second) ||
            found[i].length == 0)
            return false;
    return cipher != NID_id_Gost28147_89 || KnownGost89ParameterSet(found[1]);
}

/// Raises Exception for a PBES2 algorithm whose cipher parameters are damaged.
void RefuseDamagedCipher(const X509_ALGOR* algorithm) {
    if (!algorithm || OBJ_obj2nid(algorithm->algorithm) != NID_pbes2)
        return;
    std::unique_ptr<PBE2PARAM, decltype(&PBE2PARAM_free)> pbes2(
        static_cast<PBE2PARAM*>(
            ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(PBE2PARAM), algorithm->parameter)),
        PBE2PARAM_free);
    if (pbes2 && pbes2->encryption && !GostCipherParametersSound(pbes2->encryption))
        throw Exception(Tr("Файл PKCS#12 не открывается: параметры шифра ГОСТ повреждены."));
}

/// The iteration count a password-based algorithm names: PBES2 with PBKDF2, or a PKCS#12 PBE;
/// 0 for an algorithm that derives nothing from a password.
long IterationsOf(const X509_ALGOR* algorithm) {
    const ASN1_OBJECT* oid = nullptr;
    int parameterType = 0;
    const void* parameter = nullptr;
    X509_ALGOR_get0(&oid, &parameterType, &parameter, algorithm);
    if (parameterType != V_ASN1_SEQUENCE || !parameter)
        return 0;
    const ASN1_TYPE* type = algorithm->parameter;
    if (OBJ_obj2nid(oid) == NID_pbes2) {
        std::unique_ptr<PBE2PARAM, decltype(&PBE2PARAM_free)> pbes2(
            static_cast<PBE2PARAM*>(ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(PBE2PARAM), type)),
            PBE2PARAM_free);
        if (!pbes2 || !pbes2->keyfunc || OBJ_obj2nid(pbes2->keyfunc->algorithm) != NID_id_pbkdf2 ||
            !pbes2->keyfunc->parameter)
            return 0;
        std::unique_ptr<PBKDF2PARAM, decltype(&PBKDF2PARAM_free)> pbkdf2(
            static_cast<PBKDF2PARAM*>(
                ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(PBKDF2PARAM), pbes2->keyfunc->parameter)),
            PBKDF2PARAM_free);
        return pbkdf2 ? CountOf(pbkdf2->iter) : 0;
    }
    std::unique_ptr<PBEPARAM, decltype(&PBEPARAM_free)> pbe(
        static_cast<PBEPARAM*>(ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(PBEPARAM), type)),
        PBEPARAM_free);
    return pbe ? CountOf(pbe->iter) : 0;
}

bool IsLegacyAlgorithm(const X509_ALGOR* algorithm) {
    if (!algorithm)
        return false;
    switch (OBJ_obj2nid(algorithm->algorithm)) {
    case NID_pbe_WithSHA1And128BitRC4:
    case NID_pbe_WithSHA1And40BitRC4:
    case NID_pbe_WithSHA1And128BitRC2_CBC:
    case NID_pbe_WithSHA1And40BitRC2_CBC:
    case NID_pbeWithMD2AndDES_CBC:
    case NID_pbeWithMD5AndDES_CBC:
    case NID_pbeWithMD2AndRC2_CBC:
    case NID_pbeWithMD5AndRC2_CBC:
    case NID_pbeWithSHA1AndDES_CBC:
    case NID_pbeWithSHA1AndRC2_CBC:
        return true;
    case NID_pbes2: {
        std::unique_ptr<PBE2PARAM, decltype(&PBE2PARAM_free)> pbes2(
            static_cast<PBE2PARAM*>(
                ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(PBE2PARAM), algorithm->parameter)),
            PBE2PARAM_free);
        if (!pbes2 || !pbes2->encryption)
            return false;
        const int cipher = OBJ_obj2nid(pbes2->encryption->algorithm);
        return cipher == NID_des_cbc || cipher == NID_rc2_cbc || cipher == NID_rc4;
    }
    default:
        return false;
    }
}

/// The algorithm of each encrypted safe and of each shrouded key bag outside them, in order.
template <class Visit> void VisitAlgorithms(const PKCS12* file, Visit visit) {
    const Safes safes(PKCS12_unpack_authsafes(file));
    for (int i = 0; safes && i < sk_PKCS7_num(safes.get()); ++i) {
        PKCS7* safe = sk_PKCS7_value(safes.get(), i);
        if (PKCS7_type_is_encrypted(safe) && safe->d.encrypted && safe->d.encrypted->enc_data)
            visit(safe->d.encrypted->enc_data->algorithm);
        if (!PKCS7_type_is_data(safe))
            continue;
        const Bags bags(PKCS12_unpack_p7data(safe));
        for (int j = 0; bags && j < sk_PKCS12_SAFEBAG_num(bags.get()); ++j) {
            const PKCS12_SAFEBAG* bag = sk_PKCS12_SAFEBAG_value(bags.get(), j);
            if (PKCS12_SAFEBAG_get_nid(bag) != NID_pkcs8ShroudedKeyBag)
                continue;
            const X509_ALGOR* algorithm = nullptr;
            X509_SIG_get0(PKCS12_SAFEBAG_get0_pkcs8(bag), &algorithm, nullptr);
            visit(algorithm);
        }
    }
    ERR_clear_error();
}

class Survey {
public:
    Survey(const std::string& password, long bound) : password_(password), bound_(bound) {}

    void add(long iterations, const char* what) {
        if (iterations > bound_)
            throw Exception(
                TrFormat("Файл PKCS#12 не открывается: %1 требует %2 итераций, а "
                         "допускается не больше %3 (больше делают только "
                         "повреждённые или враждебные файлы, и расчёт мог бы занять "
                         "часы).",
                         {Tr(what), std::to_string(iterations), std::to_string(bound_)}));
        total_ += iterations;
        if (total_ > 3 * bound_)
            throw Exception(TrFormat("Файл PKCS#12 не открывается: все его ключи вместе требуют "
                                     "больше %1 итераций.",
                                     {std::to_string(3 * bound_)}));
    }

    void bags(const STACK_OF(PKCS12_SAFEBAG) * bags, int depth) {
        for (int i = 0; i < sk_PKCS12_SAFEBAG_num(bags); ++i) {
            const PKCS12_SAFEBAG* bag = sk_PKCS12_SAFEBAG_value(bags, i);
            const int kind = PKCS12_SAFEBAG_get_nid(bag);
            if (kind == NID_keyBag) {
                ++found_.keys;
                ++found_.plainKeys;
            }
            if (kind == NID_pkcs8ShroudedKeyBag) {
                ++found_.keys;
                const X509_ALGOR* algorithm = nullptr;
                X509_SIG_get0(PKCS12_SAFEBAG_get0_pkcs8(bag), &algorithm, nullptr);
                add(algorithm ? IterationsOf(algorithm) : 0, TrMark("защищённый ключ"));
                RefuseDamagedCipher(algorithm);
            } else if (kind == NID_safeContentsBag) {
                // The library's reader follows nesting without end: what is not looked at here
                // must not be read there.
                if (depth >= kMaxNesting)
                    throw Exception(
                        TrFormat("Файл PKCS#12 не открывается: вложенность его частей больше %1.",
                                 {std::to_string(kMaxNesting)}));
                this->bags(PKCS12_SAFEBAG_get0_safes(bag), depth + 1);
            }
        }
    }

    void safe(PKCS7* safe) {
        Bags contents;
        if (PKCS7_type_is_data(safe)) {
            contents.reset(PKCS12_unpack_p7data(safe));
        } else if (PKCS7_type_is_encrypted(safe)) {
            const X509_ALGOR* algorithm = safe->d.encrypted && safe->d.encrypted->enc_data
                                              ? safe->d.encrypted->enc_data->algorithm
                                              : nullptr;
            add(algorithm ? IterationsOf(algorithm) : 0, TrMark("зашифрованная часть файла"));
            RefuseDamagedCipher(algorithm);
            contents.reset(PKCS12_unpack_p7encdata(safe, password_.c_str(),
                                                   static_cast<int>(password_.size())));
        }
        if (contents)
            bags(contents.get(), 0);
    }

    const Pkcs12Survey& found() const { return found_; }

private:
    const std::string& password_;
    const long bound_;
    long total_ = 0;
    Pkcs12Survey found_;
};

} // namespace

bool NamesLegacyAlgorithm(const PKCS12* file) {
    bool legacy = false;
    VisitAlgorithms(file, [&legacy](const X509_ALGOR* algorithm) {
        legacy = legacy || IsLegacyAlgorithm(algorithm);
    });
    return legacy;
}

std::string UnsupportedPkcs12Protection(const PKCS12* file) {
    const Safes safes(PKCS12_unpack_authsafes(file));
    if (!safes) {
        const bool notData =
            ERR_GET_REASON(ERR_peek_last_error()) == PKCS12_R_CONTENT_TYPE_NOT_DATA;
        ERR_clear_error();
        return notData ? Tr("файл защищён открытым ключом (подписью), а не паролем: такие "
                            "файлы программа не открывает")
                       : "";
    }
    for (int i = 0; i < sk_PKCS7_num(safes.get()); ++i)
        if (PKCS7_type_is_enveloped(sk_PKCS7_value(safes.get(), i)))
            return Tr("часть файла зашифрована для получателя его открытым ключом, а не "
                      "паролем: такие файлы программа не открывает");
    return {};
}

Pkcs12Survey SurveyPkcs12(const PKCS12* file, const std::string& password, long bound) {
    Survey survey(password, bound);
    if (PKCS12_mac_present(file)) {
        const ASN1_INTEGER* iterations = nullptr;
        PKCS12_get0_mac(nullptr, nullptr, nullptr, &iterations, file);
        survey.add(CountOf(iterations), TrMark("проверка целостности (MAC)"));
    }
    const Safes safes(PKCS12_unpack_authsafes(file));
    for (int i = 0; safes && i < sk_PKCS7_num(safes.get()); ++i)
        survey.safe(sk_PKCS7_value(safes.get(), i));
    ERR_clear_error();
    return survey.found();
}

} // namespace cq
