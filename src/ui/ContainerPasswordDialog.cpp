#include "ui/ContainerPasswordDialog.h"

#include "ui/BusyTask.h"

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
    dialog.setWindowTitle(QStringLiteral("Пароль контейнера"));
    dialog.setWindowModality(Qt::ApplicationModal);
    auto* layout = new QFormLayout(&dialog);
    auto* text = new QLabel(
        (fresh ? QStringLiteral("Задайте пароль нового контейнера ключей \"%1\" (можно оставить "
                                "пустым).")
               : QStringLiteral("Введите пароль контейнера ключей \"%1\"."))
            .arg(QString::fromStdString(container)),
        &dialog);
    text->setWordWrap(true);
    layout->addRow(text);
    QLineEdit* password = PasswordEdit(&dialog, QStringLiteral("Пароль"));
    layout->addRow(QStringLiteral("Пароль :"), password);
    QLineEdit* confirmation = nullptr;
    if (fresh) {
        confirmation = PasswordEdit(&dialog, QStringLiteral("Подтверждение"));
        layout->addRow(QStringLiteral("Подтверждение :"), confirmation);
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

} // namespace

std::optional<SecretBytes> AskContainerPasswordDialog(const std::string& container,
                                                      provider::PasswordPurpose purpose) {
    if (QThread::currentThread() != qApp->thread()) {
        std::optional<SecretBytes> answer;
        RunOnInterfaceThread([&] { answer = AskContainerPasswordDialog(container, purpose); });
        return answer;
    }
    if (!NextAnswers().empty()) {
        std::optional<QString> next = std::move(NextAnswers().front());
        NextAnswers().pop_front();
        ++answered;
        if (!next)
            return std::nullopt;
        return SecretBytes(next->toStdString());
    }
    return ShowDialog(container, purpose);
}

void InstallContainerPasswordDialog() {
    provider::SetContainerPasswordPrompt(AskContainerPasswordDialog);
}

void UninstallContainerPasswordDialog() {
    provider::SetContainerPasswordPrompt({});
}

void setNextContainerPassword(std::optional<QString> answer) {
    NextAnswers().push_back(std::move(answer));
}

int dialogsAnswered() {
    return answered;
}

} // namespace cq::ui
