#include "ui/SubjectGrid.h"

#include "ui/BaseForm.h"
#include "ui/FieldRule.h"
#include "ui/FormParts.h"
#include "ui/RuleLineEdit.h"
#include "ui/SameWidthGroup.h"

#include <QGridLayout>

namespace cq::ui {
namespace {

struct FieldSpec {
    const char* name;
    QString caption; // with the mnemonic's "&"
    size_t width;
    int help;
    FieldFilter filter;
    const char* mark; // null: never required
    std::string SubjectFields::*value;
};

const QString& LatinOnly() {
    static const QString text = QStringLiteral("Только латинские символы!");
    return text;
}

QString HintOf(const FieldSpec& field) {
    return field.filter == FieldFilter::Email
               ? QStringLiteral("Только латинские символы в нижнем регистре! До 40 символов.")
               : LatinOnly();
}

// The spoken name of a caption: "&Страна : " is "Страна".
QString SpokenName(const QString& caption) {
    return QString(caption).remove(QLatin1Char('&')).trimmed().chopped(2);
}

const std::vector<FieldSpec>& Fields() {
    static const std::vector<FieldSpec> fields = {
        {"edCountry", QStringLiteral("Стра&на : "), edit_width::kCountry, 7, FieldFilter::Subject,
         "lblAstCountry", &SubjectFields::Country},
        {"edState", QStringLiteral("Обл&асть : "), edit_width::kState, 8, FieldFilter::Subject,
         "lblAstState", &SubjectFields::State},
        {"edLocality", QStringLiteral("&Город : "), edit_width::kLocality, 9, FieldFilter::Subject,
         "lblAstLocality", &SubjectFields::Locality},
        {"edOrganization", QStringLiteral("Органи&зация : "), edit_width::kOrganization, 10,
         FieldFilter::Subject, "lblAstOrganization", &SubjectFields::Organization},
        {"edOrganizUnit", QStringLiteral("По&дразделение : "), edit_width::kOrganizUnit, 11,
         FieldFilter::Subject, nullptr, &SubjectFields::OrganizUnit},
        {"edCommonName", QStringLiteral("&ФИО : "), edit_width::kCommonName, 12,
         FieldFilter::Subject, "lblCommonName", &SubjectFields::CommonName},
        {"edEmail", QStringLiteral("&Эл. почта : "), edit_width::kEmail, 13, FieldFilter::Email,
         "lblAstMail", &SubjectFields::Email},
    };
    return fields;
}

} // namespace

SubjectGrid::SubjectGrid(SameWidthGroup* captions, QWidget* parent) : QWidget(parent) {
    auto* grid = FieldGrid(this);
    int row = 0;
    for (const FieldSpec& field : Fields()) {
        auto* caption = MakeRowLabel(field.caption, this);
        auto* edit = new RuleLineEdit(field.filter, static_cast<int>(field.width), this);
        Named(edit, field.name, SpokenName(field.caption), HintOf(field), field.help);
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
