#pragma once
// A PKCS#11 module loaded at run time (dlopen and its C_GetFunctionList), initialised once and
// finalised when the last user lets it go, and a session on one of its slots. Only the standard
// PKCS#11 v2.40 calls are used, so any maker's module serves.

#include <p11-kit/pkcs11.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace cq::provider {

/// Bounds on what a module reports, so that a faulty one cannot make the program allocate or
/// loop without end: slots with a token, objects one search finds, bytes of one attribute.
inline constexpr CK_ULONG kMaxSlots = 1024;
inline constexpr size_t kMaxObjects = 65536;
inline constexpr CK_ULONG kMaxAttributeSize = 1 << 20;

class Pkcs11Module {
public:
    /// Loads and initialises the module; raises Exception saying why it cannot be used (among
    /// others: a function this program calls is missing from its list).
    static std::shared_ptr<Pkcs11Module> Load(const std::string& path);
    ~Pkcs11Module();
    Pkcs11Module(const Pkcs11Module&) = delete;
    Pkcs11Module& operator=(const Pkcs11Module&) = delete;

    const std::string& path() const { return path_; }
    CK_FUNCTION_LIST& functions() const { return *functions_; }
    /// The slots that hold a token now; raises Exception when the module reports more than
    /// kMaxSlots.
    std::vector<CK_SLOT_ID> slotsWithToken() const;

private:
    Pkcs11Module(std::string path, void* handle, CK_FUNCTION_LIST* functions, bool finalize)
        : path_(std::move(path)), handle_(handle), functions_(functions), finalize_(finalize) {}
    std::string path_;
    void* handle_;
    CK_FUNCTION_LIST* functions_;
    bool finalize_;
};

/// The standard name of a return value ("CKR_PIN_INCORRECT"), or its number in hex.
std::string ReturnValueName(CK_RV rv);

/// A fixed-width blank-padded text of the token information, without the padding.
std::string PaddedText(const CK_UTF8CHAR* text, size_t size);

/// A session on a slot, closed when the object goes.
class Pkcs11Session {
public:
    /// Opens a serial session (read-write when asked); returns the module's value through `rv`
    /// and leaves the session unopened on failure.
    Pkcs11Session(std::shared_ptr<Pkcs11Module> module, CK_SLOT_ID slot, bool readWrite, CK_RV& rv);
    ~Pkcs11Session();
    Pkcs11Session(const Pkcs11Session&) = delete;
    Pkcs11Session& operator=(const Pkcs11Session&) = delete;

    CK_FUNCTION_LIST& functions() const { return module_->functions(); }
    CK_SESSION_HANDLE handle() const { return handle_; }
    bool open() const { return open_; }

    /// The objects matching the template (all of them, in the module's order).
    CK_RV find(std::vector<CK_ATTRIBUTE> wanted, std::vector<CK_OBJECT_HANDLE>& found);
    /// One attribute's value; CKR_OK with the bytes, or the module's refusal.
    CK_RV attribute(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type, std::string& value);

private:
    std::shared_ptr<Pkcs11Module> module_;
    CK_SESSION_HANDLE handle_ = 0;
    bool open_ = false;
};

/// An attribute of a template pointing into `bytes`, which must outlive the call.
CK_ATTRIBUTE TemplateItem(CK_ATTRIBUTE_TYPE type, const void* bytes, size_t size);
inline CK_ATTRIBUTE TemplateItem(CK_ATTRIBUTE_TYPE type, std::string_view bytes) {
    return TemplateItem(type, bytes.data(), bytes.size());
}

} // namespace cq::provider
