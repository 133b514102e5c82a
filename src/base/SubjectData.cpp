#include "base/SubjectData.h"

#include "base/StringUtil.h"

namespace cq {

SubjectFields TrimmedSubject(const SubjectFields& fields) {
    SubjectFields trimmed;
    for (const SubjectFieldKey& field : kSubjectFieldKeys)
        trimmed.*field.member = Trim(fields.*field.member);
    return trimmed;
}

} // namespace cq
