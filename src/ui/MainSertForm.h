#pragma once
// The main window. For now it holds the frame the working controls go into: the two tabs with
// their "Информация" labels, the hint box and the save button; it installs the application-wide
// error handler and opens the information panel.

#include "ui/BaseForm.h"

class QLabel;
class QPushButton;
class QTabWidget;

namespace cq::ui {

class TRichBox;

class TMainSertForm : public TBaseForm {
    Q_OBJECT
public:
    explicit TMainSertForm(QWidget* parent = nullptr);
    ~TMainSertForm() override;

    TRichBox* rich() const { return rich_; }
    QTabWidget* PControl() const { return pControl_; }
    QLabel* lblSertInfo() const { return lblSertInfo_; }
    QLabel* lblSertGetInfo() const { return lblSertGetInfo_; }

private:
    void SertInfoClick();
    void lblSertGetInfoClick();

    QTabWidget* pControl_ = nullptr;
    QLabel* lblSertInfo_ = nullptr;
    QLabel* lblSertGetInfo_ = nullptr;
    TRichBox* rich_ = nullptr;
    QPushButton* butSave_ = nullptr;
};

/// The main window, or nullptr before start-up has made it.
TMainSertForm* MainSertForm();

} // namespace cq::ui
