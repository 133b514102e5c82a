#include "ui/MainWindow.h"

#include "app/AppServer.h"
#include "app/ErrorReport.h"
#include "base/Dialogs.h"
#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/ShellOpenCodes.h"
#include "certs/AddressOverview.h"
#include "certs/CertificateCheck.h"
#include "certs/GostProcedure.h"
#include "certs/NssImport.h"
#include "certs/Pkcs12Export.h"
#include "certs/Submission.h"
#include "platform/Process.h"
#include "settings/CertFolders.h"
#include "settings/EmailList.h"
#include "settings/ServiceDefaults.h"
#include "settings/Settings.h"
#include "transport/ProxyDiscovery.h"
#include "ui/BusyTask.h"
#include "ui/CertificateInfoPanel.h"
#include "ui/ContainerPasswordDialog.h"
#include "ui/DesktopTask.h"
#include "ui/FieldRule.h"
#include "ui/HelpText.h"
#include "ui/KeyboardIndicator.h"
#include "ui/RichTextBox.h"
#include "ui/SameWidthGroup.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDropEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>
#include <limits>

namespace cq::ui {
namespace {

MainWindow* theMainWindow = nullptr;

ShellOpener& LinkOpener() {
    static ShellOpener opener;
    return opener;
}

std::function<void()>& Beeper() {
    static std::function<void()> beeper;
    return beeper;
}

// The window's design at its own font (8 points at 96 pixels per inch). The layouts keep these
// sizes as the least an area or a control takes; a wider font, a larger DPI or a longer caption
// makes them grow, and the window with them.
constexpr int kClientWidth = 437;
constexpr int kUseProxyHeight = 26;
constexpr int kProxyHeight = 97;
constexpr int kPageControlHeight = 348;
constexpr int kBottomHeight = 54;
constexpr int kHintBoxWidth = 320;
constexpr int kSaveStripWidth = 117;
constexpr int kMargin = 8;
constexpr int kLabelColumnWidth = 110;
constexpr int kSubjectEditWidth = 270;
constexpr int kPasswordEditWidth = 150;
constexpr int kContainerEditWidth = 170;
constexpr int kModeListWidth = 90;
constexpr int kRightButtonWidth = 132;
constexpr int kTestButtonWidth = 108;
constexpr int kSaveButtonWidth = 86;
constexpr int kButtonHeight = 25;
constexpr int kMarkWidth = 12;
constexpr int kPictureSize = 16;
constexpr int kRowSpacing = 2;
constexpr int kColumnSpacing = 4;

const QColor kNavy(0, 0, 128);
const QColor kHoverBlue(0, 0, 255);
const char* const kHelpContext = "helpContext";
const char* const kHintTarget = "hintTarget";
QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

std::string S(const QString& text) {
    return text.toStdString();
}

std::string Trimmed(const QString& text) {
    return S(text.trimmed());
}

// The spec-free naming every control gets: its object name (for tests and the accessibility
// description), its hint as tooltip, its help context and the accessible name a screen reader
// speaks.
template <typename W>
W* Named(W* widget, const char* name, const QString& accessibleName, const QString& hint = {},
         int helpContext = 0) {
    widget->setObjectName(QLatin1String(name));
    widget->setAccessibleName(accessibleName);
    widget->setAccessibleDescription(QLatin1String(name));
    if (!hint.isEmpty())
        widget->setToolTip(hint);
    widget->setProperty(kHelpContext, helpContext);
    return widget;
}

// A font that sets only the given attributes: the rest (face, size) still comes from the window,
// so a label drawn bold follows the window's font when that changes.
QFont Emphasis(bool bold, bool underline = false, int pointSize = 0) {
    QFont font;
    font.setBold(bold);
    font.setUnderline(underline);
    if (pointSize > 0)
        font.setPointSize(pointSize);
    return font;
}

QLabel* MakeLabel(const QString& caption, QWidget* parent, bool bold = false) {
    auto* label = new QLabel(caption, parent);
    if (bold)
        label->setFont(Emphasis(true));
    return label;
}

// A caption on the left of its field, right-aligned against it.
QLabel* MakeRowLabel(const QString& caption, QWidget* parent) {
    auto* label = MakeLabel(caption, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

// A field as wide as designed, or wider where its font asks for more; a list's entries do not
// widen it (the hint shows a long entry whole).
template <typename W> W* WithDesignWidth(W* field, int width) {
    field->setMinimumWidth(width);
    QSizePolicy policy = field->sizePolicy();
    policy.setHorizontalPolicy(QSizePolicy::Fixed);
    field->setSizePolicy(policy);
    if (auto* list = qobject_cast<QComboBox*>(field))
        list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    return field;
}

// A button at least as large as designed; a longer caption widens it.
QPushButton* WithDesignSize(QPushButton* button, int width) {
    button->setMinimumSize(width, kButtonHeight);
    return button;
}

// A label that reads like a link: navy, bold, underlined, with the hand cursor; a left click
// runs `onClick` while the label is enabled.
QLabel* MakeLinkLabel(const QString& caption, const QString& hint, QWidget* parent,
                      std::function<void()> onClick) {
    auto* label = new QLabel(caption, parent);
    label->setFont(Emphasis(true, true));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, kNavy);
    // A disabled link reads grey, whatever its colour; its second picture shows the state too.
    palette.setColor(QPalette::Disabled, QPalette::WindowText,
                     palette.color(QPalette::Disabled, QPalette::Text));
    label->setPalette(palette);
    label->setCursor(Qt::PointingHandCursor);
    label->setToolTip(hint);

    class ClickFilter : public QObject {
    public:
        ClickFilter(QObject* parent, std::function<void()> click)
            : QObject(parent), click_(std::move(click)) {}
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() != QEvent::MouseButtonRelease ||
                static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton ||
                !static_cast<QWidget*>(watched)->isEnabled())
                return false;
            click_();
            return true;
        }

    private:
        std::function<void()> click_;
    };
    label->installEventFilter(new ClickFilter(label, std::move(onClick)));
    return label;
}

// A large red "*" beside a required field. It takes the height of its row without adding to it,
// and keeps its room while hidden, so the fields do not move when the marks come and go.
QLabel* MakeMark(QWidget* parent, const char* name) {
    auto* mark = Named(new QLabel(QStringLiteral("*"), parent), name,
                       QStringLiteral("Обязательное поле"), QStringLiteral("Обязательное поле"));
    mark->setFont(Emphasis(true, false, 14));
    QPalette palette = mark->palette();
    palette.setColor(QPalette::WindowText, Qt::red);
    mark->setPalette(palette);
    mark->setMinimumWidth(kMarkWidth);
    QSizePolicy policy(QSizePolicy::Fixed, QSizePolicy::Ignored);
    policy.setRetainSizeWhenHidden(true);
    mark->setSizePolicy(policy);
    return mark;
}

// The window's small pictures, drawn here rather than taken from the icon theme (whose first
// lookup costs the start-up several milliseconds): the information mark, the folder and the
// certificate of the export link, each in colour or grey for a disabled link.
enum class Picture { Information, Folder, Certificate };

QPixmap DrawPicture(Picture which, bool enabled) {
    QPixmap pixmap(kPictureSize, kPictureSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    auto colour = [enabled](QColor c) {
        return enabled ? c : QColor(160, 160, 160);
    };
    switch (which) {
    case Picture::Information: {
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour(QColor(0, 0, 128)));
        painter.drawEllipse(QRectF(1, 1, 14, 14));
        painter.setBrush(Qt::white);
        painter.drawEllipse(QRectF(7, 3.5, 2.2, 2.2));
        painter.drawRect(QRectF(7, 7, 2.2, 6));
        break;
    }
    case Picture::Folder:
        painter.setPen(colour(QColor(150, 110, 0)));
        painter.setBrush(colour(QColor(240, 200, 60)));
        painter.drawRect(QRectF(1.5, 2.5, 6, 3));
        painter.drawRect(QRectF(1.5, 4.5, 13, 9));
        break;
    case Picture::Certificate:
        painter.setPen(colour(QColor(60, 60, 60)));
        painter.setBrush(Qt::white);
        painter.drawRect(QRectF(1.5, 2.5, 13, 10));
        painter.drawLine(QPointF(4, 5.5), QPointF(12, 5.5));
        painter.drawLine(QPointF(4, 7.5), QPointF(9, 7.5));
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour(QColor(200, 0, 0)));
        painter.drawEllipse(QRectF(9, 8.5, 5, 5));
        break;
    }
    return pixmap;
}

QLabel* MakePicture(QWidget* parent, Picture which, bool enabled) {
    auto* picture = new QLabel(parent);
    picture->setPixmap(DrawPicture(which, enabled));
    picture->setFixedSize(kPictureSize, kPictureSize);
    return picture;
}

// The top line of a tab: the keyboard indicator (request tab only) on the left, the
// "Информация" link with its picture on the right.
QHBoxLayout* InformationRow(QWidget* left, QLabel* picture, QLabel* link) {
    auto* row = new QHBoxLayout;
    row->setSpacing(kColumnSpacing);
    if (left)
        row->addWidget(left, 0, Qt::AlignVCenter);
    row->addStretch(1);
    row->addWidget(picture, 0, Qt::AlignVCenter);
    row->addWidget(link, 0, Qt::AlignVCenter);
    return row;
}

// A grid of captions on the left and fields on the right.
QGridLayout* FieldGrid(QWidget* parent = nullptr) {
    auto* grid = new QGridLayout(parent);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(kColumnSpacing);
    grid->setVerticalSpacing(kRowSpacing);
    return grid;
}

// The layout of a tab's page: the design's margins, spacing set row by row.
constexpr int kPageTopMargin = 6;
constexpr int kPageRightMargin = 5;

QVBoxLayout* PageColumn(QWidget* page) {
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(kMargin, kPageTopMargin, kPageRightMargin, 0);
    column->setSpacing(0);
    return column;
}

// A line edit as wide as a sample of the text it will hold (its usual width is that of 17
// average letters).
class TextSampleEdit : public QLineEdit {
public:
    TextSampleEdit(QString sample, QWidget* parent)
        : QLineEdit(parent), sample_(std::move(sample)) {}
    QSize sizeHint() const override {
        QSize hint = QLineEdit::sizeHint();
        const int usual = 17 * fontMetrics().horizontalAdvance(QLatin1Char('x'));
        const int needed = fontMetrics().horizontalAdvance(sample_) - usual;
        hint.rwidth() += std::max(0, needed);
        return hint;
    }

private:
    QString sample_;
};

// Runs a handler; an error that escapes it is reported once and the window goes on.
template <typename F> void Guarded(F&& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        QApplication::restoreOverrideCursor();
        OnApplicationError(error);
    }
}

// The hourglass for the length of a scope.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

void Beep() {
    if (Beeper())
        Beeper()();
    else
        QApplication::beep();
}

// Puts the field's rules on an edit; a refused character sounds like a refused keystroke.
void GuardField(QLineEdit* edit, FieldFilter filter, int maxChars) {
    auto* rule = new FieldRule(edit, filter, maxChars);
    rule->setOnRefusedCharacter(Beep);
}

// Opens the certificate folder; a failure names the folder, so the user can go there anyway.
void OpenFolderNamingIt(const std::string& address, const ShellOpener& opener) {
    try {
        OpenCertificateFolder(address, opener);
    } catch (const std::exception& error) {
        if (AddressRefusal(address))
            throw;
        throw Exception("Папка сертификата " +
                        ExcludeTrailingPathDelimiter(CertificateFolder(address)) +
                        " не открыта: " + DescribeError(error));
    }
}

bool IsModifier(int key) {
    return key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt;
}

} // namespace

MainWindow::MainWindow(QWidget* parent) : BaseForm(parent) {
    theMainWindow = this;
    setWindowTitle(QStringLiteral("QUORIX Cert - запрос/получение сертификатов"));
    setWindowFlag(Qt::WindowMinimizeButtonHint);
    setAccessibleName(windowTitle());

    labelColumn_ = new SameWidthGroup(kLabelColumnWidth, this);
    buttonColumn_ = new SameWidthGroup(kRightButtonWidth, this);
    buildProxyArea();
    tabs_ = Named(new QTabWidget(this), "PControl", QStringLiteral("Вкладки"));
    tabs_->addTab(buildRequestTab(), QStringLiteral("Запрос на сертификат"));
    tabs_->addTab(buildReceptionTab(), QStringLiteral("Получение сертификата"));
    tabs_->widget(0)->setObjectName(QStringLiteral("tSheetInquiry"));
    tabs_->widget(1)->setObjectName(QStringLiteral("tSheetReception"));
    connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == 0)
            keyboardIndicator_->showActiveLayout(); // the request tab shown
        else
            Guarded([this] { onReceptionTabShown(); });
    });
    buildBottomStrip();
    setTabOrderChain();

    layOutAreas();
    adjustSizeLimitsToScreen();
    stateEdit_->setFocus();

    // Errors that escape any handler of the program end here.
    SetApplicationErrorHandler([](const std::exception& error) { OnApplicationError(error); });
    SetHelpOwnerWindow(this);
    InstallContainerPasswordDialog();
}

MainWindow::~MainWindow() {
    if (theMainWindow == this)
        theMainWindow = nullptr;
    SetApplicationErrorHandler({});
    UninstallContainerPasswordDialog();
    providerInfos_.clear();
    providerList_->clear();
}

void MainWindow::setShellOpener(ShellOpener opener) {
    LinkOpener() = std::move(opener);
}

void MainWindow::setBeeper(std::function<void()> beeper) {
    Beeper() = std::move(beeper);
}

// ---- building -------------------------------------------------------------------------------

void MainWindow::buildProxyArea() {
    useProxyArea_ = new QWidget(this);
    useProxyArea_->setObjectName(QStringLiteral("pnlUseProxy"));
    useProxyCheck_ = Named(new QCheckBox(QStringLiteral("Использовать прокси"), useProxyArea_),
                           "chBoxProxyUse", QStringLiteral("Использовать прокси"),
                           QStringLiteral("Включает/выключает использование прокси в запросах."));
    useProxyCheck_->setChecked(true);
    useProxyCheck_->setProperty(kHintTarget, true);
    connect(useProxyCheck_, &QCheckBox::toggled, this,
            [this](bool checked) { onUseProxyToggled(checked); });
    auto* useRow = new QHBoxLayout(useProxyArea_);
    useRow->setContentsMargins(kMargin, 0, kMargin, 0);
    useRow->addWidget(useProxyCheck_, 0, Qt::AlignVCenter);
    useRow->addStretch(1);

    proxyArea_ = new QWidget(this);
    proxyArea_->setObjectName(QStringLiteral("pnlProxy"));
    proxySourceLabel_ =
        Named(MakeLabel(QStringLiteral("Настройки прокси считаны из ini файла"), proxyArea_, true),
              "lblProxiInfo", QStringLiteral("Настройки прокси считаны из ini файла"),
              QStringLiteral("Удалите ini файл или секцию Proxy из него чтобы взять настройки из "
                             "Internet Explorer"));
    // The caption on top; below it the four edits side by side, each with its caption above.
    auto* column = new QVBoxLayout(proxyArea_);
    column->setContentsMargins(kMargin, 6, kMargin, 6);
    column->setSpacing(0);
    column->addWidget(proxySourceLabel_);
    column->addSpacing(14);
    auto* grid = FieldGrid();
    grid->setHorizontalSpacing(6);
    column->addLayout(grid);
    column->addStretch(1);

    struct Field {
        QLineEdit** edit;
        const char* name;
        QString caption;
        QString hint;
        int width;
        std::string SettingsValues::*value;
    };
    const Field fields[] = {
        {&proxyServerEdit_, "edProxyServer", QStringLiteral("Прокси сервер"),
         QStringLiteral("Введите имя прокси."), 190, &SettingsValues::ProxyServer},
        {&proxyPortEdit_, "edProxyPort", QStringLiteral("Порт"),
         QStringLiteral("Введите номер порта."), 56, &SettingsValues::ProxyPort},
        {&proxyLoginEdit_, "edProxyLogin", QStringLiteral("Логин"),
         QStringLiteral("Авторизация в прокси, введите логин, если требуется."), 80,
         &SettingsValues::ProxyUserName},
        {&proxyPasswordEdit_, "edProxyPassword", QStringLiteral("Пароль"),
         QStringLiteral("Авторизация в прокси, введите пароль, если требуется."), 77,
         &SettingsValues::ProxyPassword},
    };
    int index = 0;
    for (const Field& field : fields) {
        auto* label = MakeLabel(field.caption, proxyArea_);
        // The four edits share the row in the designed proportions, whatever their captions.
        auto* edit = Named(new QLineEdit(proxyArea_), field.name, field.caption, field.hint);
        edit->setMinimumWidth(field.width);
        edit->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        edit->setProperty(kHintTarget, true);
        suppressContextMenu(edit);
        label->setBuddy(edit);
        *field.edit = edit;
        grid->addWidget(label, 0, index);
        grid->addWidget(edit, 1, index);
        grid->setColumnStretch(index, field.width); // a wider window widens them alike
        ++index;
        // The next request uses the value at once, before the settings are saved.
        connect(edit, &QLineEdit::textChanged, this,
                [value = field.value](const QString& text) { Settings().*value = Trimmed(text); });
    }
    proxyPasswordEdit_->setEchoMode(QLineEdit::Password);
    markSecret(proxyPasswordEdit_);
}

QWidget* MainWindow::buildRequestTab() {
    auto* page = new QWidget(this); // in the window's font from the start
    keyboardIndicator_ = new KeyboardIndicator(page);
    requestInfoLink_ = Named(
        MakeLinkLabel(QStringLiteral("Информация"),
                      QStringLiteral("Предупреждение по получению сертификатов. Быстрый вызов "
                                     "(Ctrl+I)"),
                      page, [this] { onRequestInfoLinkClicked(); }),
        "lblSertInfo", QStringLiteral("Информация"));
    auto* requestInfoPicture = MakePicture(page, Picture::Information, true);
    requestInfoPicture->setObjectName(QStringLiteral("imjSertInfo"));
    requestInfoPicture->setToolTip(requestInfoLink_->toolTip());
    auto* layoutWarning = Named(
        MakeLabel(QStringLiteral("Ввод должен осуществляться только в английской раскладке!"), page,
                  true),
        "lblSert", QStringLiteral("Ввод должен осуществляться только в английской раскладке!"));

    auto* column = PageColumn(page);
    column->addLayout(InformationRow(keyboardIndicator_, requestInfoPicture, requestInfoLink_));
    column->addSpacing(4);
    column->addWidget(layoutWarning);
    column->addSpacing(9);
    column->addLayout(buildSubjectGrid(page));
    column->addSpacing(3);
    column->addWidget(buildModePanels(page));
    column->addStretch(1);
    return page;
}

// The subject fields with their captions and marks, a line, and the choice of RSA or GOST.
QGridLayout* MainWindow::buildSubjectGrid(QWidget* page) {
    struct Field {
        QLineEdit** edit;
        const char* name;
        QString caption;
        int maxLength;
        QString hint;
        int help;
        FieldFilter filter;
        const char* mark;
    };
    const QString latinOnly = QStringLiteral("Только латинские символы!");
    const Field fields[] = {
        {&countryEdit_, "edCountry", QStringLiteral("Страна : "),
         static_cast<int>(edit_width::kCountry), latinOnly, 7, FieldFilter::Subject,
         "lblAstCountry"},
        {&stateEdit_, "edState", QStringLiteral("Область : "), static_cast<int>(edit_width::kState),
         latinOnly, 8, FieldFilter::Subject, "lblAstState"},
        {&localityEdit_, "edLocality", QStringLiteral("Город : "),
         static_cast<int>(edit_width::kLocality), latinOnly, 9, FieldFilter::Subject,
         "lblAstLocality"},
        {&organizationEdit_, "edOrganization", QStringLiteral("Организация : "),
         static_cast<int>(edit_width::kOrganization), latinOnly, 10, FieldFilter::Subject,
         "lblAstOrganization"},
        {&organizationalUnitEdit_, "edOrganizUnit", QStringLiteral("Подразделение : "),
         static_cast<int>(edit_width::kOrganizUnit), latinOnly, 11, FieldFilter::Subject, nullptr},
        {&commonNameEdit_, "edCommonName", QStringLiteral("ФИО : "),
         static_cast<int>(edit_width::kCommonName), latinOnly, 12, FieldFilter::Subject,
         "lblCommonName"},
        {&emailEdit_, "edEmail", QStringLiteral("Эл. почта : "),
         static_cast<int>(edit_width::kEmail),
         QStringLiteral("Только латинские символы в нижнем регистре! До 40 символов."), 13,
         FieldFilter::Email, "lblAstMail"},
    };
    auto* grid = FieldGrid();
    int row = 0;
    for (const Field& field : fields) {
        auto* label = MakeRowLabel(field.caption, page);
        auto* edit =
            WithDesignWidth(Named(new QLineEdit(page), field.name,
                                  field.caption.trimmed().chopped(2), field.hint, field.help),
                            kSubjectEditWidth);
        GuardField(edit, field.filter, field.maxLength);
        edit->setProperty(kHintTarget, true);
        suppressContextMenu(edit);
        label->setBuddy(edit);
        editLabels_.insert(edit, label);
        labelColumn_->add(label);
        *field.edit = edit;
        grid->addWidget(label, row, 0);
        grid->addWidget(edit, row, 1);
        if (field.mark) {
            QLabel* mark = MakeMark(page, field.mark);
            grid->addWidget(mark, row, 2);
            if (edit != emailEdit_) {
                mark->hide();
                gostMarks_ << mark;
            }
        }
        connect(edit, &QLineEdit::textChanged, this, [this, edit] { onRequestFieldChanged(edit); });
        ++row;
    }
    FieldRule::setProgramText(countryEdit_, QStringLiteral("ru"));

    auto* line = new QFrame(page);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    grid->addWidget(line, row, 0, 1, 4);
    grid->setRowMinimumHeight(row, 9);
    ++row;

    auto* certificateTypeLabel = Named(MakeRowLabel(QStringLiteral("Тип сертификата :"), page),
                                       "lblRsaGost", QStringLiteral("Тип сертификата"));
    certificateTypeList_ =
        Named(new QComboBox(page), "cBoxRsaGost", QStringLiteral("Тип сертификата"),
              QStringLiteral("Смена типа запрашиваемого сертификата RSA/ГОСТ"));
    certificateTypeList_->addItems({QStringLiteral("RSA"), QStringLiteral("ГОСТ")});
    certificateTypeList_->setMinimumWidth(kModeListWidth);
    certificateTypeList_->setFocusPolicy(Qt::ClickFocus); // not a tab stop
    certificateTypeLabel->setBuddy(certificateTypeList_);
    labelColumn_->add(certificateTypeLabel);
    grid->addWidget(certificateTypeLabel, row, 0);
    grid->addWidget(certificateTypeList_, row, 1, Qt::AlignLeft);
    grid->setColumnStretch(3, 1);
    connect(certificateTypeList_, &QComboBox::currentIndexChanged, this,
            [this] { Guarded([this] { onCertificateTypeChanged(); }); });
    // Chosen by the user, the mode hands the focus on to the first control of its panel.
    connect(certificateTypeList_, &QComboBox::activated, this, [this] {
        QWidget* next =
            rsaPanel_->isHidden() ? static_cast<QWidget*>(providerList_) : passwordEdit_;
        if (next->isEnabled())
            next->setFocus(Qt::TabFocusReason);
    });
    return grid;
}

// The RSA panel and, in its place, the GOST panel: one shown at a time, the room of the larger
// kept, so the window keeps its size when the mode changes.
QWidget* MainWindow::buildModePanels(QWidget* page) {
    modePanels_ = new QStackedWidget(page);
    modePanels_->addWidget(buildRsaPanel());
    modePanels_->addWidget(buildGostPanel());
    modePanels_->setCurrentWidget(rsaPanel_);
    return modePanels_;
}

QWidget* MainWindow::buildRsaPanel() {
    rsaPanel_ = new QWidget(modePanels_);
    rsaPanel_->setObjectName(QStringLiteral("pnlSendRSA"));
    auto* passwordLabel = MakeRowLabel(QStringLiteral("Пароль : "), rsaPanel_);
    passwordEdit_ =
        WithDesignWidth(Named(new QLineEdit(rsaPanel_), "edPassword", QStringLiteral("Пароль"),
                              QStringLiteral("Не больше 16 символов"), 14),
                        kPasswordEditWidth);
    sendRsaRequestButton_ =
        WithDesignSize(Named(new QPushButton(QStringLiteral("Отправить запрос"), rsaPanel_),
                             "butSendSert", QStringLiteral("Отправить запрос"),
                             QStringLiteral("Посылает запрос на сертификат на сервер Кворикс")),
                       kRightButtonWidth);
    auto* passwordConfirmLabel = MakeRowLabel(QStringLiteral("Подтверждение : "), rsaPanel_);
    passwordConfirmEdit_ = WithDesignWidth(Named(new QLineEdit(rsaPanel_), "edPassword2",
                                                 QStringLiteral("Подтверждение"),
                                                 QStringLiteral("Не больше 16 символов"), 14),
                                           kPasswordEditWidth);
    openPasswordCheck_ =
        Named(new QCheckBox(QStringLiteral("Открытый пароль"), rsaPanel_), "chBoxPassw",
              QStringLiteral("Открытый пароль"),
              QStringLiteral("Отключает защиту пароля. Внимание! Пароль будет сохранен "
                             "в папку сертификата в открытом виде!"),
              15);

    // The fields on the left, the button at the top right.
    auto* fields = FieldGrid();
    fields->addWidget(passwordLabel, 0, 0);
    fields->addWidget(passwordEdit_, 0, 1);
    fields->addWidget(MakeMark(rsaPanel_, "lblAstPass"), 0, 2);
    fields->addWidget(passwordConfirmLabel, 1, 0);
    fields->addWidget(passwordConfirmEdit_, 1, 1);
    fields->addWidget(openPasswordCheck_, 2, 1, 1, 2);
    fields->setRowStretch(3, 1);
    auto* panel = new QHBoxLayout(rsaPanel_);
    panel->setContentsMargins(0, 0, 0, 0);
    panel->setSpacing(kColumnSpacing);
    panel->addLayout(fields);
    panel->addStretch(1);
    panel->addWidget(sendRsaRequestButton_, 0, Qt::AlignTop);
    labelColumn_->add(passwordLabel);
    labelColumn_->add(passwordConfirmLabel);
    buttonColumn_->add(sendRsaRequestButton_);

    for (QLineEdit* edit : {passwordEdit_, passwordConfirmEdit_}) {
        GuardField(edit, FieldFilter::None, static_cast<int>(edit_width::kPassword));
        edit->setEchoMode(QLineEdit::Password);
        markSecret(edit); // also while "Открытый пароль" shows it in clear
        edit->setProperty(kHintTarget, true);
        suppressContextMenu(edit);
        connect(edit, &QLineEdit::textChanged, this, [this, edit] { onRequestFieldChanged(edit); });
    }
    passwordLabel->setBuddy(passwordEdit_);
    passwordConfirmLabel->setBuddy(passwordConfirmEdit_);
    editLabels_.insert(passwordEdit_, passwordLabel);
    editLabels_.insert(passwordConfirmEdit_, passwordConfirmLabel);
    sendRsaRequestButton_->setEnabled(false);
    sendRsaRequestButton_->setProperty(kHintTarget, true);
    openPasswordCheck_->setProperty(kHintTarget, true);
    connect(openPasswordCheck_, &QCheckBox::toggled, this,
            [this](bool checked) { onOpenPasswordToggled(checked); });
    connect(sendRsaRequestButton_, &QPushButton::clicked, this,
            [this] { Guarded([this] { onSendRsaRequestClicked(); }); });
    return rsaPanel_;
}

QWidget* MainWindow::buildGostPanel() {
    gostPanel_ = new QWidget(modePanels_);
    gostPanel_->setObjectName(QStringLiteral("pnlSendGost"));
    auto* providerLabel = Named(MakeRowLabel(QStringLiteral("Крипто провайдер :"), gostPanel_),
                                "lblProvName", QStringLiteral("Крипто провайдер"));
    // Across the panel. The providers' names can be long; the list shows what fits and its hint
    // the whole name.
    providerList_ =
        Named(new QComboBox(gostPanel_), "cbProvName", QStringLiteral("Крипто провайдер"));
    providerList_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    providerList_->setMinimumWidth(kContainerEditWidth);
    providerLabel->setBuddy(providerList_);
    startGostButton_ =
        WithDesignSize(Named(new QPushButton(QStringLiteral("Начать процедуру"), gostPanel_),
                             "butStartGost", QStringLiteral("Начать процедуру"),
                             QStringLiteral("Посылает запрос на сертификат на сервер Кворикс")),
                       kRightButtonWidth);
    startGostButton_->setEnabled(false);
    startGostButton_->setProperty(kHintTarget, true);
    auto* containerLabel = Named(MakeRowLabel(QStringLiteral("Контейнер ключей :"), gostPanel_),
                                 "lblCont", QStringLiteral("Контейнер ключей"));
    // A one-line field without a list, disabled and grey: the name is made, not chosen. It is
    // wide enough for the whole name.
    containerNameEdit_ = Named(new TextSampleEdit(Q(GostContainerName({})), gostPanel_), "cbCont",
                               QStringLiteral("Контейнер ключей"));
    WithDesignWidth(containerNameEdit_, kContainerEditWidth);
    containerNameEdit_->setEnabled(false);
    containerLabel->setBuddy(containerNameEdit_);

    // The provider list across the panel; below it the container's name and the button.
    auto* grid = FieldGrid(gostPanel_);
    grid->addWidget(providerLabel, 0, 0);
    grid->addWidget(providerList_, 0, 1);
    grid->addWidget(containerLabel, 1, 0);
    auto* containerRow = new QHBoxLayout;
    containerRow->setSpacing(kColumnSpacing);
    containerRow->addWidget(containerNameEdit_, 0, Qt::AlignVCenter);
    containerRow->addStretch(1);
    containerRow->addWidget(startGostButton_);
    grid->addLayout(containerRow, 1, 1);
    grid->setRowStretch(2, 1);
    labelColumn_->add(providerLabel);
    labelColumn_->add(containerLabel);
    buttonColumn_->add(startGostButton_);

    connect(providerList_, &QComboBox::currentIndexChanged, this, [this] { onProviderChanged(); });
    connect(containerNameEdit_, &QLineEdit::textChanged, this,
            [this] { onRequestFieldChanged(containerNameEdit_); });
    connect(startGostButton_, &QPushButton::clicked, this,
            [this] { Guarded([this] { onStartGostProcedureClicked(); }); });
    return gostPanel_;
}

QWidget* MainWindow::buildReceptionTab() {
    auto* page = new QWidget(this); // in the window's font from the start
    receptionInfoLink_ = Named(
        MakeLinkLabel(QStringLiteral("Информация"),
                      QStringLiteral("Информация по файлам сертификатов. Быстрый вызов (Ctrl+I)"),
                      page, [this] { onReceptionInfoLinkClicked(); }),
        "lblSertGetInfo", QStringLiteral("Информация"));
    auto* receptionInfoPicture = MakePicture(page, Picture::Information, true);
    receptionInfoPicture->setToolTip(receptionInfoLink_->toolTip());

    auto* addressCaption = Named(
        MakeLabel(QStringLiteral("Выберите/введите email для которого нужно получить сертификат"),
                  page, true),
        "Label1", QStringLiteral("Выберите/введите email для которого нужно получить сертификат"));
    receptionAddressList_ = WithDesignWidth(
        Named(new QComboBox(page), "comBoxMail", QStringLiteral("Email для получения сертификата"),
              QStringLiteral("Список emails для которых запрашивался сертификат. При "
                             "отсутствии введите его, лишние удалите из файла настроек.")),
        kSubjectEditWidth);
    receptionAddressList_->setEditable(true);
    receptionAddressList_->setInsertPolicy(QComboBox::NoInsert);
    receptionAddressList_->setProperty(kHintTarget, true);
    suppressContextMenu(receptionAddressList_->lineEdit());
    addressCaption->setBuddy(receptionAddressList_);
    downloadButton_ =
        WithDesignSize(Named(new QPushButton(QStringLiteral("Скачать"), page), "butSertificatGet",
                             QStringLiteral("Скачать"),
                             QStringLiteral("Пытается скачать сертификат с сервера Кворикс")),
                       kRightButtonWidth);
    downloadButton_->setProperty(kHintTarget, true);
    buttonColumn_->add(downloadButton_);
    receptionStateLabel_ =
        Named(MakeLabel(QStringLiteral("Уже получен! Повтор заменит файл."), page, true),
              "lblSertificatGet", QStringLiteral("Состояние"));
    QSizePolicy keepsRoom = receptionStateLabel_->sizePolicy();
    keepsRoom.setRetainSizeWhenHidden(true); // the controls below stay where they are
    receptionStateLabel_->setSizePolicy(keepsRoom);
    receptionStateLabel_->hide();

    auto* checkPasswordLabel = MakeLabel(QStringLiteral("Пароль"), page);
    checkPasswordEdit_ =
        WithDesignWidth(Named(new QLineEdit(page), "edCheckPassword", QStringLiteral("Пароль"),
                              QStringLiteral("Пароль для проверки RSA сертификата.")),
                        kPasswordEditWidth);
    GuardField(checkPasswordEdit_, FieldFilter::None, static_cast<int>(edit_width::kPassword));
    checkPasswordEdit_->setEchoMode(QLineEdit::Password);
    markSecret(checkPasswordEdit_);
    checkPasswordEdit_->setProperty(kHintTarget, true);
    suppressContextMenu(checkPasswordEdit_);
    checkPasswordLabel->setBuddy(checkPasswordEdit_);
    checkButton_ = WithDesignSize(Named(new QPushButton(QStringLiteral("Проверить"), page),
                                        "butSertificatTest", QStringLiteral("Проверить"),
                                        QStringLiteral("Выполняет проверку текущего сертификата")),
                                  kTestButtonWidth);
    checkButton_->setProperty(kHintTarget, true);

    folderLink_ = Named(MakeLinkLabel(QStringLiteral("Папка сертификата"),
                                      QStringLiteral("Открывает папку выбранного сертификата."),
                                      page, [this] { Guarded([this] { onFolderLinkClicked(); }); }),
                        "lblGoTo", QStringLiteral("Папка сертификата"));
    exportLink_ =
        Named(MakeLinkLabel(QStringLiteral("В хранилище (p12)"),
                            QStringLiteral("При использовании из системного хранилища windows (по "
                                           "желанию/требованию сторонних программ). Конвертирует "
                                           "сертификат в p12, и открывает его для импорта."),
                            page, [this] { Guarded([this] { onExportLinkClicked(); }); }),
              "lblInstall", QStringLiteral("В хранилище (p12)"));

    auto* column = PageColumn(page);
    column->addLayout(InformationRow(nullptr, receptionInfoPicture, receptionInfoLink_));
    column->addSpacing(8);
    column->addWidget(addressCaption);
    column->addSpacing(7);
    auto* download = new QHBoxLayout;
    download->addWidget(receptionAddressList_, 0, Qt::AlignVCenter);
    download->addStretch(1);
    download->addWidget(downloadButton_);
    column->addLayout(download);
    column->addSpacing(3);
    column->addWidget(receptionStateLabel_);
    column->addSpacing(13);
    column->addWidget(checkPasswordLabel);
    column->addSpacing(3);
    auto* check = new QHBoxLayout;
    check->setSpacing(12);
    check->addWidget(checkPasswordEdit_, 0, Qt::AlignVCenter);
    check->addWidget(checkButton_);
    check->addStretch(1);
    column->addLayout(check);
    column->addSpacing(27);
    // Each link with two pictures in one place: in colour while it works, grey while it is off.
    auto* links = FieldGrid();
    links->setHorizontalSpacing(6);
    links->setVerticalSpacing(10);
    int row = 0;
    for (auto [link, picture] :
         {std::pair{folderLink_, Picture::Folder}, std::pair{exportLink_, Picture::Certificate}}) {
        QLabel* enabled = MakePicture(page, picture, true);
        QLabel* disabled = MakePicture(page, picture, false);
        links->addWidget(enabled, row, 0);
        links->addWidget(disabled, row, 0);
        links->addWidget(link, row, 1);
        linkImages_.insert(link, {enabled, disabled});
        ++row;
    }
    links->setColumnStretch(2, 1);
    column->addLayout(links);
    column->addStretch(1);
    setLinkEnabled(folderLink_, false);
    setLinkEnabled(exportLink_, false);

    connect(receptionAddressList_, &QComboBox::editTextChanged, this,
            [this] { Guarded([this] { onReceptionAddressChanged(); }); });
    connect(downloadButton_, &QPushButton::clicked, this,
            [this] { Guarded([this] { onDownloadClicked(); }); });
    connect(checkButton_, &QPushButton::clicked, this,
            [this] { Guarded([this] { onCheckClicked(); }); });
    return page;
}

void MainWindow::buildBottomStrip() {
    bottomStrip_ = new QWidget(this);
    hintBox_ = Named(new RichTextBox(bottomStrip_), "rich", QStringLiteral("Подсказка"));
    hintBox_->setFocusPolicy(Qt::ClickFocus);
    hintBox_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    hintBox_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    hintBox_->setFormattingInset(4, 2);
    // The box takes the strip's height and the width the save button leaves it; its own idea of
    // a good size does not count.
    hintBox_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    hintBox_->setMinimumWidth(kHintBoxWidth);
    suppressContextMenu(hintBox_);
    saveButton_ = WithDesignSize(
        Named(new QPushButton(QStringLiteral("Сохранить"), bottomStrip_), "butSave",
              QStringLiteral("Сохранить"),
              QStringLiteral("Сохраняет настройки прокси, введенные данные сертификата. "
                             "Позволяет продолжить процедуру запроса после, начиная с "
                             "сохраненного.")),
        kSaveButtonWidth);
    saveButton_->setProperty(kHintTarget, true);
    connect(saveButton_, &QPushButton::clicked, this,
            [this] { Guarded([this] { onSaveClicked(); }); });

    auto* saveStrip = new QWidget(bottomStrip_);
    saveStrip->setMinimumWidth(kSaveStripWidth);
    auto* saveLayout = new QHBoxLayout(saveStrip);
    saveLayout->setContentsMargins(16, 0, 15, 0);
    saveLayout->addWidget(saveButton_, 0, Qt::AlignVCenter);
    auto* strip = new QHBoxLayout(bottomStrip_);
    strip->setContentsMargins(0, 0, 0, 0);
    strip->setSpacing(0);
    strip->addWidget(hintBox_, 1);
    strip->addWidget(saveStrip);
}

void MainWindow::setTabOrderChain() {
    const QList<QWidget*> chain = {useProxyCheck_,
                                   proxyServerEdit_,
                                   proxyPortEdit_,
                                   proxyLoginEdit_,
                                   proxyPasswordEdit_,
                                   tabs_->tabBar(),
                                   countryEdit_,
                                   stateEdit_,
                                   localityEdit_,
                                   organizationEdit_,
                                   organizationalUnitEdit_,
                                   commonNameEdit_,
                                   emailEdit_,
                                   passwordEdit_,
                                   sendRsaRequestButton_,
                                   passwordConfirmEdit_,
                                   openPasswordCheck_,
                                   providerList_,
                                   startGostButton_,
                                   containerNameEdit_,
                                   receptionAddressList_,
                                   downloadButton_,
                                   checkPasswordEdit_,
                                   checkButton_,
                                   saveButton_};
    for (qsizetype i = 1; i < chain.size(); ++i)
        setTabOrder(chain[i - 1], chain[i]);
}

// The tab order is a ring: after "Сохранить" comes "Использовать прокси" again, and back.
bool MainWindow::focusNextPrevChild(bool next) {
    QWidget* focus = QApplication::focusWidget();
    if (next && focus == saveButton_ && useProxyCheck_->isEnabled()) {
        useProxyCheck_->setFocus(Qt::TabFocusReason);
        return true;
    }
    if (!next && focus == useProxyCheck_ && saveButton_->isEnabled()) {
        saveButton_->setFocus(Qt::BacktabFocusReason);
        return true;
    }
    return BaseForm::focusNextPrevChild(next);
}

// The areas stacked top to bottom, each at least as large as designed; the proxy panel takes its
// room only while it is shown. The window has a dialog frame: it takes the size its contents
// need and the user cannot change it.
void MainWindow::layOutAreas() {
    useProxyArea_->setMinimumHeight(kUseProxyHeight);
    proxyArea_->setMinimumHeight(kProxyHeight);
    tabs_->setMinimumSize(kClientWidth, kPageControlHeight);
    bottomStrip_->setMinimumHeight(kBottomHeight);
    auto* areas = new QVBoxLayout(this);
    areas->setContentsMargins(0, 0, 0, 0);
    areas->setSpacing(0);
    areas->setSizeConstraint(QLayout::SetFixedSize);
    for (QWidget* area : {useProxyArea_, proxyArea_, static_cast<QWidget*>(tabs_), bottomStrip_})
        areas->addWidget(area);
}

// ---- start ----------------------------------------------------------------------------------

void MainWindow::showEvent(QShowEvent* event) {
    BaseForm::showEvent(event);
    if (deferredInitPosted_)
        return;
    deferredInitPosted_ = true;
    keyboardIndicator_->showActiveLayout(); // the request tab is shown with the window
    // The rest of the start runs once the window is on screen.
    QMetaObject::invokeMethod(
        this, [this] { Guarded([this] { deferredInit(); }); }, Qt::QueuedConnection);
}

void MainWindow::deferredInit() {
    const SavedSubject saved = LoadSettings();
    // The settings' values are shown in full, even where they break the fields' rules.
    FieldRule::setProgramText(countryEdit_, Q(saved.Country));
    FieldRule::setProgramText(stateEdit_, Q(saved.State));
    FieldRule::setProgramText(localityEdit_, Q(saved.Locality));
    FieldRule::setProgramText(organizationEdit_, Q(saved.Organization));
    FieldRule::setProgramText(organizationalUnitEdit_, Q(saved.OrganizUnit));
    FieldRule::setProgramText(commonNameEdit_, Q(saved.CommonName));
    FieldRule::setProgramText(emailEdit_, Q(saved.Email));
    if (saved.OpenPassw) {
        FieldRule::setProgramText(passwordEdit_, Q(saved.Password));
        openPasswordCheck_->setChecked(true);
    }
    if (saved.Gost) {
        QWidget* focus = QApplication::focusWidget();
        certificateTypeList_->setCurrentIndex(1);
        if (focus)
            focus->setFocus();
    }
    SettingsValues& settings = Settings();
    if (settings.ProxyFromIni) {
        const SettingsValues fromIni = settings; // the edits' change handlers write back
        useProxyCheck_->setChecked(fromIni.ProxyUse);
        proxyServerEdit_->setText(Q(fromIni.ProxyServer));
        proxyPortEdit_->setText(Q(fromIni.ProxyPort));
        proxyLoginEdit_->setText(Q(fromIni.ProxyUserName));
        proxyPasswordEdit_->setText(Q(fromIni.ProxyPassword));
    } else {
        TakeSystemProxyUnlessFromIni();
        const SettingsValues system = settings;
        useProxyCheck_->setChecked(system.ProxyUse);
        proxyServerEdit_->setText(Q(system.ProxyServer));
        proxyPortEdit_->setText(Q(system.ProxyPort));
        proxyLoginEdit_->clear();
        proxyPasswordEdit_->clear();
        proxySourceLabel_->setText(QStringLiteral("Настройки прокси считаны из Internet Explorer"));
        proxySourceLabel_->setToolTip({});
    }
    // Placed once the proxy panel has taken or given up its room: the size is final now.
    centreInWorkArea();
    initialised_ = true;
    emit deferredInitDone();
}

// Centred in the work area; a window larger than the area keeps its top left corner on it.
void MainWindow::centreInWorkArea() {
    const QScreen* shown = screen();
    if (!shown)
        return;
    const QRect area = shown->availableGeometry();
    const QSize frame = frameGeometry().size();
    move(area.left() + std::max(0, (area.width() - frame.width()) / 2),
         area.top() + std::max(0, (area.height() - frame.height()) / 2));
}

// ---- proxy area -----------------------------------------------------------------------------

void MainWindow::onUseProxyToggled(bool checked) {
    Settings().ProxyUse = checked;
    proxyArea_->setVisible(checked);
    layout()->activate(); // the window takes its new height now, not at the next event
}

// ---- request tab ----------------------------------------------------------------------------

SubjectFields MainWindow::subjectEdits() const {
    SubjectFields subject;
    subject.Country = S(countryEdit_->text());
    subject.State = S(stateEdit_->text());
    subject.Locality = S(localityEdit_->text());
    subject.Organization = S(organizationEdit_->text());
    subject.OrganizUnit = S(organizationalUnitEdit_->text());
    subject.CommonName = S(commonNameEdit_->text());
    subject.Email = S(emailEdit_->text());
    return subject;
}

RequestFields MainWindow::requestFields() const {
    RequestFields fields;
    fields.subject() = subjectEdits();
    fields.password = S(passwordEdit_->text());
    fields.password2 = S(passwordConfirmEdit_->text());
    fields.openPassword = openPasswordCheck_->isChecked();
    fields.provider = S(providerList_->currentText());
    fields.container = S(containerNameEdit_->text());
    return fields;
}

void MainWindow::onRequestFieldChanged(QObject* sender) {
    // Built lazily: the edits fire while the constructor is still making the later ones.
    if (!startGostButton_)
        return;
    const RequestFields fields = requestFields();
    if (auto* edit = qobject_cast<QLineEdit*>(sender); edit && editLabels_.contains(edit)) {
        QLabel* label = editLabels_.value(edit);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, CommonNameIsBad(fields)
                                                   ? QColor(Qt::red)
                                                   : this->palette().color(QPalette::WindowText));
        label->setPalette(palette);
    }
    sendRsaRequestButton_->setEnabled(RsaSendEnabled(fields, service::kOperatorMailDomain));
    startGostButton_->setEnabled(GostStartEnabled(fields, service::kOperatorMailDomain));
}

void MainWindow::onOpenPasswordToggled(bool checked) {
    passwordEdit_->setEchoMode(checked ? QLineEdit::Normal : QLineEdit::Password);
    passwordConfirmEdit_->setEnabled(!checked);
    onRequestFieldChanged(openPasswordCheck_);
}

void MainWindow::onCertificateTypeChanged() {
    const bool gost = certificateTypeList_->currentIndex() == 1;
    modePanels_->setCurrentWidget(gost ? gostPanel_ : rsaPanel_);
    for (QLabel* mark : gostMarks_)
        mark->setVisible(gost);
    if (!gost)
        return;
    QApplication::processEvents(); // the new panel is painted before the providers are asked
    WaitCursor wait;
    fillProviderList();
}

void MainWindow::fillProviderList() {
    providerInfos_.clear();
    {
        const QSignalBlocker quiet(providerList_);
        providerList_->clear();
    }
    containerNameEdit_->clear();
    // Tokens come and go: they are looked for again each time the list is built.
    provider::RefreshInstalledProviders();
    // A faulty module costs only its own tokens: the others are listed, and the user learns
    // which module was left out and why.
    std::vector<ProviderEntry> entries;
    try {
        entries = QualifyingProviders();
    } catch (const std::exception&) {
        tellFaultyModules();
        throw;
    }
    tellFaultyModules();
    for (const ProviderEntry& entry : entries) {
        providerInfos_.push_back(entry.Info);
        const QSignalBlocker quiet(providerList_);
        providerList_->addItem(Q(entry.Name));
    }
    providerList_->setCurrentIndex(0);
    onProviderChanged();
}

void MainWindow::tellFaultyModules() {
    for (const std::string& problem : provider::InstalledProviders().problems())
        if (toldModuleProblems_.insert(problem).second)
            ShowWarningBox(problem);
}

void MainWindow::onProviderChanged() {
    const QString name = providerList_->currentText();
    providerList_->setToolTip(name);
    if (name.isEmpty())
        containerNameEdit_->clear();
    else
        containerNameEdit_->setText(Q(GostContainerName(std::chrono::system_clock::now())));
    onRequestFieldChanged(providerList_);
}

void MainWindow::onSendRsaRequestClicked() {
    passwordConfirmEdit_->clear();
    const RequestFields fields = requestFields();
    if (const std::optional<std::string> refusal = PasswordRefusal(fields.password)) {
        ShowErrorBox(*refusal, context::kRequestCertificate);
        return;
    }
    const SubjectData subject = BuildSubjectData(fields);
    // Key generation and the exchange run off the interface thread; the window waits for them.
    const bool sent =
        RunBusy([&subject] { return RequestRsaCertificate(kCertificateKeyFile, subject); });
    if (sent)
        openPasswordCheck_->setFocus();
}

void MainWindow::onStartGostProcedureClicked() {
    const int index = providerList_->currentIndex();
    if (index < 0 || static_cast<size_t>(index) >= providerInfos_.size())
        return;
    GostRequestForm form = GostFormFor(requestFields());
    form.Info = providerInfos_[static_cast<size_t>(index)];
    // A cancelled password dialog ends the procedure without a word; errors reach the handler.
    RunBusy([&form] { return RunGostProcedure(form); });
}

// ---- reception tab --------------------------------------------------------------------------

std::string MainWindow::mailAddress() const {
    return Trimmed(receptionAddressList_->currentText());
}

void MainWindow::setLinkEnabled(QLabel* link, bool enabled) {
    link->setEnabled(enabled);
    const auto images = linkImages_.value(link);
    if (images.first)
        images.first->setVisible(enabled);
    if (images.second)
        images.second->setVisible(!enabled);
}

void MainWindow::onReceptionTabShown() {
    {
        const QSignalBlocker quiet(receptionAddressList_);
        receptionAddressList_->clear();
        for (const std::string& address : EmailListAddresses(ReadEmailList()))
            receptionAddressList_->addItem(Q(address));
        const QString typed = emailEdit_->text().trimmed();
        const int index = receptionAddressList_->findText(typed, Qt::MatchFixedString);
        if (index >= 0)
            receptionAddressList_->setCurrentIndex(index);
        else
            receptionAddressList_->setEditText(typed);
    }
    onReceptionAddressChanged();
}

void MainWindow::onReceptionAddressChanged() {
    reception_ = EvaluateReceptionState(S(receptionAddressList_->currentText()));
    applyReceptionState();
}

void MainWindow::applyReceptionState() {
    setLinkEnabled(exportLink_, reception_.InstallEnabled);
    setLinkEnabled(folderLink_, reception_.FolderLinkEnabled);
    downloadButton_->setEnabled(reception_.DownloadEnabled);
    receptionStateLabel_->setText(Q(reception_.StateLabel));
    receptionStateLabel_->setVisible(reception_.StateLabelVisible);
    checkButton_->setEnabled(reception_.CheckEnabled);
}

void MainWindow::onDownloadClicked() {
    ReceptionState state = reception_;
    const std::string typed = S(receptionAddressList_->currentText());
    RunBusy([&] { ReceiveCertificate(typed, state); });
    reception_ = state;
    applyReceptionState();
}

void MainWindow::onCheckClicked() {
    CheckResult result;
    {
        WaitCursor wait;
        setLinkEnabled(exportLink_, false);
        result = CheckCertificate(kCertificateFile, kCertificateKeyFile, mailAddress(),
                                  S(checkPasswordEdit_->text()));
        reception_.InstallEnabled = result.Valid;
        setLinkEnabled(exportLink_, result.Valid);
    }
    if (!result.Text.empty())
        ShowInfoBox(result.Text);
}

void MainWindow::onExportLinkClicked() {
    const std::string address = mailAddress();
    const std::string password = S(checkPasswordEdit_->text());
    const ShellOpener opener = LinkOpener() ? LinkOpener() : ShellOpener(DesktopOpen);
    std::string written;
    int code = shellopen::kSucceeded;
    // The conversion runs the openssl tool; the window waits for it without freezing.
    RunBusy([&] {
        written = ExportPkcs12(address, password, ConfiguredPkcs12Profile());
        code = opener(written);
    });
    if (code == shellopen::kNoAssociation)
        tellWhereTheFileIs(written, password, opener);
    else
        CheckShellExecute(code);
}

// No program takes .p12 files here: the file is written all the same, so the user learns where
// it is, may open its folder and, where the NSS tools are, put it into the NSS store that
// browsers and mail programs read.
void MainWindow::tellWhereTheFileIs(const std::string& written, const std::string& password,
                                    const ShellOpener& opener) {
    const std::string folder = ExcludeTrailingPathDelimiter(ExtractFilePath(written));
    if (AskYesNo(std::string(kCertificateP12File) + " записан в папку\r\n" + folder +
                 "\r\n\r\nПрограммы для файлов .p12 на этом компьютере нет. Открыть папку?"))
        OpenOffInterfaceThread([folder, opener] { CheckShellExecute(opener(folder)); });
    if (FindInPath("pk12util").empty() ||
        !AskYesNo("Добавить сертификат в хранилище NSS (им пользуются браузеры и почтовые "
                  "программы)?"))
        return;
    RunBusy([&] { ImportIntoNssDatabase(written, password); });
    ShowInfoBox("Сертификат добавлен в хранилище NSS " + UserNssDatabase());
}

void MainWindow::onFolderLinkClicked() {
    const std::string address = mailAddress();
    const ShellOpener opener = LinkOpener() ? LinkOpener() : ShellOpener(DesktopOpen);
    OpenOffInterfaceThread([address, opener] { OpenFolderNamingIt(address, opener); });
}

// ---- save, help and hints -------------------------------------------------------------------

void MainWindow::onSaveClicked() {
    WaitCursor wait;
    SavedSubject subject;
    subject.subject() = TrimmedSubject(subjectEdits());
    subject.Password = S(passwordEdit_->text());
    subject.OpenPassw = openPasswordCheck_->isChecked();
    subject.Gost = !gostPanel_->isHidden();
    SaveSettings(subject);
    QThread::msleep(100); // the hourglass stays long enough to be seen
}

void MainWindow::onRequestInfoLinkClicked() {
    ShowHelpInfo(rsaPanel_->isHidden() ? kHelpGostProcedure : kHelpRsaProcedure, nullptr);
}

void MainWindow::onReceptionInfoLinkClicked() {
    ShowHelpInfo(kHelpCertificateFiles, nullptr);
}

void MainWindow::showHelpForFocus() {
    helpControl_ = nullptr;
    for (QWidget* control = QApplication::focusWidget(); control && control != this;
         control = control->parentWidget()) {
        if (const int context = control->property(kHelpContext).toInt(); context != 0) {
            helpControl_ = control;
            ShowHelpInfo(context, nullptr);
            return;
        }
    }
}

void MainWindow::onControlEntered(QWidget* control) {
    enteredControl_ = control;
    ShowHelpInfo(control->property(kHelpContext).toInt(), hintBox_, S(control->toolTip()));
}

void MainWindow::onControlLeft() {
    enteredControl_ = nullptr;
    ShowHelpInfo(kHelpEmpty, hintBox_);
}

void MainWindow::showHintOf(QWidget* underMouse) {
    QString hint;
    for (QWidget* w = underMouse; w && hint.isEmpty() && w != this; w = w->parentWidget())
        hint = w->toolTip().trimmed();
    if (!hint.isEmpty())
        ShowHelpInfo(underMouse->property(kHelpContext).toInt(), hintBox_, S(hint));
    else if (enteredControl_)
        ShowHelpInfo(enteredControl_->property(kHelpContext).toInt(), hintBox_,
                     S(enteredControl_->toolTip()));
    else
        ShowHelpInfo(kHelpEmpty, hintBox_);
}

void MainWindow::labelHover(QLabel* label, bool entering) {
    // The font colour of an enabled label: the active and inactive groups.
    QPalette palette = label->palette();
    auto setColour = [&palette](const QColor& colour) {
        palette.setColor(QPalette::Active, QPalette::WindowText, colour);
        palette.setColor(QPalette::Inactive, QPalette::WindowText, colour);
    };
    if (entering) {
        const QColor colour = palette.color(QPalette::Active, QPalette::WindowText);
        if (colour != kNavy || QWidget::mouseGrabber())
            return;
        hoverColours_.insert(label, colour);
        setColour(kHoverBlue);
    } else {
        if (!hoverColours_.contains(label))
            return;
        setColour(hoverColours_.take(label));
    }
    // Bold in both states; underlined unless the mouse is over it.
    label->setFont(Emphasis(true, !entering));
    label->setPalette(palette);
}

// ---- keyboard -------------------------------------------------------------------------------

bool MainWindow::typingFilter(QKeyEvent* key) {
    auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    const FieldRule* rule = FieldRule::of(edit);
    if (!rule || key->text().isEmpty())
        return false;
    const char32_t typed = key->text().toUcs4().value(0);
    // Control characters other than Backspace are editing keys here, not typed text.
    if ((typed < 32 && typed != 8) || typed == 127)
        return false;
    if (typed != 8 && rule->roomLeft() == 0)
        return true; // the edit is full: the keystroke goes nowhere, as with any length limit
    if (TypedCharPasses(rule->filter(), typed))
        return false;
    Beep();
    return true;
}

bool MainWindow::previewKeyPress(QKeyEvent* key) {
    if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
        if (key->key() == Qt::Key_Up)
            focusPreviousChild();
        else
            focusNextChild();
        return true;
    }
    if (key->key() == Qt::Key_F1) {
        showHelpForFocus();
        return true;
    }
    if (key->key() == Qt::Key_I && key->modifiers() == Qt::ControlModifier) {
        if (tabs_->currentIndex() == 0)
            onRequestInfoLinkClicked();
        else
            onReceptionInfoLinkClicked();
        return true;
    }
    if (typingFilter(key))
        return true;
    return BaseForm::previewKeyPress(key);
}

bool MainWindow::runEditAction(QAction* action) {
    if (action != pasteAction())
        return BaseForm::runEditAction(action);
    auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    if (!FieldRule::of(edit))
        return BaseForm::runEditAction(action);
    pasteThroughFilter(*edit, QApplication::clipboard()->text());
    return true;
}

void MainWindow::pasteThroughFilter(QLineEdit& edit, const QString& text) {
    if (edit.isReadOnly())
        return;
    const FieldRule* rule = FieldRule::of(&edit);
    if (auto refusal = PasteRefusal(rule->filter(), S(text))) {
        ShowErrorBox(*refusal);
        return;
    }
    // What does not fit is left out, as a field with a length limit does with any paste.
    edit.insert(LeftCharacters(text, rule->roomLeft()));
}

// Text that reaches a field other than by typing or the paste command, dropped on it or pasted
// from the X11 selection with the middle button, goes through the paste filter too.
bool MainWindow::otherPasteFilter(QLineEdit& edit, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton) {
        if (QApplication::clipboard()->supportsSelection())
            pasteThroughFilter(edit, QApplication::clipboard()->text(QClipboard::Selection));
        return true;
    }
    if (event->type() == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(event);
        if (drop->mimeData()->hasText()) {
            edit.setFocus();
            pasteThroughFilter(edit, drop->mimeData()->text());
        }
        drop->setDropAction(Qt::CopyAction); // the dragged text stays where it came from
        drop->accept();
        return true;
    }
    return false;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (auto* edit = qobject_cast<QLineEdit*>(widget);
        FieldRule::of(edit) && otherPasteFilter(*edit, event))
        return true;
    if (widget && widget->window() == this) {
        switch (event->type()) {
        case QEvent::KeyRelease: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (IsModifier(key))
                keyboardIndicator_->startRefreshTimer();
            if (widget == useProxyCheck_ && (key == Qt::Key_Right || key == Qt::Key_Down)) {
                focusNextChild();
                return true;
            }
            break;
        }
        case QEvent::FocusIn:
            if (widget->property(kHintTarget).toBool())
                onControlEntered(widget);
            else if (widget->parentWidget() == receptionAddressList_)
                onControlEntered(receptionAddressList_);
            break;
        case QEvent::FocusOut:
            if (widget->property(kHintTarget).toBool() ||
                widget->parentWidget() == receptionAddressList_)
                onControlLeft();
            break;
        case QEvent::Enter:
            if (auto* label = qobject_cast<QLabel*>(widget))
                labelHover(label, true);
            showHintOf(widget);
            break;
        case QEvent::Leave:
            if (auto* label = qobject_cast<QLabel*>(widget))
                labelHover(label, false);
            if (widget != this)
                showHintOf(widget->parentWidget());
            break;
        default:
            break;
        }
    }
    return BaseForm::eventFilter(watched, event);
}

MainWindow* TheMainWindow() {
    return theMainWindow;
}

} // namespace cq::ui
