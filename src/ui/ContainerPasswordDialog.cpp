#include "ui/ContainerPasswordDialog.h"

#include "ui/BusyTask.h"
#include "ui/UiText.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>

#include <deque>

namespace cq::ui {
namespace {

std::deque<std::optional<QString>>& NextAnswers() {
    static std::deque<std::optional<QString>> answers;
    return answers;
}

int answered = 0;

QLineEdit* PasswordEdit(QWidget* parent, const QString& name) {
    auto* edit = new QLineEdit(parent);
    edit->setEchoMode(QLineEdit::Password);
    edit->setAccessibleName(name);
    return edit;
}

std::optional<SecretBytes> ShowDialog(const std::string& container,
                                      provider::PasswordPurpose purpose) {
    const bool fresh = purpose == provider::PasswordPurpose::NewContainer;
    QDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(TrQ("Пароль контейнера"));
    dialog.setWindowModality(Qt::ApplicationModal);
    auto* layout = new QFormLayout(&dialog);
    auto* text =
        new QLabel((fresh ? TrQ("Задайте пароль нового контейнера ключей \"%1\" (можно оставить "
                                "пустым).")
                          : TrQ("Введите пароль контейнера ключей \"%1\"."))
                       .arg(QString::fromStdString(container)),
                   &dialog);
    text->setWordWrap(true);
    layout->addRow(text);
    QLineEdit* password = PasswordEdit(&dialog, TrQ("Пароль"));
    layout->addRow(TrQ("Пароль :"), password);
    QLineEdit* confirmation = nullptr;
    if (fresh) {
        confirmation = PasswordEdit(&dialog, TrQ("Подтверждение"));
        layout->addRow(TrQ("Подтверждение :"), confirmation);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (confirmation) {
        // OK only while both entries agree.
        auto agree = [=] {
            buttons->button(QDialogButtonBox::Ok)
                ->setEnabled(password->text() == confirmation->text());
        };
        QObject::connect(password, &QLineEdit::textChanged, &dialog, agree);
        QObject::connect(confirmation, &QLineEdit::textChanged, &dialog, agree);
    }
    NormalCursorWhileBusy normalCursor;
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    SecretBytes answer(password->text().toStdString());
    password->clear();
    if (confirmation)
        confirmation->clear();
    return answer;
}

/// The queued answer of a test, when there is one.
std::optional<std::optional<SecretBytes>> QueuedAnswer() {
    if (NextAnswers().empty())
        return std::nullopt;
    std::optional<QString> next = std::move(NextAnswers().front());
    NextAnswers().pop_front();
    ++answered;
    if (!next)
        return std::optional<SecretBytes>();
    return std::optional<SecretBytes>(SecretBytes(next->toStdString()));
}

QString PinWarning(const provider::TokenPinQuestion& question) {
    if (question.finalTry)
        return TrQ("Осталась последняя попытка: после неверного PIN-кода токен будет "
                   "заблокирован.");
    if (question.countLow)
        return TrQ("PIN-код уже вводился неверно.");
    return {};
}

std::optional<SecretBytes> ShowPinDialog(const provider::TokenPinQuestion& question) {
    QDialog dialog(QApplication::activeWindow());
    dialog.setObjectName(QStringLiteral("tokenPinDialog"));
    dialog.setWindowTitle(TrQ("PIN-код токена %1").arg(QString::fromStdString(question.token)));
    dialog.setWindowModality(Qt::ApplicationModal);
    auto* layout = new QFormLayout(&dialog);
    auto* text = new QLabel(TrQ("Введите PIN-код токена \"%1\" для контейнера ключей "
                                "\"%2\".")
                                .arg(QString::fromStdString(question.token),
                                     QString::fromStdString(question.container)),
                            &dialog);
    text->setWordWrap(true);
    layout->addRow(text);
    if (const QString warning = PinWarning(question); !warning.isEmpty()) {
        auto* caution = new QLabel(warning, &dialog);
        caution->setObjectName(QStringLiteral("pinWarning"));
        caution->setWordWrap(true);
        layout->addRow(caution);
    }
    QLineEdit* pin = PasswordEdit(&dialog, TrQ("PIN-код"));
    pin->setObjectName(QStringLiteral("edPin"));
    layout->addRow(TrQ("PIN-код :"), pin);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    NormalCursorWhileBusy normalCursor;
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    SecretBytes answer(pin->text().toStdString());
    pin->clear();
    return answer;
}

} // namespace

std::optional<SecretBytes> AskTokenPinDialog(const provider::TokenPinQuestion& question) {
    if (QThread::currentThread() != qApp->thread()) {
        std::optional<SecretBytes> answer;
        RunOnInterfaceThread([&] { answer = AskTokenPinDialog(question); });
        return answer;
    }
    if (std::optional<std::optional<SecretBytes>> queued = QueuedAnswer())
        return std::move(*queued);
    return ShowPinDialog(question);
}

std::optional<SecretBytes> AskContainerPasswordDialog(const std::string& container,
                                                      provider::PasswordPurpose purpose) {
    if (QThread::currentThread() != qApp->thread()) {
        std::optional<SecretBytes> answer;
        RunOnInterfaceThread([&] { answer = AskContainerPasswordDialog(container, purpose); });
        return answer;
    }
    if (std::optional<std::optional<SecretBytes>> queued = QueuedAnswer())
        return std::move(*queued);
    return ShowDialog(container, purpose);
}

void InstallContainerPasswordDialog() {
    provider::SetContainerPasswordPrompt(AskContainerPasswordDialog);
    provider::SetTokenPinPrompt(AskTokenPinDialog);
}

void UninstallContainerPasswordDialog() {
    provider::SetContainerPasswordPrompt({});
    provider::SetTokenPinPrompt({});
}

void setNextContainerPassword(std::optional<QString> answer) {
    NextAnswers().push_back(std::move(answer));
}

int dialogsAnswered() {
    return answered;
}

} // namespace cq::ui
