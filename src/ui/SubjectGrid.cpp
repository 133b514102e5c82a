#include "ui/SubjectGrid.h"

#include "ui/BaseForm.h"
#include "ui/FieldRule.h"
#include "ui/FormParts.h"
#include "ui/RuleLineEdit.h"
#include "ui/SameWidthGroup.h"
#include "ui/UiText.h"

#include <QGridLayout>

namespace cq::ui {
namespace {

struct FieldSpec {
    const char* name;
    const char* caption; // with the mnemonic's "&"; translated where it is shown
    size_t width;
    int help;
    FieldFilter filter;
    const char* mark; // null: never required
    std::string SubjectFields::*value;
};

QString LatinOnly() {
    return TrQ("Только латинские символы!");
}

QString HintOf(const FieldSpec& field) {
    return field.filter == FieldFilter::Email
               ? TrQ("Только латинские символы в нижнем регистре! До 40 символов.")
               : LatinOnly();
}

// The spoken name of a caption: "&Страна : " is "Страна".
QString SpokenName(const QString& caption) {
    return QString(caption).remove(QLatin1Char('&')).trimmed().chopped(2);
}

const std::vector<FieldSpec>& Fields() {
    static const std::vector<FieldSpec> fields = {
        {"edCountry", TrMark("Стра&на : "), edit_width::kCountry, 7, FieldFilter::Subject,
         "lblAstCountry", &SubjectFields::Country},
        {"edState", TrMark("Обл&асть : "), edit_width::kState, 8, FieldFilter::Subject,
         "lblAstState", &SubjectFields::State},
        {"edLocality", TrMark("&Город : "), edit_width::kLocality, 9, FieldFilter::Subject,
         "lblAstLocality", &SubjectFields::Locality},
        {"edOrganization", TrMark("Органи&зация : "), edit_width::kOrganization, 10,
         FieldFilter::Subject, "lblAstOrganization", &SubjectFields::Organization},
        {"edOrganizUnit", TrMark("По&дразделение : "), edit_width::kOrganizUnit, 11,
         FieldFilter::Subject, nullptr, &SubjectFields::OrganizUnit},
        {"edCommonName", TrMark("&ФИО : "), edit_width::kCommonName, 12, FieldFilter::Subject,
         "lblCommonName", &SubjectFields::CommonName},
        {"edEmail", TrMark("&Эл. почта : "), edit_width::kEmail, 13, FieldFilter::Email,
         "lblAstMail", &SubjectFields::Email},
    };
    return fields;
}

} // namespace

SubjectGrid::SubjectGrid(SameWidthGroup* captions, QWidget* parent) : QWidget(parent) {
    auto* grid = FieldGrid(this);
    int row = 0;
    for (const FieldSpec& field : Fields()) {
        const QString captionText = TrQ(field.caption);
        auto* caption = MakeRowLabel(captionText, this);
        auto* edit = new RuleLineEdit(field.filter, static_cast<int>(field.width), this);
        Named(edit, field.name, SpokenName(captionText), HintOf(field), field.help);
        SetDesignWidth(edit, design::kSubjectEditWidth);
        edit->setProperty(kHintTarget, true);
        BaseForm::suppressContextMenu(edit);
        caption->setBuddy(edit);
        captions->add(caption);
        grid->addWidget(caption, row, 0);
        grid->addWidget(edit, row, 1);
        if (field.mark) {
            QLabel* mark = MakeMark(this, field.mark);
            grid->addWidget(mark, row, 2);
            if (field.filter != FieldFilter::Email) {
                mark->hide();
                gostMarks_ << mark;
            }
        }
        connect(edit, &QLineEdit::textChanged, this, [this, edit] { emit fieldChanged(edit); });
        edits_.push_back(edit);
        captions_.push_back(caption);
        ++row;
    }
    grid->setColumnStretch(3, 1);
    FieldRule::setProgramText(firstEdit(), QStringLiteral("ru"));
}

SubjectFields SubjectGrid::fields() const {
    SubjectFields values;
    for (size_t i = 0; i < edits_.size(); ++i)
        values.*Fields()[i].value = S(edits_[i]->text());
    return values;
}

void SubjectGrid::showValues(const SubjectFields& values) {
    for (size_t i = 0; i < edits_.size(); ++i)
        FieldRule::setProgramText(edits_[i], Q(values.*Fields()[i].value));
}

void SubjectGrid::setGostMarksVisible(bool visible) {
    for (QLabel* mark : gostMarks_)
        mark->setVisible(visible);
}

QLabel* SubjectGrid::captionOf(const QObject* edit) const {
    for (size_t i = 0; i < edits_.size(); ++i) {
        if (edits_[i] == edit)
            return captions_[i];
    }
    return nullptr;
}

QList<QWidget*> SubjectGrid::tabChain() const {
    return QList<QWidget*>(edits_.begin(), edits_.end());
}

} // namespace cq::ui
