#include "ui/KeyPasswordDialog.h"

#include "certs/InputRules.h"
#include "ui/FormParts.h"
#include "ui/RuleLineEdit.h"
#include "ui/UiText.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <deque>

namespace cq::ui {
namespace {

std::deque<std::optional<QString>>& NextAnswers() {
    static std::deque<std::optional<QString>> answers;
    return answers;
}

// OK while both entries agree and the password passes the key password rule; the rule's words
// show under the fields meanwhile.
void FollowTheRule(QLineEdit* password, QLineEdit* confirmation, QLabel* refusal, QPushButton* ok) {
    const std::string typed = S(password->text());
    const std::optional<std::string> refused = PasswordRefusal(typed);
    const bool agree = password->text() == confirmation->text();
    refusal->setText(refused && !typed.empty() ? Q(*refused) : QString());
    ok->setEnabled(!refused && agree);
}

std::optional<std::string> ShowDialog(const std::string& email) {
    QDialog dialog(QApplication::activeWindow());
    dialog.setObjectName(QStringLiteral("keyPasswordDialog"));
    dialog.setWindowTitle(TrQ("Пароль нового ключа"));
    dialog.setWindowModality(Qt::ApplicationModal);
    auto* layout = new QFormLayout(&dialog);
    auto* text = new QLabel(TrQ("Задайте пароль нового ключа для продления "
                                "сертификата %1. Рабочий ключ и его пароль не "
                                "изменятся.")
                                .arg(Q(email)),
                            &dialog);
    text->setWordWrap(true);
    layout->addRow(text);
    QLineEdit* password = RuleLineEdit::makeKeyPassword(&dialog);
    password->setObjectName(QStringLiteral("edRenewalPassword"));
    password->setAccessibleName(TrQ("Пароль"));
    layout->addRow(TrQ("Пароль :"), password);
    QLineEdit* confirmation = RuleLineEdit::makeKeyPassword(&dialog);
    confirmation->setObjectName(QStringLiteral("edRenewalPassword2"));
    confirmation->setAccessibleName(TrQ("Подтверждение"));
    layout->addRow(TrQ("Подтверждение :"), confirmation);
    auto* refusal = new QLabel(&dialog);
    refusal->setWordWrap(true);
    layout->addRow(refusal);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addRow(buttons);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    const auto follow = [=] {
        FollowTheRule(password, confirmation, refusal, ok);
    };
    QObject::connect(password, &QLineEdit::textChanged, &dialog, follow);
    QObject::connect(confirmation, &QLineEdit::textChanged, &dialog, follow);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    follow();
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    std::string answer = S(password->text());
    password->clear();
    confirmation->clear();
    return answer;
}

} // namespace

std::optional<std::string> AskNewKeyPassword(const std::string& email) {
    if (NextAnswers().empty())
        return ShowDialog(email);
    std::optional<QString> next = std::move(NextAnswers().front());
    NextAnswers().pop_front();
    if (!next)
        return std::nullopt;
    return S(*next);
}

void setNextKeyPassword(std::optional<QString> answer) {
    NextAnswers().push_back(std::move(answer));
}

} // namespace cq::ui
