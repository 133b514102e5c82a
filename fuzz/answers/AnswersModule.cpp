// A PKCS#11 module for the fuzzing of what modules answer: it forwards every call to the test
// token (tests/token/TestToken.cpp) and lets a script of bytes, handed over by the fuzz target
// through CqFuzzAnswers, change the answers: absurd slot and object counts, token and mechanism
// information of any bytes, attribute and signature lengths beyond the buffer, refusals with
// any of the codes the program tells apart. It never writes past a buffer it was given: a
// module that does is beyond any caller's defence, which is why modules are tried in a process
// of their own first. Built for the fuzz targets only and never installed.
#include <p11-kit/pkcs11.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace {

const uint8_t* script = nullptr;
size_t scriptLeft = 0;
CK_FUNCTION_LIST* real = nullptr;

uint8_t Take() {
    if (scriptLeft == 0)
        return 0; // an empty script forwards everything as the token answered
    --scriptLeft;
    return *script++;
}

CK_ULONG TakeLong() {
    CK_ULONG value = 0;
    for (int i = 0; i < 4; ++i)
        value = (value << 8) | Take();
    // Now and then a value near the top of the type: CK_UNAVAILABLE_INFORMATION and its kin.
    return (value & 0xFF000000) == 0xFF000000 ? ~CK_ULONG(0) - (value & 0xFF) : value;
}

/// Copies script bytes into a buffer of `room` bytes; how many it wrote.
size_t Fill(void* buffer, size_t room) {
    const size_t count = std::min<size_t>(room, std::min<size_t>(Take(), scriptLeft));
    if (buffer && count)
        std::memcpy(buffer, script, count);
    script += count;
    scriptLeft -= count;
    return buffer ? count : 0;
}

constexpr CK_RV kRefusals[] = {
    CKR_GENERAL_ERROR,           CKR_DEVICE_REMOVED,
    CKR_TOKEN_NOT_PRESENT,       CKR_SESSION_CLOSED,
    CKR_PIN_INCORRECT,           CKR_PIN_LOCKED,
    CKR_USER_NOT_LOGGED_IN,      CKR_USER_ALREADY_LOGGED_IN,
    CKR_BUFFER_TOO_SMALL,        CKR_DOMAIN_PARAMS_INVALID,
    CKR_ATTRIBUTE_VALUE_INVALID, CKR_ATTRIBUTE_TYPE_INVALID,
    CKR_OBJECT_HANDLE_INVALID,   CKR_SESSION_HANDLE_INVALID,
    CKR_FUNCTION_FAILED,         0x80000001,
};

CK_RV Refusal() {
    return kRefusals[Take() % std::size(kRefusals)];
}

/// What to do with one call: 0 forward, 1 answer from the script, 2 refuse.
int Choice() {
    return Take() % 3;
}

CK_RV Initialize(CK_VOID_PTR args) {
    return real->C_Initialize(args);
}
CK_RV Finalize(CK_VOID_PTR reserved) {
    return real->C_Finalize(reserved);
}

CK_RV GetSlotList(CK_BBOOL present, CK_SLOT_ID_PTR slots, CK_ULONG_PTR count) {
    switch (Choice()) {
    case 1: {
        const CK_ULONG room = slots ? *count : 0;
        const CK_ULONG claimed = TakeLong();
        for (CK_ULONG i = 0; i < std::min<CK_ULONG>(room, std::min<CK_ULONG>(claimed, 64)); ++i)
            slots[i] = Take();
        *count = claimed;
        return CKR_OK;
    }
    case 2:
        return Refusal();
    default:
        return real->C_GetSlotList(present, slots, count);
    }
}

CK_RV GetTokenInfo(CK_SLOT_ID slot, CK_TOKEN_INFO_PTR info) {
    const int choice = Choice();
    if (choice == 2)
        return Refusal();
    const CK_RV rv = real->C_GetTokenInfo(slot, info);
    if (choice == 1 && info) {
        // Some bytes of the answer replaced: texts without padding, any flags.
        const size_t at = Take() % sizeof *info;
        Fill(reinterpret_cast<unsigned char*>(info) + at, sizeof *info - at);
        return CKR_OK;
    }
    return rv;
}

CK_RV GetMechanismInfo(CK_SLOT_ID slot, CK_MECHANISM_TYPE type, CK_MECHANISM_INFO_PTR info) {
    switch (Choice()) {
    case 1:
        info->ulMinKeySize = TakeLong();
        info->ulMaxKeySize = TakeLong();
        info->flags = TakeLong();
        return CKR_OK;
    case 2:
        return Refusal();
    default:
        return real->C_GetMechanismInfo(slot, type, info);
    }
}

CK_RV FindObjects(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE_PTR found, CK_ULONG most,
                  CK_ULONG_PTR count) {
    switch (Choice()) {
    case 1: {
        const CK_ULONG claimed = TakeLong();
        for (CK_ULONG i = 0; i < std::min(most, claimed); ++i)
            found[i] = Take();
        *count = claimed;
        return CKR_OK;
    }
    case 2:
        return Refusal();
    default:
        return real->C_FindObjects(session, found, most, count);
    }
}

CK_RV GetAttributeValue(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, CK_ATTRIBUTE_PTR items,
                        CK_ULONG count) {
    switch (Choice()) {
    case 1:
        for (CK_ULONG i = 0; i < count; ++i) {
            Fill(items[i].pValue, items[i].pValue ? items[i].ulValueLen : 0);
            items[i].ulValueLen = TakeLong();
        }
        return CKR_OK;
    case 2:
        return Refusal();
    default:
        return real->C_GetAttributeValue(session, object, items, count);
    }
}

CK_RV Sign(CK_SESSION_HANDLE session, CK_BYTE_PTR data, CK_ULONG length, CK_BYTE_PTR signature,
           CK_ULONG_PTR signatureLength) {
    switch (Choice()) {
    case 1:
        Fill(signature, signature ? *signatureLength : 0);
        *signatureLength = TakeLong();
        return CKR_OK;
    case 2:
        return Refusal();
    default:
        return real->C_Sign(session, data, length, signature, signatureLength);
    }
}

/// The calls whose answer is only a code: forwarded, or refused.
template <auto Member, class... Args> CK_RV ForwardOrRefuse(Args... args) {
    if (Choice() == 2)
        return Refusal();
    return (real->*Member)(args...);
}

CK_FUNCTION_LIST MakeFunctionList() {
    CK_FUNCTION_LIST list = *real;
    list.C_Initialize = Initialize;
    list.C_Finalize = Finalize;
    list.C_GetSlotList = GetSlotList;
    list.C_GetTokenInfo = GetTokenInfo;
    list.C_GetMechanismInfo = GetMechanismInfo;
    list.C_FindObjects = FindObjects;
    list.C_GetAttributeValue = GetAttributeValue;
    list.C_Sign = Sign;
    list.C_OpenSession = ForwardOrRefuse<&CK_FUNCTION_LIST::C_OpenSession, CK_SLOT_ID, CK_FLAGS,
                                         CK_VOID_PTR, CK_NOTIFY, CK_SESSION_HANDLE_PTR>;
    list.C_Login = ForwardOrRefuse<&CK_FUNCTION_LIST::C_Login, CK_SESSION_HANDLE, CK_USER_TYPE,
                                   CK_UTF8CHAR_PTR, CK_ULONG>;
    list.C_FindObjectsInit = ForwardOrRefuse<&CK_FUNCTION_LIST::C_FindObjectsInit,
                                             CK_SESSION_HANDLE, CK_ATTRIBUTE_PTR, CK_ULONG>;
    list.C_FindObjectsFinal =
        ForwardOrRefuse<&CK_FUNCTION_LIST::C_FindObjectsFinal, CK_SESSION_HANDLE>;
    list.C_SignInit = ForwardOrRefuse<&CK_FUNCTION_LIST::C_SignInit, CK_SESSION_HANDLE,
                                      CK_MECHANISM_PTR, CK_OBJECT_HANDLE>;
    return list;
}

CK_FUNCTION_LIST functionList;

} // namespace

extern "C" void CqFuzzAnswers(const uint8_t* data, size_t size) {
    script = data;
    scriptLeft = size;
}

extern "C" CK_RV C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR list) {
    if (!list)
        return CKR_ARGUMENTS_BAD;
    if (!real) {
        void* token = ::dlopen(CQ_FUZZ_TEST_TOKEN, RTLD_NOW | RTLD_LOCAL);
        auto get = token
                       ? reinterpret_cast<CK_C_GetFunctionList>(::dlsym(token, "C_GetFunctionList"))
                       : nullptr;
        if (!get || get(&real) != CKR_OK)
            return CKR_GENERAL_ERROR;
        functionList = MakeFunctionList();
    }
    *list = &functionList;
    return CKR_OK;
}
