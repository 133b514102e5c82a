// The test token itself: it must refuse what the PKCS#11 standard refuses, or the provider's
// tests would pass on leniency a maker's module does not have.
#include "TestTokenFolder.h"
#include "provider/Pkcs11Module.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace cq {
namespace {

using provider::Pkcs11Module;
using provider::Pkcs11Session;
using provider::TemplateItem;

const std::string kParamSetA("\x06\x07\x2A\x85\x03\x02\x02\x23\x01", 9);

class TestTokenTest : public ::testing::Test {
protected:
    void SetUp() override {
        module = Pkcs11Module::Load(test::TestTokenModule());
        session = openSession(true);
    }
    std::unique_ptr<Pkcs11Session> openSession(bool readWrite) {
        CK_RV rv = CKR_OK;
        auto opened = std::make_unique<Pkcs11Session>(module, 1, readWrite, rv);
        EXPECT_EQ(rv, CKR_OK);
        return opened;
    }
    CK_RV login(const std::string& pin) {
        return module->functions().C_Login(
            session->handle(), CKU_USER,
            reinterpret_cast<CK_UTF8CHAR*>(const_cast<char*>(pin.data())), pin.size());
    }
    CK_FLAGS tokenFlags() {
        CK_TOKEN_INFO info{};
        EXPECT_EQ(module->functions().C_GetTokenInfo(1, &info), CKR_OK);
        return info.flags;
    }
    CK_RV generate(Pkcs11Session& on, std::vector<CK_ATTRIBUTE> extraPrivate = {}) {
        const CK_BBOOL yes = CK_TRUE;
        std::vector<CK_ATTRIBUTE> publicTemplate = {TemplateItem(CKA_TOKEN, &yes, 1),
                                                    TemplateItem(CKA_GOSTR3410_PARAMS, kParamSetA),
                                                    TemplateItem(CKA_LABEL, "c1")};
        std::vector<CK_ATTRIBUTE> privateTemplate = {TemplateItem(CKA_TOKEN, &yes, 1),
                                                     TemplateItem(CKA_PRIVATE, &yes, 1),
                                                     TemplateItem(CKA_LABEL, "c1")};
        privateTemplate.insert(privateTemplate.end(), extraPrivate.begin(), extraPrivate.end());
        CK_MECHANISM mechanism{CKM_GOSTR3410_KEY_PAIR_GEN, nullptr, 0};
        return module->functions().C_GenerateKeyPair(
            on.handle(), &mechanism, publicTemplate.data(), publicTemplate.size(),
            privateTemplate.data(), privateTemplate.size(), &publicKey, &privateKey);
    }

    test::TestTokenFolder token;
    std::shared_ptr<Pkcs11Module> module;
    std::unique_ptr<Pkcs11Session> session;
    CK_OBJECT_HANDLE publicKey = 0, privateKey = 0;
};

TEST_F(TestTokenTest, RefusesWhatTheStandardRefuses) {
    EXPECT_EQ(generate(*session), CKR_USER_NOT_LOGGED_IN);
    ASSERT_EQ(login("1234"), CKR_OK);
    EXPECT_EQ(login("1234"), CKR_USER_ALREADY_LOGGED_IN);

    const std::unique_ptr<Pkcs11Session> readOnly = openSession(false);
    EXPECT_EQ(generate(*readOnly), CKR_SESSION_READ_ONLY);
    // A boolean attribute of the wrong size, an extractable private key.
    const int wide = 1;
    EXPECT_EQ(generate(*session, {TemplateItem(CKA_SENSITIVE, &wide, sizeof wide)}),
              CKR_ATTRIBUTE_VALUE_INVALID);
    const CK_BBOOL yes = CK_TRUE;
    EXPECT_EQ(generate(*session, {TemplateItem(CKA_EXTRACTABLE, &yes, 1)}),
              CKR_TEMPLATE_INCONSISTENT);

    ASSERT_EQ(generate(*session), CKR_OK);
    std::string value;
    EXPECT_EQ(session->attribute(privateKey, CKA_VALUE, value), CKR_ATTRIBUTE_SENSITIVE);
    EXPECT_EQ(session->attribute(publicKey, CKA_VALUE, value), CKR_OK);
    EXPECT_EQ(value.size(), 64u);

    // Signing takes a 32-byte hash only, and a private key.
    CK_MECHANISM mechanism{CKM_GOSTR3410, nullptr, 0};
    CK_FUNCTION_LIST& f = module->functions();
    EXPECT_EQ(f.C_SignInit(session->handle(), &mechanism, publicKey), CKR_KEY_TYPE_INCONSISTENT);
    ASSERT_EQ(f.C_SignInit(session->handle(), &mechanism, privateKey), CKR_OK);
    std::string data(20, 'x'), signature(64, '\0');
    CK_ULONG length = signature.size();
    EXPECT_EQ(f.C_Sign(session->handle(), reinterpret_cast<CK_BYTE*>(data.data()), data.size(),
                       reinterpret_cast<CK_BYTE*>(signature.data()), &length),
              CKR_DATA_LEN_RANGE);

    // The private key is not seen once the user is logged out.
    ASSERT_EQ(f.C_Logout(session->handle()), CKR_OK);
    std::vector<CK_OBJECT_HANDLE> found;
    ASSERT_EQ(session->find({TemplateItem(CKA_LABEL, "c1")}, found), CKR_OK);
    EXPECT_EQ(found, std::vector<CK_OBJECT_HANDLE>{publicKey});
}

TEST_F(TestTokenTest, PinCountersLowFinalTryAndLocked) {
    struct Step {
        const char* pin;
        CK_RV rv;
        CK_FLAGS flagsAfter;
    };
    const Step steps[] = {
        {"0000", CKR_PIN_INCORRECT, CKF_USER_PIN_COUNT_LOW},
        {"1234", CKR_OK, 0}, // a right PIN restores the counter
        {"0000", CKR_PIN_INCORRECT, CKF_USER_PIN_COUNT_LOW},
        {"0000", CKR_PIN_INCORRECT, CKF_USER_PIN_COUNT_LOW | CKF_USER_PIN_FINAL_TRY},
        {"0000", CKR_PIN_INCORRECT, CKF_USER_PIN_LOCKED},
        {"1234", CKR_PIN_LOCKED, CKF_USER_PIN_LOCKED},
    };
    const CK_FLAGS counters = CKF_USER_PIN_COUNT_LOW | CKF_USER_PIN_FINAL_TRY | CKF_USER_PIN_LOCKED;
    for (const Step& step : steps) {
        EXPECT_EQ(login(step.pin), step.rv) << step.pin;
        EXPECT_EQ(tokenFlags() & counters, step.flagsAfter) << step.pin;
        if (step.rv == CKR_OK)
            module->functions().C_Logout(session->handle());
    }
}

TEST_F(TestTokenTest, RemovedTokenLeavesTheSlotAndEndsItsSessions) {
    token.remove();
    EXPECT_TRUE(module->slotsWithToken().empty());
    EXPECT_EQ(login("1234"), CKR_DEVICE_REMOVED);
    CK_TOKEN_INFO info{};
    EXPECT_EQ(module->functions().C_GetTokenInfo(1, &info), CKR_TOKEN_NOT_PRESENT);
    token.insert();
    EXPECT_EQ(module->slotsWithToken().size(), 1u);
    EXPECT_EQ(login("1234"), CKR_SESSION_HANDLE_INVALID); // the old session is gone
}

} // namespace
} // namespace cq
