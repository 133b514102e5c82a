// A PKCS#11 module for the tests: one slot whose token lives in the folder named by
// CQ_TEST_TOKEN_DIR, with GOST R 34.10-2012 (256-bit) key generation and signing done by OpenSSL
// with the GOST engine. It keeps to the standard strictly, so that a caller leaning on a
// lenient module fails here: wrong attribute sizes, operations without login, read-only
// sessions writing token objects and reads of sensitive values are refused with the standard's
// codes. Built for the tests only and never installed.
//
// The folder is looked up at every call, so one loaded module serves the folders of several
// tests in turn; without the variable the slot is empty. The folder holds:
//   token.conf   label=, model=, serial=, pin=, tries= (left), maxtries=, removeat=sign,
//                paramsets= (the parameter sets it makes keys in, dotted, ","-separated; all
//                that the engine knows when empty), writelogin=1 (token objects only after
//                login, as some makers' tokens want)
//   removed      when present, the token is out of its slot
//   objects/N    one token object per file, one attribute a line: type and value in hex
// removeat=sign pulls the token out when a signature is started (a token removed mid-request).

// The GOST engine is reached through OpenSSL's engine interface, which OpenSSL 3 marks as
// deprecated; it is the interface the Debian engine offers.
#define OPENSSL_SUPPRESS_DEPRECATED

#include <p11-kit/pkcs11.h>

#include <openssl/crypto.h>
#include <openssl/engine.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::string;
using Attributes = std::map<CK_ATTRIBUTE_TYPE, Bytes>;

constexpr CK_SLOT_ID kSlot = 1;
/// Where the private key's PKCS#8 is kept inside its object; never shown to callers.
constexpr CK_ATTRIBUTE_TYPE kKeyStore = CKA_VENDOR_DEFINED | 0x51;
constexpr CK_ULONG kHashSize = 32;
constexpr CK_ULONG kSignatureSize = 64;

struct Object {
    Attributes attributes;
    bool onToken = false;
};

struct FindState {
    bool active = false;
    std::vector<CK_OBJECT_HANDLE> found;
    size_t next = 0;
};

struct Session {
    bool readWrite = false;
    FindState find;
    std::optional<CK_OBJECT_HANDLE> signKey;
};

struct Module {
    bool initialized = false;
    std::map<CK_SESSION_HANDLE, Session> sessions;
    CK_SESSION_HANDLE nextSession = 1;
    bool loggedIn = false;
    std::map<CK_OBJECT_HANDLE, Object> sessionObjects;
    ENGINE* engine = nullptr;
};

std::mutex moduleMutex;
Module state;

fs::path Folder() {
    const char* folder = std::getenv("CQ_TEST_TOKEN_DIR");
    return folder ? fs::path(folder) : fs::path();
}

// ---- files ----

std::map<std::string, std::string> ReadConf() {
    std::map<std::string, std::string> conf;
    std::ifstream in(Folder() / "token.conf");
    std::string line;
    while (std::getline(in, line)) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos)
            conf[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return conf;
}

void WriteConf(const std::map<std::string, std::string>& conf) {
    std::ofstream out(Folder() / "token.conf", std::ios::trunc);
    for (const auto& [key, value] : conf)
        out << key << "=" << value << "\n";
}

int Number(const std::map<std::string, std::string>& conf, const std::string& key) {
    const auto found = conf.find(key);
    return found == conf.end() ? 0 : std::atoi(found->second.c_str());
}

bool Present() {
    return !Folder().empty() && fs::exists(Folder() / "token.conf") &&
           !fs::exists(Folder() / "removed");
}

std::string Hex(const Bytes& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char c : bytes) {
        text += digits[c >> 4];
        text += digits[c & 15];
    }
    return text;
}

Bytes Unhex(const std::string& text) {
    Bytes bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        bytes += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
    return bytes;
}

fs::path ObjectFolder() {
    return Folder() / "objects";
}

std::map<CK_OBJECT_HANDLE, Object> TokenObjects() {
    std::map<CK_OBJECT_HANDLE, Object> objects;
    if (!fs::is_directory(ObjectFolder()))
        return objects;
    for (const auto& entry : fs::directory_iterator(ObjectFolder())) {
        Object object;
        object.onToken = true;
        std::ifstream in(entry.path());
        std::string type, value;
        while (in >> type >> value)
            object.attributes[std::stoul(type, nullptr, 16)] = Unhex(value == "-" ? "" : value);
        objects[std::stoul(entry.path().filename().string())] = std::move(object);
    }
    return objects;
}

void SaveTokenObject(CK_OBJECT_HANDLE handle, const Object& object) {
    fs::create_directories(ObjectFolder());
    std::ofstream out(ObjectFolder() / std::to_string(handle), std::ios::trunc);
    for (const auto& [type, value] : object.attributes)
        out << std::hex << type << " " << (value.empty() ? "-" : Hex(value)) << "\n";
}

CK_OBJECT_HANDLE NewHandle() {
    CK_OBJECT_HANDLE highest = 1000;
    for (const auto& [handle, object] : TokenObjects())
        highest = std::max(highest, handle);
    for (const auto& [handle, object] : state.sessionObjects)
        highest = std::max(highest, handle);
    return highest + 1;
}

// ---- attributes ----

Bytes Ulong(CK_ULONG value) {
    return Bytes(reinterpret_cast<const char*>(&value), sizeof value);
}

Bytes Bool(bool value) {
    return Bytes(1, value ? CK_TRUE : CK_FALSE);
}

bool IsTrue(const Attributes& attributes, CK_ATTRIBUTE_TYPE type, bool missing = false) {
    const auto found = attributes.find(type);
    return found == attributes.end() ? missing : found->second == Bool(true);
}

CK_ULONG UlongOf(const Attributes& attributes, CK_ATTRIBUTE_TYPE type) {
    const auto found = attributes.find(type);
    CK_ULONG value = CK_UNAVAILABLE_INFORMATION;
    if (found != attributes.end() && found->second.size() == sizeof value)
        std::memcpy(&value, found->second.data(), sizeof value);
    return value;
}

bool IsBoolType(CK_ATTRIBUTE_TYPE type) {
    switch (type) {
    case CKA_TOKEN:
    case CKA_PRIVATE:
    case CKA_SENSITIVE:
    case CKA_EXTRACTABLE:
    case CKA_SIGN:
    case CKA_VERIFY:
    case CKA_DERIVE:
    case CKA_MODIFIABLE:
        return true;
    default:
        return false;
    }
}

bool IsUlongType(CK_ATTRIBUTE_TYPE type) {
    return type == CKA_CLASS || type == CKA_KEY_TYPE || type == CKA_CERTIFICATE_TYPE;
}

/// The attributes a caller may give in a template of this token.
bool IsKnownType(CK_ATTRIBUTE_TYPE type) {
    switch (type) {
    case CKA_LABEL:
    case CKA_ID:
    case CKA_VALUE:
    case CKA_SUBJECT:
    case CKA_ISSUER:
    case CKA_SERIAL_NUMBER:
    case CKA_GOSTR3410_PARAMS:
    case CKA_GOSTR3411_PARAMS:
        return true;
    default:
        return IsBoolType(type) || IsUlongType(type);
    }
}

/// Reads a caller's template, refusing what the standard refuses.
CK_RV ReadTemplate(CK_ATTRIBUTE_PTR items, CK_ULONG count, Attributes& out) {
    if (count > 0 && !items)
        return CKR_ARGUMENTS_BAD;
    for (CK_ULONG i = 0; i < count; ++i) {
        const CK_ATTRIBUTE& item = items[i];
        if (!IsKnownType(item.type))
            return CKR_ATTRIBUTE_TYPE_INVALID;
        if (item.ulValueLen > 0 && !item.pValue)
            return CKR_ATTRIBUTE_VALUE_INVALID;
        if (IsBoolType(item.type) &&
            (item.ulValueLen != sizeof(CK_BBOOL) || (*static_cast<CK_BBOOL*>(item.pValue) > 1)))
            return CKR_ATTRIBUTE_VALUE_INVALID;
        if (IsUlongType(item.type) && item.ulValueLen != sizeof(CK_ULONG))
            return CKR_ATTRIBUTE_VALUE_INVALID;
        const Bytes value(static_cast<const char*>(item.pValue), item.ulValueLen);
        if (out.count(item.type) && out[item.type] != value)
            return CKR_TEMPLATE_INCONSISTENT;
        out[item.type] = value;
    }
    return CKR_OK;
}

bool Matches(const Object& object, const Attributes& wanted) {
    for (const auto& [type, value] : wanted) {
        const auto found = object.attributes.find(type);
        if (found == object.attributes.end() || found->second != value)
            return false;
    }
    return true;
}

bool Visible(const Object& object) {
    return state.loggedIn || !IsTrue(object.attributes, CKA_PRIVATE);
}

/// The object behind a handle, when the caller may see it.
std::optional<Object> Find(CK_OBJECT_HANDLE handle) {
    if (const auto found = state.sessionObjects.find(handle); found != state.sessionObjects.end())
        return Visible(found->second) ? std::optional<Object>(found->second) : std::nullopt;
    const auto objects = TokenObjects();
    const auto found = objects.find(handle);
    if (found == objects.end() || !Visible(found->second))
        return std::nullopt;
    return found->second;
}

// ---- GOST through the engine ----

ENGINE* Engine() {
    if (state.engine)
        return state.engine;
    ENGINE* engine = ENGINE_by_id("gost");
    if (!engine) {
        ERR_clear_error();
        engine = ENGINE_by_id("dynamic");
        // OpenSSL names its engine folder as: ENGINESDIR: "/usr/lib/x86_64-linux-gnu/engines-3"
        const std::string named = OpenSSL_version(OPENSSL_ENGINES_DIR);
        const size_t open = named.find('"');
        const std::string path = named.substr(open + 1, named.rfind('"') - open - 1) + "/gost.so";
        if (engine && (ENGINE_ctrl_cmd_string(engine, "SO_PATH", path.c_str(), 0) != 1 ||
                       ENGINE_ctrl_cmd_string(engine, "LOAD", nullptr, 0) != 1)) {
            ENGINE_free(engine);
            engine = nullptr;
        }
    }
    if (!engine || ENGINE_init(engine) != 1) {
        if (engine)
            ENGINE_free(engine);
        ERR_clear_error();
        return nullptr;
    }
    ENGINE_free(engine);
    ENGINE_register_pkey_asn1_meths(engine);
    ENGINE_register_pkey_meths(engine);
    state.engine = engine;
    return engine;
}

/// The parameter set's name for the engine: the object identifier's dotted text.
std::optional<std::string> ParamSetText(const Bytes& der) {
    const auto* cursor = reinterpret_cast<const unsigned char*>(der.data());
    ASN1_OBJECT* oid = d2i_ASN1_OBJECT(nullptr, &cursor, static_cast<long>(der.size()));
    if (!oid)
        return std::nullopt;
    char text[128];
    const int length = OBJ_obj2txt(text, sizeof text, oid, 1);
    ASN1_OBJECT_free(oid);
    if (cursor != reinterpret_cast<const unsigned char*>(der.data()) + der.size() || length <= 0)
        return std::nullopt;
    return std::string(text);
}

/// The 64 bytes of CKA_VALUE of a GOST public key: X and Y, little-endian, as the key's
/// SubjectPublicKeyInfo carries them inside its OCTET STRING.
Bytes PublicValue(EVP_PKEY* key) {
    X509_PUBKEY* info = nullptr;
    if (X509_PUBKEY_set(&info, key) != 1)
        return {};
    const unsigned char* bits = nullptr;
    int bitsLength = 0;
    Bytes value;
    if (X509_PUBKEY_get0_param(nullptr, &bits, &bitsLength, nullptr, info) == 1) {
        ASN1_OCTET_STRING* octets = d2i_ASN1_OCTET_STRING(nullptr, &bits, bitsLength);
        if (octets)
            value.assign(reinterpret_cast<const char*>(ASN1_STRING_get0_data(octets)),
                         static_cast<size_t>(ASN1_STRING_length(octets)));
        ASN1_OCTET_STRING_free(octets);
    }
    X509_PUBKEY_free(info);
    return value;
}

Bytes PrivateKeyDer(EVP_PKEY* key) {
    unsigned char* der = nullptr;
    const int length = i2d_PrivateKey(key, &der);
    if (length <= 0)
        return {};
    Bytes bytes(reinterpret_cast<const char*>(der), static_cast<size_t>(length));
    OPENSSL_clear_free(der, static_cast<size_t>(length));
    return bytes;
}

EVP_PKEY* GenerateKey(const std::string& paramSet) {
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_id(NID_id_GostR3410_2012_256, Engine());
    EVP_PKEY* key = nullptr;
    if (!context || EVP_PKEY_keygen_init(context) <= 0 ||
        EVP_PKEY_CTX_ctrl_str(context, "paramset", paramSet.c_str()) <= 0 ||
        EVP_PKEY_keygen(context, &key) <= 0)
        key = nullptr;
    EVP_PKEY_CTX_free(context);
    ERR_clear_error();
    return key;
}

std::optional<Bytes> SignHash(const Bytes& privateDer, const Bytes& hash) {
    const auto* cursor = reinterpret_cast<const unsigned char*>(privateDer.data());
    EVP_PKEY* key = d2i_PrivateKey(NID_id_GostR3410_2012_256, nullptr, &cursor,
                                   static_cast<long>(privateDer.size()));
    EVP_PKEY_CTX* context = key ? EVP_PKEY_CTX_new(key, Engine()) : nullptr;
    Bytes signature(kSignatureSize, '\0');
    size_t length = signature.size();
    const bool signedOk =
        context && EVP_PKEY_sign_init(context) > 0 &&
        EVP_PKEY_sign(context, reinterpret_cast<unsigned char*>(signature.data()), &length,
                      reinterpret_cast<const unsigned char*>(hash.data()), hash.size()) > 0;
    EVP_PKEY_CTX_free(context);
    EVP_PKEY_free(key);
    ERR_clear_error();
    if (!signedOk || length != kSignatureSize)
        return std::nullopt;
    return signature;
}

// ---- common checks ----

void CopyPadded(CK_UTF8CHAR* target, size_t size, const std::string& text) {
    std::memset(target, ' ', size);
    std::memcpy(target, text.data(), std::min(size, text.size()));
}

/// Closes every session when the token has left its slot.
void ForgetSessionsWhenRemoved() {
    if (!Present()) {
        state.sessions.clear();
        state.sessionObjects.clear();
        state.loggedIn = false;
    }
}

CK_RV SessionOf(CK_SESSION_HANDLE handle, Session*& session) {
    if (!state.initialized)
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    if (!Present()) {
        const bool known = state.sessions.count(handle) > 0;
        ForgetSessionsWhenRemoved();
        return known ? CKR_DEVICE_REMOVED : CKR_SESSION_HANDLE_INVALID;
    }
    const auto found = state.sessions.find(handle);
    if (found == state.sessions.end())
        return CKR_SESSION_HANDLE_INVALID;
    session = &found->second;
    return CKR_OK;
}

CK_RV StoreObject(const Session& session, Object object, CK_OBJECT_HANDLE& handle) {
    object.onToken = IsTrue(object.attributes, CKA_TOKEN);
    if (object.onToken && !session.readWrite)
        return CKR_SESSION_READ_ONLY;
    if ((IsTrue(object.attributes, CKA_PRIVATE) ||
         (object.onToken && ReadConf()["writelogin"] == "1")) &&
        !state.loggedIn)
        return CKR_USER_NOT_LOGGED_IN;
    handle = NewHandle();
    if (object.onToken)
        SaveTokenObject(handle, object);
    else
        state.sessionObjects[handle] = std::move(object);
    return CKR_OK;
}

} // namespace

extern "C" {

CK_RV C_Initialize(CK_VOID_PTR initArgs) {
    const std::lock_guard<std::mutex> lock(moduleMutex);
    if (state.initialized)
        return CKR_CRYPTOKI_ALREADY_INITIALIZED;
    if (initArgs && static_cast<CK_C_INITIALIZE_ARGS*>(initArgs)->pReserved)
        return CKR_ARGUMENTS_BAD;
    ENGINE* engine = state.engine;
    state = Module();
    state.engine = engine;
    state.initialized = true;
    return CKR_OK;
}

CK_RV C_Finalize(CK_VOID_PTR reserved) {
    const std::lock_guard<std::mutex> lock(moduleMutex);
    if (reserved)
        return CKR_ARGUMENTS_BAD;
    if (!state.initialized)
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    state.sessions.clear();
    state.sessionObjects.clear();
    state.initialized = false;
    return CKR_OK;
}

CK_RV C_GetInfo(CK_INFO_PTR info) {
    if (!state.initialized)
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    if (!info)
        return CKR_ARGUMENTS_BAD;
    info->cryptokiVersion = {2, 40};
    CopyPadded(info->manufacturerID, sizeof info->manufacturerID, "CertQuorix tests");
    info->flags = 0;
    CopyPadded(info->libraryDescription, sizeof info->libraryDescription, "Test token");
    info->libraryVersion = {1, 0};
    return CKR_OK;
}

CK_RV C_GetSlotList(CK_BBOOL tokenPresent, CK_SLOT_ID_PTR list, CK_ULONG_PTR count) {
    const std::lock_guard<std::mutex> lock(moduleMutex);
    if (!state.initialized)
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    if (!count)
        return CKR_ARGUMENTS_BAD;
    const CK_ULONG slots = tokenPresent && !Present() ? 0 : 1;
    if (list && *count < slots) {
        *count = slots;
        return CKR_BUFFER_TOO_SMALL;
    }
    if (list && slots)
        list[0] = kSlot;
    *count = slots;
    return CKR_OK;
}

CK_RV C_GetSlotInfo(CK_SLOT_ID slot, CK_SLOT_INFO_PTR info) {
    const std::lock_guard<std::mutex> lock(moduleMutex);
    if (!state.initialized)
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    if (slot != kSlot)
        return CKR_SLOT_ID_INVALID;
    if (!info)
        return CKR_ARGUMENTS_BAD;
    CopyPadded(info->slotDescription, sizeof info->slotDescription, "Test reader");
    CopyPadded(info->manufacturerID, sizeof info->manufacturerID, "CertQuorix tests");
    info->flags = CKF_REMOVABLE_DEVICE | CKF_HW_SLOT | (Present() ? CKF_TOKEN_PRESENT : 0);
    info->hardwareVersion = {1, 0};
    info->firmwareVersion = {1, 0};
    return CKR_OK;
}

CK_RV C_GetTokenInfo(CK_SLOT_ID slot, CK_TOKEN_INFO_PTR info) {
    const std::lock_guard<std::mutex> lock(moduleMutex);
    if (!state.initialized)
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    if (slot != kSlot)
        return CKR_SLOT_ID_INVALID;
    if (!info)
        return CKR_ARGUMENTS_BAD;
    if (!Present())
        return CKR_TOKEN_NOT_PRESENT;
    auto conf = ReadConf();
    std::memset(info, 0, sizeof *info);
    CopyPadded(info->label, sizeof info->label, conf["label"]);
    CopyPadded(info->manufacturerID, sizeof info->manufacturerID, "CertQuorix tests");
    CopyPadded(info->model, sizeof info->model, conf["model"]);
    CopyPadded(info->serialNumber, sizeof info->serialNumber, conf["serial"]);
    const int tries = Number(conf, "tries");
    const int most = Number(conf, "maxtries");
    info->flags = CKF_RNG | CKF_LOGIN_REQUIRED | CKF_USER_PIN_INITIALIZED | CKF_TOKEN_INITIALIZED;
    if (tries == 0)
        info->flags |= CKF_USER_PIN_LOCKED;
    else if (tries == 1)
        info->flags |= CKF_USER_PIN_FINAL_TRY | CKF_USER_PIN_COUNT_LOW;
    else if (tries < most)
        info->flags |= CKF_USER_PIN_COUNT_LOW;
    info->ulMaxSessionCount = CK_EFFECTIVELY_INFINITE;
    info->ulSessionCount = state.sessions.size();
    info->ulMaxRwSessionCount = CK_EFFECTIVELY_INFINITE;
    info->ulMaxPinLen = 32;
    info->ulMinPinLen = 4;
    info->ulTotalPublicMemory = CK_UNAVAILABLE_INFORMATION;
    info->ulFreePublicMemory = CK_UNAVAILABLE_INFORMATION;
    info->ulTotalPrivateMemory = CK_UNAVAILABLE_INFORMATION;
    info->ulFreePrivateMemory = CK_UNAVAILABLE_INFORMATION;
    info->hardwareVersion = {1, 0};
    info->firmwareVersion = {1, 0};
    return CKR_OK;
}

CK_RV C_GetMechanismList(CK_SLOT_ID slot, CK_MECHANISM_TYPE_PTR list, CK_ULONG_PTR count) {
    const std::lock_guard<std::mutex> lock(moduleMutex);
    if (!state.initialized)
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    if (slot != kSlot)
        return CKR_SLOT_ID_INVALID;
    if (!count)
        return CKR_ARGUMENTS_BAD;
    if (!Present())
        return CKR_TOKEN_NOT_PRESENT;
    const CK_MECHANISM_TYPE mechanisms[] = {CKM_GOSTR3410_KEY_PAIR_GEN, CKM_GOSTR3410};
    const CK_ULONG total = 2;
    if (list && *count < total) {
        *count = total;
        return CKR_BUFFER_TOO_SMALL;
    }
    if (list)
        std::copy(std::begin(mechanisms), std::end(mechanisms), list);
    *count = total;
    return CKR_OK;
}

CK_RV C_GetMechanismInfo(CK_SLOT_ID slot, CK_MECHANISM_TYPE type, CK_MECHANISM_INFO_PTR info) {
    const std::lock_guard<std::mutex> lock(moduleMutex);
    if (!state.initialized)
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    if (slot != kSlot)
        return CKR_SLOT_ID_INVALID;
    if (!info)
        return CKR_ARGUMENTS_BAD;
    if (!Present())
        return CKR_TOKEN_NOT_PRESENT;
    info->ulMinKeySize = 256;
    info->ulMaxKeySize = 256;
    if (type == CKM_GOSTR3410_KEY_PAIR_GEN)
        info->flags = CKF_HW | CKF_GENERATE_KEY_PAIR;
    else if (type == CKM_GOSTR3410)
        info->flags = CKF_HW | CKF_SIGN | CKF_VERIFY;
    else
        return CKR_MECHANISM_INVALID;
    return CKR_OK;
}

CK_RV C_OpenSession(CK_SLOT_ID slot, CK_FLAGS flags, CK_VOID_PTR, CK_NOTIFY,
                    CK_SESSION_HANDLE_PTR session) {
    const std::lock_guard<std::mutex> lock(moduleMutex);
    if (!state.initialized)
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    if (slot != kSlot)
        return CKR_SLOT_ID_INVALID;
    if (!(flags & CKF_SERIAL_SESSION))
        return CKR_SESSION_PARALLEL_NOT_SUPPORTED;
    if (!session)
        return CKR_ARGUMENTS_BAD;
    if (!Present())
        return CKR_TOKEN_NOT_PRESENT;
    Session opened;
    opened.readWrite = (flags & CKF_RW_SESSION) != 0;
    *session = state.nextSession++;
    state.sessions[*session] = opened;
    return CKR_OK;
}

CK_RV C_CloseSession(CK_SESSION_HANDLE handle) {
    const std::lock_guard<std::mutex> lock(moduleMutex);
    if (!state.initialized)
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    if (!state.sessions.erase(handle))
        return CKR_SESSION_HANDLE_INVALID;
    if (state.sessions.empty()) {
        state.loggedIn = false;
        state.sessionObjects.clear();
    }
    return CKR_OK;
}

CK_RV C_CloseAllSessions(CK_SLOT_ID slot) {
    const std::lock_guard<std::mutex> lock(moduleMutex);
    if (!state.initialized)
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    if (slot != kSlot)
        return CKR_SLOT_ID_INVALID;
    state.sessions.clear();
    state.sessionObjects.clear();
    state.loggedIn = false;
    return CKR_OK;
}

CK_RV C_GetSessionInfo(CK_SESSION_HANDLE handle, CK_SESSION_INFO_PTR info) {
    const std::lock_guard<std::mutex> lock(moduleMutex);
    Session* session = nullptr;
    if (const CK_RV rv = SessionOf(handle, session); rv != CKR_OK)
        return rv;
    if (!info)
        return CKR_ARGUMENTS_BAD;
    info->slotID = kSlot;
    info->flags = CKF_SERIAL_SESSION | (session->readWrite ? CKF_RW_SESSION : 0);
    if (state.loggedIn)
        info->state = session->readWrite ? CKS_RW_USER_FUNCTIONS : CKS_RO_USER_FUNCTIONS;
    else
        info->state = session->readWrite ? CKS_RW_PUBLIC_SESSION : CKS_RO_PUBLIC_SESSION;
    info->ulDeviceError = 0;
    return CKR_OK;
}

CK_RV C_Login(CK_SESSION_HANDLE handle, CK_USER_TYPE user, CK_UTF8CHAR_PTR pin, CK_ULONG length) {
    const std::lock_guard<std::mutex> lock(moduleMutex);
    Session* session = nullptr;
    if (const CK_RV rv = SessionOf(handle, session); rv != CKR_OK)
        return rv;
    if (user != CKU_USER)
        return CKR_USER_TYPE_INVALID;
    if (state.loggedIn)
        return CKR_USER_ALREADY_LOGGED_IN;
    if (!pin && length > 0)
        return CKR_ARGUMENTS_BAD;
    auto conf = ReadConf();
    int tries = Number(conf, "tries");
    if (tries <= 0)
        return CKR_PIN_LOCKED;
    const std::string given(reinterpret_cast<const char*>(pin), length);
    if (given != conf["pin"]) {
        conf["tries"] = std::to_string(--tries);
        WriteConf(conf);
        return CKR_PIN_INCORRECT;
    }
    conf["tries"] = conf["maxtries"];
    WriteConf(conf);
    state.loggedIn = true;
    return CKR_OK;
}

CK_RV C_Logout(CK_SESSION_HANDLE handle) {
    const std::lock_guard<std::mutex> lock(moduleMutex);
    Session* session = nullptr;
    if (const CK_RV rv = SessionOf(handle, session); rv != CKR_OK)
        return rv;
    if (!state.loggedIn)
        return CKR_USER_NOT_LOGGED_IN;
    state.loggedIn = false;
    return CKR_OK;
}

CK_RV C_CreateObject(CK_SESSION_HANDLE handle, CK_ATTRIBUTE_PTR items, CK_ULONG count,
                     CK_OBJECT_HANDLE_PTR created) {
    const std::lock_guard<std::mutex> lock(moduleMutex);
    Session* session = nullptr;
    if (const CK_RV rv = SessionOf(handle, session); rv != CKR_OK)
        return rv;
    if (!created)
        return CKR_ARGUMENTS_BAD;
    Object object;
    if (const CK_RV rv = ReadTemplate(items, count, object.attributes); rv != CKR_OK)
        return rv;
    // Only X.509 certificates may be brought in: keys are made on the token.
    if (UlongOf(object.attributes, CKA_CLASS) != CKO_CERTIFICATE)
        return CKR_TEMPLATE_INCONSISTENT;
    if (UlongOf(object.attributes, CKA_CERTIFICATE_TYPE) != CKC_X_509 ||
        !object.attributes.count(CKA_VALUE) || !object.attributes.count(CKA_SUBJECT))
        return CKR_TEMPLATE_INCOMPLETE;
    return StoreObject(*session, std::move(object), *created);
}

CK_RV C_GetAttributeValue(CK_SESSION_HANDLE handle, CK_OBJECT_HANDLE objectHandle,
                          CK_ATTRIBUTE_PTR items, CK_ULONG count) {
    const std::lock_guard<std::mutex> lock(moduleMutex);
    Session* session = nullptr;
    if (const CK_RV rv = SessionOf(handle, session); rv != CKR_OK)
        return rv;
    const std::optional<Object> object = Find(objectHandle);
    if (!object)
        return CKR_OBJECT_HANDLE_INVALID;
    if (count > 0 && !items)
        return CKR_ARGUMENTS_BAD;
    CK_RV result = CKR_OK;
    const bool privateKey = UlongOf(object->attributes, CKA_CLASS) == CKO_PRIVATE_KEY;
    for (CK_ULONG i = 0; i < count; ++i) {
        CK_ATTRIBUTE& item = items[i];
        const auto found = object->attributes.find(item.type);
        if (privateKey && (item.type == CKA_VALUE || item.type == kKeyStore)) {
            item.ulValueLen = CK_UNAVAILABLE_INFORMATION;
            result = CKR_ATTRIBUTE_SENSITIVE;
        } else if (found == object->attributes.end()) {
            item.ulValueLen = CK_UNAVAILABLE_INFORMATION;
            result = CKR_ATTRIBUTE_TYPE_INVALID;
        } else if (!item.pValue) {
            item.ulValueLen = found->second.size();
        } else if (item.ulValueLen < found->second.size()) {
            item.ulValueLen = CK_UNAVAILABLE_INFORMATION;
            result = CKR_BUFFER_TOO_SMALL;
        } else {
            std::memcpy(item.pValue, found->second.data(), found->second.size());
            item.ulValueLen = found->second.size();
        }
    }
    return result;
}

CK_RV C_SetAttributeValue(CK_SESSION_HANDLE handle, CK_OBJECT_HANDLE objectHandle,
                          CK_ATTRIBUTE_PTR items, CK_ULONG count) {
    const std::lock_guard<std::mutex> lock(moduleMutex);
    Session* session = nullptr;
    if (const CK_RV rv = SessionOf(handle, session); rv != CKR_OK)
        return rv;
    std::optional<Object> object = Find(objectHandle);
    if (!object)
        return CKR_OBJECT_HANDLE_INVALID;
    Attributes changes;
    if (const CK_RV rv = ReadTemplate(items, count, changes); rv != CKR_OK)
        return rv;
    for (const auto& [type, value] : changes)
        if (type != CKA_ID && type != CKA_LABEL)
            return CKR_ATTRIBUTE_READ_ONLY;
    if (object->onToken && !session->readWrite)
        return CKR_SESSION_READ_ONLY;
    for (const auto& [type, value] : changes)
        object->attributes[type] = value;
    if (object->onToken)
        SaveTokenObject(objectHandle, *object);
    else
        state.sessionObjects[objectHandle] = *object;
    return CKR_OK;
}

CK_RV C_FindObjectsInit(CK_SESSION_HANDLE handle, CK_ATTRIBUTE_PTR items, CK_ULONG count) {
    const std::lock_guard<std::mutex> lock(moduleMutex);
    Session* session = nullptr;
    if (const CK_RV rv = SessionOf(handle, session); rv != CKR_OK)
        return rv;
    if (session->find.active)
        return CKR_OPERATION_ACTIVE;
    Attributes wanted;
    if (const CK_RV rv = ReadTemplate(items, count, wanted); rv != CKR_OK)
        return rv;
    session->find = FindState();
    session->find.active = true;
    for (const auto& [objectHandle, object] : TokenObjects())
        if (Visible(object) && Matches(object, wanted))
            session->find.found.push_back(objectHandle);
    for (const auto& [objectHandle, object] : state.sessionObjects)
        if (Visible(object) && Matches(object, wanted))
            session->find.found.push_back(objectHandle);
    return CKR_OK;
}

CK_RV C_FindObjects(CK_SESSION_HANDLE handle, CK_OBJECT_HANDLE_PTR found, CK_ULONG most,
                    CK_ULONG_PTR count) {
    const std::lock_guard<std::mutex> lock(moduleMutex);
    Session* session = nullptr;
    if (const CK_RV rv = SessionOf(handle, session); rv != CKR_OK)
        return rv;
    if (!session->find.active)
        return CKR_OPERATION_NOT_INITIALIZED;
    if (!found || !count)
        return CKR_ARGUMENTS_BAD;
    FindState& find = session->find;
    *count = 0;
    while (*count < most && find.next < find.found.size())
        found[(*count)++] = find.found[find.next++];
    return CKR_OK;
}

CK_RV C_FindObjectsFinal(CK_SESSION_HANDLE handle) {
    const std::lock_guard<std::mutex> lock(moduleMutex);
    Session* session = nullptr;
    if (const CK_RV rv = SessionOf(handle, session); rv != CKR_OK)
        return rv;
    if (!session->find.active)
        return CKR_OPERATION_NOT_INITIALIZED;
    session->find = FindState();
    return CKR_OK;
}

CK_RV C_GenerateKeyPair(CK_SESSION_HANDLE handle, CK_MECHANISM_PTR mechanism,
                        CK_ATTRIBUTE_PTR publicItems, CK_ULONG publicCount,
                        CK_ATTRIBUTE_PTR privateItems, CK_ULONG privateCount,
                        CK_OBJECT_HANDLE_PTR publicHandle, CK_OBJECT_HANDLE_PTR privateHandle) {
    const std::lock_guard<std::mutex> lock(moduleMutex);
    Session* session = nullptr;
    if (const CK_RV rv = SessionOf(handle, session); rv != CKR_OK)
        return rv;
    if (!mechanism || !publicHandle || !privateHandle)
        return CKR_ARGUMENTS_BAD;
    if (mechanism->mechanism != CKM_GOSTR3410_KEY_PAIR_GEN)
        return CKR_MECHANISM_INVALID;
    if (mechanism->pParameter || mechanism->ulParameterLen)
        return CKR_MECHANISM_PARAM_INVALID;
    if (!state.loggedIn)
        return CKR_USER_NOT_LOGGED_IN;
    Object publicKey, privateKey;
    if (const CK_RV rv = ReadTemplate(publicItems, publicCount, publicKey.attributes); rv != CKR_OK)
        return rv;
    if (const CK_RV rv = ReadTemplate(privateItems, privateCount, privateKey.attributes);
        rv != CKR_OK)
        return rv;
    for (const Attributes* given : {&publicKey.attributes, &privateKey.attributes})
        if (given->count(CKA_VALUE) ||
            (given->count(CKA_KEY_TYPE) && UlongOf(*given, CKA_KEY_TYPE) != CKK_GOSTR3410))
            return CKR_TEMPLATE_INCONSISTENT;
    if ((publicKey.attributes.count(CKA_CLASS) &&
         UlongOf(publicKey.attributes, CKA_CLASS) != CKO_PUBLIC_KEY) ||
        (privateKey.attributes.count(CKA_CLASS) &&
         UlongOf(privateKey.attributes, CKA_CLASS) != CKO_PRIVATE_KEY))
        return CKR_TEMPLATE_INCONSISTENT;
    // This token keeps GOST private keys only as sensitive, never extractable keys.
    if (!IsTrue(privateKey.attributes, CKA_SENSITIVE, true) ||
        IsTrue(privateKey.attributes, CKA_EXTRACTABLE, false))
        return CKR_TEMPLATE_INCONSISTENT;
    const auto params = publicKey.attributes.find(CKA_GOSTR3410_PARAMS);
    if (params == publicKey.attributes.end())
        return CKR_TEMPLATE_INCOMPLETE;
    const std::optional<std::string> paramSet = ParamSetText(params->second);
    if (!paramSet)
        return CKR_ATTRIBUTE_VALUE_INVALID;
    if (const std::string offered = ReadConf()["paramsets"];
        !offered.empty() && ("," + offered + ",").find("," + *paramSet + ",") == std::string::npos)
        return CKR_DOMAIN_PARAMS_INVALID;
    if (!Engine())
        return CKR_DEVICE_ERROR;
    EVP_PKEY* key = GenerateKey(*paramSet);
    if (!key)
        return CKR_DOMAIN_PARAMS_INVALID;
    publicKey.attributes[CKA_CLASS] = Ulong(CKO_PUBLIC_KEY);
    publicKey.attributes[CKA_KEY_TYPE] = Ulong(CKK_GOSTR3410);
    publicKey.attributes[CKA_VALUE] = PublicValue(key);
    privateKey.attributes[CKA_CLASS] = Ulong(CKO_PRIVATE_KEY);
    privateKey.attributes[CKA_KEY_TYPE] = Ulong(CKK_GOSTR3410);
    privateKey.attributes[CKA_SENSITIVE] = Bool(true);
    privateKey.attributes[CKA_EXTRACTABLE] = Bool(false);
    privateKey.attributes[CKA_GOSTR3410_PARAMS] = params->second;
    privateKey.attributes[kKeyStore] = PrivateKeyDer(key);
    EVP_PKEY_free(key);
    if (const CK_RV rv = StoreObject(*session, publicKey, *publicHandle); rv != CKR_OK)
        return rv;
    return StoreObject(*session, privateKey, *privateHandle);
}

CK_RV C_SignInit(CK_SESSION_HANDLE handle, CK_MECHANISM_PTR mechanism, CK_OBJECT_HANDLE key) {
    const std::lock_guard<std::mutex> lock(moduleMutex);
    Session* session = nullptr;
    if (const CK_RV rv = SessionOf(handle, session); rv != CKR_OK)
        return rv;
    if (!mechanism)
        return CKR_ARGUMENTS_BAD;
    if (session->signKey)
        return CKR_OPERATION_ACTIVE;
    if (mechanism->mechanism != CKM_GOSTR3410)
        return CKR_MECHANISM_INVALID;
    if (!state.loggedIn)
        return CKR_USER_NOT_LOGGED_IN;
    if (ReadConf()["removeat"] == "sign") {
        std::ofstream(Folder() / "removed").put('\n');
        ForgetSessionsWhenRemoved();
        return CKR_DEVICE_REMOVED;
    }
    const std::optional<Object> object = Find(key);
    if (!object)
        return CKR_KEY_HANDLE_INVALID;
    if (UlongOf(object->attributes, CKA_CLASS) != CKO_PRIVATE_KEY ||
        UlongOf(object->attributes, CKA_KEY_TYPE) != CKK_GOSTR3410)
        return CKR_KEY_TYPE_INCONSISTENT;
    if (!IsTrue(object->attributes, CKA_SIGN, true))
        return CKR_KEY_FUNCTION_NOT_PERMITTED;
    session->signKey = key;
    return CKR_OK;
}

CK_RV C_Sign(CK_SESSION_HANDLE handle, CK_BYTE_PTR data, CK_ULONG length, CK_BYTE_PTR signature,
             CK_ULONG_PTR signatureLength) {
    const std::lock_guard<std::mutex> lock(moduleMutex);
    Session* session = nullptr;
    if (const CK_RV rv = SessionOf(handle, session); rv != CKR_OK)
        return rv;
    if (!session->signKey)
        return CKR_OPERATION_NOT_INITIALIZED;
    if (!signatureLength || (!data && length))
        return CKR_ARGUMENTS_BAD;
    const CK_OBJECT_HANDLE key = *session->signKey;
    if (length != kHashSize) {
        session->signKey.reset();
        return CKR_DATA_LEN_RANGE;
    }
    if (!signature) {
        *signatureLength = kSignatureSize;
        return CKR_OK;
    }
    if (*signatureLength < kSignatureSize) {
        *signatureLength = kSignatureSize;
        return CKR_BUFFER_TOO_SMALL;
    }
    session->signKey.reset();
    const std::optional<Object> object = Find(key);
    if (!object)
        return CKR_KEY_HANDLE_INVALID;
    const std::optional<Bytes> made =
        SignHash(object->attributes.at(kKeyStore), Bytes(reinterpret_cast<char*>(data), length));
    if (!made)
        return CKR_FUNCTION_FAILED;
    std::memcpy(signature, made->data(), made->size());
    *signatureLength = kSignatureSize;
    return CKR_OK;
}

CK_RV C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR list);

} // extern "C"

namespace {

/// Every entry this token does not offer answers CKR_FUNCTION_NOT_SUPPORTED.
template <class... Args> CK_RV NotSupported(Args...) {
    return CKR_FUNCTION_NOT_SUPPORTED;
}

CK_FUNCTION_LIST MakeFunctionList() {
    CK_FUNCTION_LIST list{};
    list.version = {2, 40};
    list.C_Initialize = C_Initialize;
    list.C_Finalize = C_Finalize;
    list.C_GetInfo = C_GetInfo;
    list.C_GetFunctionList = C_GetFunctionList;
    list.C_GetSlotList = C_GetSlotList;
    list.C_GetSlotInfo = C_GetSlotInfo;
    list.C_GetTokenInfo = C_GetTokenInfo;
    list.C_GetMechanismList = C_GetMechanismList;
    list.C_GetMechanismInfo = C_GetMechanismInfo;
    list.C_InitToken = NotSupported;
    list.C_InitPIN = NotSupported;
    list.C_SetPIN = NotSupported;
    list.C_OpenSession = C_OpenSession;
    list.C_CloseSession = C_CloseSession;
    list.C_CloseAllSessions = C_CloseAllSessions;
    list.C_GetSessionInfo = C_GetSessionInfo;
    list.C_GetOperationState = NotSupported;
    list.C_SetOperationState = NotSupported;
    list.C_Login = C_Login;
    list.C_Logout = C_Logout;
    list.C_CreateObject = C_CreateObject;
    list.C_CopyObject = NotSupported;
    list.C_DestroyObject = NotSupported;
    list.C_GetObjectSize = NotSupported;
    list.C_GetAttributeValue = C_GetAttributeValue;
    list.C_SetAttributeValue = C_SetAttributeValue;
    list.C_FindObjectsInit = C_FindObjectsInit;
    list.C_FindObjects = C_FindObjects;
    list.C_FindObjectsFinal = C_FindObjectsFinal;
    list.C_EncryptInit = NotSupported;
    list.C_Encrypt = NotSupported;
    list.C_EncryptUpdate = NotSupported;
    list.C_EncryptFinal = NotSupported;
    list.C_DecryptInit = NotSupported;
    list.C_Decrypt = NotSupported;
    list.C_DecryptUpdate = NotSupported;
    list.C_DecryptFinal = NotSupported;
    list.C_DigestInit = NotSupported;
    list.C_Digest = NotSupported;
    list.C_DigestUpdate = NotSupported;
    list.C_DigestKey = NotSupported;
    list.C_DigestFinal = NotSupported;
    list.C_SignInit = C_SignInit;
    list.C_Sign = C_Sign;
    list.C_SignUpdate = NotSupported;
    list.C_SignFinal = NotSupported;
    list.C_SignRecoverInit = NotSupported;
    list.C_SignRecover = NotSupported;
    list.C_VerifyInit = NotSupported;
    list.C_Verify = NotSupported;
    list.C_VerifyUpdate = NotSupported;
    list.C_VerifyFinal = NotSupported;
    list.C_VerifyRecoverInit = NotSupported;
    list.C_VerifyRecover = NotSupported;
    list.C_DigestEncryptUpdate = NotSupported;
    list.C_DecryptDigestUpdate = NotSupported;
    list.C_SignEncryptUpdate = NotSupported;
    list.C_DecryptVerifyUpdate = NotSupported;
    list.C_GenerateKey = NotSupported;
    list.C_GenerateKeyPair = C_GenerateKeyPair;
    list.C_WrapKey = NotSupported;
    list.C_UnwrapKey = NotSupported;
    list.C_DeriveKey = NotSupported;
    list.C_SeedRandom = NotSupported;
    list.C_GenerateRandom = NotSupported;
    list.C_GetFunctionStatus = NotSupported;
    list.C_CancelFunction = NotSupported;
    list.C_WaitForSlotEvent = NotSupported;
    return list;
}

CK_FUNCTION_LIST functionList = MakeFunctionList();

} // namespace

extern "C" CK_RV C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR list) {
    if (!list)
        return CKR_ARGUMENTS_BAD;
    *list = &functionList;
    return CKR_OK;
}
