#include "certs/Pkcs12Survey.h"

#include "base/Errors.h"

#include <openssl/err.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <memory>

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

/// Nested safe contents deeper than this are not looked into (the reader refuses them too).
constexpr int kMaxNesting = 8;

long CountOf(const ASN1_INTEGER* count) {
    if (!count)
        return 1; // the default of a missing count
    long value = 0;
    if (ASN1_INTEGER_get_int64(reinterpret_cast<int64_t*>(&value), count) != 1 || value < 0)
        return kMaxPkcs12TotalIterations + 1; // negative or beyond 64 bits: absurd either way
    return value;
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
    explicit Survey(const std::string& password) : password_(password) {}

    void add(long iterations, const char* what) {
        if (iterations > kMaxPkcs12Iterations)
            throw Exception("Файл PKCS#12 не открывается: " + std::string(what) + " требует " +
                            std::to_string(iterations) + " итераций, а допускается не больше " +
                            std::to_string(kMaxPkcs12Iterations) +
                            " (больше делают только повреждённые или враждебные файлы, и "
                            "расчёт занял бы часы).");
        total_ += iterations;
        if (total_ > kMaxPkcs12TotalIterations)
            throw Exception("Файл PKCS#12 не открывается: все его ключи вместе требуют больше " +
                            std::to_string(kMaxPkcs12TotalIterations) + " итераций.");
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
                add(algorithm ? IterationsOf(algorithm) : 0, "защищённый ключ");
            } else if (kind == NID_safeContentsBag && depth < kMaxNesting) {
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
            add(algorithm ? IterationsOf(algorithm) : 0, "зашифрованная часть файла");
            contents.reset(PKCS12_unpack_p7encdata(safe, password_.c_str(),
                                                   static_cast<int>(password_.size())));
        }
        if (contents)
            bags(contents.get(), 0);
    }

    const Pkcs12Survey& found() const { return found_; }

private:
    const std::string& password_;
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
        return notData ? "файл защищён открытым ключом (подписью), а не паролем: такие файлы "
                         "программа не открывает"
                       : "";
    }
    for (int i = 0; i < sk_PKCS7_num(safes.get()); ++i)
        if (PKCS7_type_is_enveloped(sk_PKCS7_value(safes.get(), i)))
            return "часть файла зашифрована для получателя его открытым ключом, а не паролем: "
                   "такие файлы программа не открывает";
    return {};
}

Pkcs12Survey SurveyPkcs12(const PKCS12* file, const std::string& password) {
    Survey survey(password);
    if (PKCS12_mac_present(file)) {
        const ASN1_INTEGER* iterations = nullptr;
        PKCS12_get0_mac(nullptr, nullptr, nullptr, &iterations, file);
        survey.add(CountOf(iterations), "проверка целостности (MAC)");
    }
    const Safes safes(PKCS12_unpack_authsafes(file));
    for (int i = 0; safes && i < sk_PKCS7_num(safes.get()); ++i)
        survey.safe(sk_PKCS7_value(safes.get(), i));
    ERR_clear_error();
    return survey.found();
}

} // namespace cq
