#pragma once
// The RSA panel of the request tab: the key's password, its confirmation, "Открытый пароль"
// (the password shown and stored in clear, no confirmation) and the send button.

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace cq::ui {

class SameWidthGroup;

class RsaPanel : public QWidget {
    Q_OBJECT
public:
    RsaPanel(SameWidthGroup* captions, SameWidthGroup* buttons, QWidget* parent);

    QString password() const;
    QString confirmation() const;
    bool openPassword() const;
    /// Shows a saved open password in clear (the settings keep it only then).
    void showOpenPassword(const QString& password);
    /// Empties the confirmation: after each send attempt it is typed again.
    void clearConfirmation();
    void setSendEnabled(bool enabled);

    QWidget* firstControl() const;
    QWidget* afterSending() const;
    QLabel* captionOf(const QObject* edit) const;
    QList<QWidget*> tabChain() const;

signals:
    void fieldChanged(QObject* sender);
    void sendClicked();

private:
    void onOpenPasswordToggled(bool checked);

    QLabel* passwordCaption_ = nullptr;
    QLabel* confirmationCaption_ = nullptr;
    QLineEdit* passwordEdit_ = nullptr;
    QLineEdit* confirmationEdit_ = nullptr;
    QCheckBox* openPasswordCheck_ = nullptr;
    QPushButton* sendButton_ = nullptr;
};

} // namespace cq::ui
