#pragma once
// The proxy area at the top of the main window: the "Использовать прокси" row, and below it the
// panel with the proxy settings (server, port, login, password), shown only while the box is
// ticked. Every edit stores its value into the settings at once, so the next request uses it
// before the settings are saved.

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace cq::ui {

class ProxyArea : public QWidget {
    Q_OBJECT
public:
    explicit ProxyArea(QWidget* parent);

    QCheckBox* useProxyCheck() const { return useProxyCheck_; }

    /// The controls in the order Tab visits them.
    QList<QWidget*> tabChain() const;

    /// Shows the proxy settings the program runs with: those of the settings file, or else the
    /// system's (the login and password are then left empty).
    void showSettings();

signals:
    /// The panel was shown or hidden: the area's height changed.
    void panelToggled(bool shown);

private:
    QWidget* buildUseRow();
    QWidget* buildPanel();
    void onUseProxyToggled(bool checked);

    QCheckBox* useProxyCheck_ = nullptr;
    QWidget* panel_ = nullptr;
    QLabel* sourceLabel_ = nullptr;
    QLineEdit* serverEdit_ = nullptr;
    QLineEdit* portEdit_ = nullptr;
    QLineEdit* loginEdit_ = nullptr;
    QLineEdit* passwordEdit_ = nullptr;
};

} // namespace cq::ui
