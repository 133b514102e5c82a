#pragma once
// The GOST panel of the request tab: the cryptographic providers that can make the key, the
// name the new key container gets (made from the clock, not chosen) and the start button.

#include "certs/GostRequest.h"

#include <QWidget>

#include <optional>
#include <set>
#include <string>
#include <vector>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace cq::ui {

class SameWidthGroup;

class GostPanel : public QWidget {
    Q_OBJECT
public:
    GostPanel(SameWidthGroup* captions, SameWidthGroup* buttons, QWidget* parent);
    ~GostPanel() override;

    /// Asks the installed providers again (tokens come and go) and lists those that qualify.
    void fillProviderList();

    QString providerName() const;
    QString containerName() const;
    /// The chosen provider, or nothing when the list is empty.
    std::optional<TProvInfo> chosenProvider() const;
    void setStartEnabled(bool enabled);

    QWidget* firstControl() const;
    QList<QWidget*> tabChain() const;

signals:
    void fieldChanged(QObject* sender);
    void startClicked();

private:
    void onProviderChanged();

    QComboBox* providerList_ = nullptr;
    QLineEdit* containerNameEdit_ = nullptr;
    QPushButton* startButton_ = nullptr;
    std::vector<TProvInfo> providerInfos_; ///< one per entry of the provider list
    std::set<std::string> toldModuleProblems_;
};

} // namespace cq::ui
