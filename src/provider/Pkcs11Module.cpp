#include "provider/Pkcs11Module.h"

#include "base/Errors.h"
#include "base/Translate.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace cq::provider {
namespace {

struct ReturnValue {
    CK_RV rv;
    const char* name;
};

constexpr ReturnValue kNames[] = {
    {CKR_OK, "CKR_OK"},
    {CKR_HOST_MEMORY, "CKR_HOST_MEMORY"},
    {CKR_SLOT_ID_INVALID, "CKR_SLOT_ID_INVALID"},
    {CKR_GENERAL_ERROR, "CKR_GENERAL_ERROR"},
    {CKR_FUNCTION_FAILED, "CKR_FUNCTION_FAILED"},
    {CKR_ARGUMENTS_BAD, "CKR_ARGUMENTS_BAD"},
    {CKR_ATTRIBUTE_READ_ONLY, "CKR_ATTRIBUTE_READ_ONLY"},
    {CKR_ATTRIBUTE_SENSITIVE, "CKR_ATTRIBUTE_SENSITIVE"},
    {CKR_ATTRIBUTE_TYPE_INVALID, "CKR_ATTRIBUTE_TYPE_INVALID"},
    {CKR_ATTRIBUTE_VALUE_INVALID, "CKR_ATTRIBUTE_VALUE_INVALID"},
    {CKR_DATA_LEN_RANGE, "CKR_DATA_LEN_RANGE"},
    {CKR_DEVICE_ERROR, "CKR_DEVICE_ERROR"},
    {CKR_DEVICE_MEMORY, "CKR_DEVICE_MEMORY"},
    {CKR_DEVICE_REMOVED, "CKR_DEVICE_REMOVED"},
    {CKR_FUNCTION_NOT_SUPPORTED, "CKR_FUNCTION_NOT_SUPPORTED"},
    {CKR_KEY_HANDLE_INVALID, "CKR_KEY_HANDLE_INVALID"},
    {CKR_KEY_TYPE_INCONSISTENT, "CKR_KEY_TYPE_INCONSISTENT"},
    {CKR_KEY_FUNCTION_NOT_PERMITTED, "CKR_KEY_FUNCTION_NOT_PERMITTED"},
    {CKR_MECHANISM_INVALID, "CKR_MECHANISM_INVALID"},
    {CKR_MECHANISM_PARAM_INVALID, "CKR_MECHANISM_PARAM_INVALID"},
    {CKR_OBJECT_HANDLE_INVALID, "CKR_OBJECT_HANDLE_INVALID"},
    {CKR_OPERATION_ACTIVE, "CKR_OPERATION_ACTIVE"},
    {CKR_OPERATION_NOT_INITIALIZED, "CKR_OPERATION_NOT_INITIALIZED"},
    {CKR_PIN_INCORRECT, "CKR_PIN_INCORRECT"},
    {CKR_PIN_LEN_RANGE, "CKR_PIN_LEN_RANGE"},
    {CKR_PIN_LOCKED, "CKR_PIN_LOCKED"},
    {CKR_SESSION_CLOSED, "CKR_SESSION_CLOSED"},
    {CKR_SESSION_HANDLE_INVALID, "CKR_SESSION_HANDLE_INVALID"},
    {CKR_SESSION_READ_ONLY, "CKR_SESSION_READ_ONLY"},
    {CKR_TEMPLATE_INCOMPLETE, "CKR_TEMPLATE_INCOMPLETE"},
    {CKR_TEMPLATE_INCONSISTENT, "CKR_TEMPLATE_INCONSISTENT"},
    {CKR_TOKEN_NOT_PRESENT, "CKR_TOKEN_NOT_PRESENT"},
    {CKR_TOKEN_NOT_RECOGNIZED, "CKR_TOKEN_NOT_RECOGNIZED"},
    {CKR_TOKEN_WRITE_PROTECTED, "CKR_TOKEN_WRITE_PROTECTED"},
    {CKR_USER_ALREADY_LOGGED_IN, "CKR_USER_ALREADY_LOGGED_IN"},
    {CKR_USER_NOT_LOGGED_IN, "CKR_USER_NOT_LOGGED_IN"},
    {CKR_USER_TYPE_INVALID, "CKR_USER_TYPE_INVALID"},
    {CKR_DOMAIN_PARAMS_INVALID, "CKR_DOMAIN_PARAMS_INVALID"},
    {CKR_BUFFER_TOO_SMALL, "CKR_BUFFER_TOO_SMALL"},
    {CKR_CRYPTOKI_NOT_INITIALIZED, "CKR_CRYPTOKI_NOT_INITIALIZED"},
    {CKR_CRYPTOKI_ALREADY_INITIALIZED, "CKR_CRYPTOKI_ALREADY_INITIALIZED"},
};

/// The first of the functions this program calls that the module's list leaves out, or
/// nullptr when all are there: a missing one is found here rather than by a call through null.
const char* MissingFunction(const CK_FUNCTION_LIST& f) {
    const std::pair<const char*, bool> used[] = {
        {"C_Initialize", f.C_Initialize != nullptr},
        {"C_Finalize", f.C_Finalize != nullptr},
        {"C_GetSlotList", f.C_GetSlotList != nullptr},
        {"C_GetTokenInfo", f.C_GetTokenInfo != nullptr},
        {"C_GetMechanismInfo", f.C_GetMechanismInfo != nullptr},
        {"C_OpenSession", f.C_OpenSession != nullptr},
        {"C_CloseSession", f.C_CloseSession != nullptr},
        {"C_Login", f.C_Login != nullptr},
        {"C_CreateObject", f.C_CreateObject != nullptr},
        {"C_GetAttributeValue", f.C_GetAttributeValue != nullptr},
        {"C_SetAttributeValue", f.C_SetAttributeValue != nullptr},
        {"C_FindObjectsInit", f.C_FindObjectsInit != nullptr},
        {"C_FindObjects", f.C_FindObjects != nullptr},
        {"C_FindObjectsFinal", f.C_FindObjectsFinal != nullptr},
        {"C_SignInit", f.C_SignInit != nullptr},
        {"C_Sign", f.C_Sign != nullptr},
        {"C_GenerateKeyPair", f.C_GenerateKeyPair != nullptr},
    };
    for (const auto& [name, present] : used)
        if (!present)
            return name;
    return nullptr;
}

} // namespace

std::string ReturnValueName(CK_RV rv) {
    for (const ReturnValue& entry : kNames)
        if (entry.rv == rv)
            return entry.name;
    char text[32];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(rv));
    return text;
}

std::string PaddedText(const CK_UTF8CHAR* text, size_t size) {
    std::string value(reinterpret_cast<const char*>(text), size);
    const size_t end = value.find_last_not_of(std::string(" \0", 2));
    return end == std::string::npos ? std::string() : value.substr(0, end + 1);
}

std::shared_ptr<Pkcs11Module> Pkcs11Module::Load(const std::string& path) {
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handle) {
        const char* reason = ::dlerror();
        throw Exception(
            TrFormat("модуль не загружается: %1", {std::string(reason ? reason : path)}));
    }
    auto getList = reinterpret_cast<CK_C_GetFunctionList>(::dlsym(handle, "C_GetFunctionList"));
    CK_FUNCTION_LIST* functions = nullptr;
    if (!getList || getList(&functions) != CKR_OK || !functions) {
        ::dlclose(handle);
        throw Exception(Tr("в модуле нет списка функций PKCS#11"));
    }
    if (functions->version.major != 2) {
        ::dlclose(handle);
        throw Exception(Tr("модуль не поддерживает PKCS#11 версии 2"));
    }
    if (const char* missing = MissingFunction(*functions)) {
        ::dlclose(handle);
        throw Exception(TrFormat("в списке функций модуля нет %1", {std::string(missing)}));
    }
    // The module may be called from the window's worker thread: it is told to lock with the
    // system's own means.
    CK_C_INITIALIZE_ARGS args{};
    args.flags = CKF_OS_LOCKING_OK;
    const CK_RV rv = functions->C_Initialize(&args);
    if (rv != CKR_OK && rv != CKR_CRYPTOKI_ALREADY_INITIALIZED) {
        ::dlclose(handle);
        throw Exception("C_Initialize: " + ReturnValueName(rv));
    }
    // A module another part of the process initialised stays initialised for it.
    return std::shared_ptr<Pkcs11Module>(new Pkcs11Module(path, handle, functions, rv == CKR_OK));
}

Pkcs11Module::~Pkcs11Module() {
    if (finalize_)
        functions_->C_Finalize(nullptr);
    // The module stays mapped (RTLD_NODELETE): some modules leave handlers behind that must
    // not point into unmapped code when the process ends.
    ::dlclose(handle_);
}

std::vector<CK_SLOT_ID> Pkcs11Module::slotsWithToken() const {
    CK_ULONG count = 0;
    if (functions_->C_GetSlotList(CK_TRUE, nullptr, &count) != CKR_OK)
        return {};
    if (count > kMaxSlots)
        throw Exception(TrFormat("модуль сообщает о %1 слотах с токеном (больше %2 не принимается)",
                                 {std::to_string(count), std::to_string(kMaxSlots)}));
    std::vector<CK_SLOT_ID> slots(count);
    CK_ULONG filled = count;
    if (count && functions_->C_GetSlotList(CK_TRUE, slots.data(), &filled) != CKR_OK)
        return {};
    // A token inserted between the calls is seen next time; a module may not claim to have
    // written more than the list holds.
    slots.resize(std::min(filled, count));
    return slots;
}

CK_ATTRIBUTE TemplateItem(CK_ATTRIBUTE_TYPE type, const void* bytes, size_t size) {
    CK_ATTRIBUTE item;
    item.type = type;
    item.pValue = const_cast<void*>(bytes);
    item.ulValueLen = size;
    return item;
}

Pkcs11Session::Pkcs11Session(std::shared_ptr<Pkcs11Module> module, CK_SLOT_ID slot, bool readWrite,
                             CK_RV& rv)
    : module_(std::move(module)) {
    const CK_FLAGS flags = CKF_SERIAL_SESSION | (readWrite ? CKF_RW_SESSION : 0);
    rv = module_->functions().C_OpenSession(slot, flags, nullptr, nullptr, &handle_);
    open_ = rv == CKR_OK;
}

Pkcs11Session::~Pkcs11Session() {
    if (open_)
        module_->functions().C_CloseSession(handle_);
}

CK_RV Pkcs11Session::find(std::vector<CK_ATTRIBUTE> wanted, std::vector<CK_OBJECT_HANDLE>& found) {
    found.clear();
    CK_RV rv = functions().C_FindObjectsInit(handle_, wanted.data(), wanted.size());
    if (rv != CKR_OK)
        return rv;
    constexpr CK_ULONG kBatch = 16;
    CK_OBJECT_HANDLE batch[kBatch];
    CK_ULONG count = 0;
    while ((rv = functions().C_FindObjects(handle_, batch, kBatch, &count)) == CKR_OK &&
           count > 0) {
        // A count beyond the batch, or a search that never ends, is the module's fault.
        if (count > kBatch || found.size() + count > kMaxObjects) {
            rv = CKR_GENERAL_ERROR;
            break;
        }
        found.insert(found.end(), batch, batch + count);
    }
    const CK_RV finished = functions().C_FindObjectsFinal(handle_);
    if (rv != CKR_OK)
        found.clear();
    return rv != CKR_OK ? rv : finished;
}

CK_RV Pkcs11Session::attribute(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type,
                               std::string& value) {
    CK_ATTRIBUTE item = TemplateItem(type, nullptr, 0);
    CK_RV rv = functions().C_GetAttributeValue(handle_, object, &item, 1);
    if (rv != CKR_OK)
        return rv;
    if (item.ulValueLen == CK_UNAVAILABLE_INFORMATION)
        return CKR_ATTRIBUTE_TYPE_INVALID;
    if (item.ulValueLen > kMaxAttributeSize)
        return CKR_GENERAL_ERROR;
    const CK_ULONG room = item.ulValueLen;
    value.assign(room, '\0');
    item.pValue = value.data();
    rv = functions().C_GetAttributeValue(handle_, object, &item, 1);
    if (rv == CKR_OK && item.ulValueLen > room)
        rv = CKR_GENERAL_ERROR;
    value.resize(rv == CKR_OK ? item.ulValueLen : 0);
    return rv;
}

} // namespace cq::provider
