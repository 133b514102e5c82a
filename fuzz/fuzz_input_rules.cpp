// Arbitrary bytes as pasted or loaded field texts: the character checks, the cutting to widths
// and the building of the subject must be safe, a cut text must stay within its width, and only an
// over-long password is refused.
#include "base/Errors.h"
#include "base/TextCodec.h"
#include "certs/InputRules.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (cq::FieldFilter filter :
         {cq::FieldFilter::Subject, cq::FieldFilter::Email, cq::FieldFilter::None})
        (void)cq::PasteRefusal(filter, text);
    cq::RequestFields fields;
    fields.Country = fields.State = fields.Locality = fields.Organization = text;
    fields.OrganizUnit = fields.CommonName = fields.Email = fields.password = text;
    fields.password2 = text;
    fields.provider = fields.container = text;
    (void)cq::RsaSendEnabled(fields, text);
    (void)cq::GostStartEnabled(fields, "quorix.ru");
    (void)cq::CommonNameIsBad(fields);
    // Both character sets are ASCII: a text that passes one holds no byte above 0x7F, whatever
    // an overlong or otherwise malformed sequence seems to spell.
    for (cq::FieldFilter filter : {cq::FieldFilter::Subject, cq::FieldFilter::Email})
        if (cq::FitsFilter(filter, text))
            for (const char byte : text)
                if (static_cast<unsigned char>(byte) > 0x7F)
                    std::abort();
    if (cq::ToCp1251(text).size() > text.size())
        std::abort();
    cq::SubjectData subject;
    try {
        subject = cq::BuildSubjectData(fields);
    } catch (const cq::Exception&) {
        // Only a password longer than the record holds is refused; it is never cut.
        if (cq::CharacterCount(text) <= 20)
            std::abort();
        return 0;
    }
    if (cq::CharacterCount(subject.Country) > 3 || cq::CharacterCount(subject.Email) > 50 ||
        cq::CharacterCount(subject.Password) > 20 || subject.Password.size() > text.size())
        std::abort();
    return 0;
}
