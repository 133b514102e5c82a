// A deliberately broken PKCS#11 module for the tests of how the program survives one. It is
// built once per fault (CQ_BROKEN_FAULT names it): C_Initialize that crashes, aborts or never
// returns, a function list without C_GetTokenInfo, or 2^30 slots with a token. Everything else
// answers as a module with one slot whose token offers no GOST. When CQ_BROKEN_MODULE_MARK names
// a file, every load of the module appends a line to it, so a test sees whether it was loaded.
#include <p11-kit/pkcs11.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <unistd.h>

namespace {

constexpr std::string_view kFault = CQ_BROKEN_FAULT;

template <class... Args> CK_RV NotSupported(Args...) {
    return CKR_FUNCTION_NOT_SUPPORTED;
}

template <class... Args> CK_RV Ok(Args...) {
    return CKR_OK;
}

CK_RV Initialize(CK_VOID_PTR) {
    if (kFault == "segv")
        std::raise(SIGSEGV);
    if (kFault == "abort")
        std::abort();
    if (kFault == "hang")
        for (;;)
            ::pause();
    return CKR_OK;
}

CK_RV GetSlotList(CK_BBOOL, CK_SLOT_ID_PTR slots, CK_ULONG_PTR count) {
    const CK_ULONG reported = kFault == "hugeslots" ? CK_ULONG(1) << 30 : 1;
    if (slots && *count >= 1)
        slots[0] = 0; // the rest of a huge list is never written
    *count = reported;
    return CKR_OK;
}

void Fill(CK_UTF8CHAR* field, size_t size, const char* text) {
    std::memset(field, ' ', size);
    std::memcpy(field, text, std::strlen(text));
}

CK_RV GetTokenInfo(CK_SLOT_ID, CK_TOKEN_INFO_PTR info) {
    *info = {};
    Fill(info->label, sizeof info->label, "Broken");
    Fill(info->manufacturerID, sizeof info->manufacturerID, "Tests");
    Fill(info->model, sizeof info->model, "BRK");
    Fill(info->serialNumber, sizeof info->serialNumber, "1");
    return CKR_OK;
}

CK_RV GetMechanismInfo(CK_SLOT_ID, CK_MECHANISM_TYPE, CK_MECHANISM_INFO_PTR) {
    return CKR_MECHANISM_INVALID;
}

CK_FUNCTION_LIST MakeFunctionList() {
    CK_FUNCTION_LIST list{};
    list.version = {2, 40};
    list.C_Initialize = Initialize;
    list.C_Finalize = Ok;
    list.C_GetInfo = NotSupported;
    list.C_GetSlotList = GetSlotList;
    list.C_GetSlotInfo = NotSupported;
    list.C_GetTokenInfo = kFault == "nulltokeninfo" ? nullptr : GetTokenInfo;
    list.C_GetMechanismList = NotSupported;
    list.C_GetMechanismInfo = GetMechanismInfo;
    list.C_OpenSession = NotSupported;
    list.C_CloseSession = NotSupported;
    list.C_Login = NotSupported;
    list.C_CreateObject = NotSupported;
    list.C_GetAttributeValue = NotSupported;
    list.C_SetAttributeValue = NotSupported;
    list.C_FindObjectsInit = NotSupported;
    list.C_FindObjects = NotSupported;
    list.C_FindObjectsFinal = NotSupported;
    list.C_SignInit = NotSupported;
    list.C_Sign = NotSupported;
    list.C_GenerateKeyPair = NotSupported;
    return list;
}

CK_FUNCTION_LIST functionList = MakeFunctionList();

void MarkLoad() {
    const char* mark = std::getenv("CQ_BROKEN_MODULE_MARK");
    if (!mark || !*mark)
        return;
    if (std::FILE* file = std::fopen(mark, "a")) {
        std::fprintf(file, "%s %ld\n", CQ_BROKEN_FAULT, static_cast<long>(::getpid()));
        std::fclose(file);
    }
}

} // namespace

extern "C" CK_RV C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR list) {
    MarkLoad();
    if (!list)
        return CKR_ARGUMENTS_BAD;
    *list = &functionList;
    return CKR_OK;
}
