// The main window and the information panel are laid out for the font they get: at the design
// font the window keeps its designed size (TestMainWindow checks it); with a wider or larger
// font, a larger DPI or a scale factor every caption stays whole and the window grows around its
// layout instead of cutting. CTest runs this class also at 120 dpi, at a scale factor of 2 and
// with DejaVu Sans as the only font.
#include "UiTestSupport.h"

#include "TestSupport.h"
#include "ui/CertificateInfoPanel.h"
#include "ui/HelpText.h"
#include "ui/MainWindow.h"
#include "ui/RichTextBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

using namespace cq::ui;

namespace {

QString Describe(const QWidget* widget) {
    QString text;
    if (auto* label = qobject_cast<const QLabel*>(widget))
        text = label->text();
    else if (auto* button = qobject_cast<const QAbstractButton*>(widget))
        text = button->text();
    return QStringLiteral("%1 \"%2\" %3x%4 at %5,%6")
        .arg(widget->objectName().isEmpty() ? QString::fromLatin1(widget->metaObject()->className())
                                            : widget->objectName(),
             text)
        .arg(widget->width())
        .arg(widget->height())
        .arg(widget->mapTo(widget->window(), QPoint()).x())
        .arg(widget->mapTo(widget->window(), QPoint()).y());
}

QString Caption(const QWidget* widget) {
    if (auto* label = qobject_cast<const QLabel*>(widget))
        return label->pixmap().isNull() ? label->text() : QString();
    if (auto* button = qobject_cast<const QAbstractButton*>(widget))
        return button->text();
    return {};
}

// Every shown caption in `window` (a window or the content it scrolls) that does not fit its
// control, and every shown control that reaches beyond its edge; empty when all is whole.
QStringList CutCaptions(const QWidget& window) {
    QStringList cut;
    const auto widgets = window.findChildren<QWidget*>();
    for (const QWidget* widget : widgets) {
        if (!widget->isVisible() || widget->window() != window.window())
            continue;
        const QRect inWindow(widget->mapTo(&window, QPoint()), widget->size());
        if (!window.rect().contains(inWindow))
            cut << QStringLiteral("beyond the window: ") + Describe(widget);
        const QString caption = Caption(widget);
        bool fits = true;
        if (!caption.isEmpty()) {
            const QSize hint = widget->sizeHint();
            const QFontMetrics metrics = widget->fontMetrics();
            fits = widget->width() >= hint.width() &&
                   widget->contentsRect().height() >= metrics.height() &&
                   widget->contentsRect().width() >=
                       metrics.horizontalAdvance(QString(caption).remove(QLatin1Char('&')));
        } else if (auto* combo = qobject_cast<const QComboBox*>(widget);
                   combo && !combo->isEditable() &&
                   combo->sizePolicy().horizontalPolicy() != QSizePolicy::Ignored) {
            fits = combo->width() >= combo->sizeHint().width();
        }
        if (!fits)
            cut << Describe(widget);
    }
    for (const QTabBar* bar : window.findChildren<QTabBar*>()) {
        if (!bar->isVisible())
            continue;
        for (int i = 0; i < bar->count(); ++i) {
            const QRect tab = bar->tabRect(i);
            if (tab.right() >= bar->width() ||
                tab.width() < bar->fontMetrics().horizontalAdvance(bar->tabText(i)))
                cut << QStringLiteral("tab ") + bar->tabText(i);
        }
    }
    return cut;
}

// The left or right edges (in window coordinates) of the shown controls among `names`.
QSet<int> Edges(const QWidget& window, const QStringList& names, bool right) {
    QSet<int> edges;
    for (const QString& name : names) {
        const auto* widget = window.findChild<QWidget*>(name);
        if (widget && widget->isVisible()) {
            const QPoint topLeft = widget->mapTo(&window, QPoint());
            edges << (right ? topLeft.x() + widget->width() : topLeft.x());
        }
    }
    return edges;
}

// The controls keep their columns across the request tab's parts and the two tabs: the fields
// start where the subject fields start, the captions on their left end together, and the
// buttons and links on the right end at one edge.
QString MisalignedColumns(const QWidget& window) {
    const QStringList fields = {"edCountry",   "edEmail",    "cBoxRsaGost", "edPassword",
                                "edPassword2", "cbProvName", "cbCont"};
    const QStringList rightEdge = {"lblSertInfo",  "butSendSert",    "cbProvName",
                                   "butStartGost", "lblSertGetInfo", "butSertificatGet"};
    QStringList captions;
    for (const QString& field : fields)
        for (const QLabel* label : window.findChildren<QLabel*>())
            if (label->buddy() && label->buddy()->objectName() == field && label->isVisible()) {
                const QPoint topLeft = label->mapTo(&window, QPoint());
                captions << QString::number(topLeft.x() + label->width());
            }
    if (Edges(window, fields, false).size() > 1)
        return QStringLiteral("fields start at different places");
    if (QSet<QString>(captions.begin(), captions.end()).size() > 1)
        return QStringLiteral("captions end at ") + captions.join(QLatin1Char(','));
    if (Edges(window, rightEdge, true).size() > 1)
        return QStringLiteral("the right column is ragged");
    return {};
}

// Lets the deferred measurements and the layouts run.
void Settle() {
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

} // namespace

class TestMainWindowLayout : public QObject {
    Q_OBJECT
private slots:
    void init() { test::TakeBoxes(); }
    void cleanup() {
        FreeInformationPanel();
        test::TakeBoxes(); // the GOST mode may report that no provider qualifies
    }

    void everyCaptionFitsAndTheWindowGrows_data() {
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("pointSize");
        QTest::addColumn<QByteArray>("lang");
        QTest::newRow("the form's font") << QString() << 0 << QByteArray("C");
        QTest::newRow("Liberation Sans 10")
            << QStringLiteral("Liberation Sans") << 10 << QByteArray("C");
        QTest::newRow("DejaVu Sans 8") << QStringLiteral("DejaVu Sans") << 8 << QByteArray("C");
        QTest::newRow("DejaVu Sans 11") << QStringLiteral("DejaVu Sans") << 11 << QByteArray("C");
        QTest::newRow("Liberation Serif 14")
            << QStringLiteral("Liberation Serif") << 14 << QByteArray("C");
        // English captions are longer than the Russian ones in places.
        QTest::newRow("English, the form's font") << QString() << 0 << QByteArray("en_US.UTF-8");
        QTest::newRow("English, DejaVu Sans 11")
            << QStringLiteral("DejaVu Sans") << 11 << QByteArray("en_US.UTF-8");
        QTest::newRow("English, Liberation Serif 14")
            << QStringLiteral("Liberation Serif") << 14 << QByteArray("en_US.UTF-8");
    }
    void everyCaptionFitsAndTheWindowGrows() {
        QFETCH(QString, family);
        QFETCH(int, pointSize);
        QFETCH(QByteArray, lang);
        const test::TestLanguage language(lang.constData());
        cq::test::TempDir dir;
        cq::test::UseProgramFolder(dir.path());
        cq::test::WriteFile(dir / "CertQuorix.ini",
                            "[Proxy]\r\nUse=1\r\nServer=proxy.local\r\nPort=3128\r\n");
        MainWindow form;
        QVERIFY(test::ShowActive(form));
        QVERIFY(QTest::qWaitFor([&form] { return form.initialised(); }));
        if (!family.isEmpty())
            form.setFont(QFont(family, pointSize));
        Settle();

        auto* proxy = form.findChild<QCheckBox*>(QStringLiteral("chBoxProxyUse"));
        auto* mode = form.findChild<QComboBox*>(QStringLiteral("cBoxRsaGost"));
        for (const bool proxyShown : {true, false}) {
            proxy->setChecked(proxyShown);
            for (int tab = 0; tab < form.tabs()->count(); ++tab) {
                form.tabs()->setCurrentIndex(tab);
                for (int modeIndex = 0; modeIndex < (tab == 0 ? 2 : 1); ++modeIndex) {
                    mode->setCurrentIndex(modeIndex);
                    Settle();
                    const QString where = QStringLiteral("proxy %1, tab %2, mode %3")
                                              .arg(proxyShown)
                                              .arg(tab)
                                              .arg(modeIndex);
                    // The content is whole; where the screen is too small for it, it scrolls.
                    const auto* content = form.findChild<QWidget*>(QStringLiteral("windowContent"));
                    QVERIFY(content);
                    const QStringList cut = CutCaptions(*content);
                    QVERIFY2(cut.isEmpty(),
                             qPrintable(where + ": " + cut.join(QStringLiteral("; "))));
                    const QString misaligned = MisalignedColumns(form);
                    QVERIFY2(misaligned.isEmpty(), qPrintable(where + ": " + misaligned));
                    // The content is as large as its layout asks, never less than designed; the
                    // window takes it whole where the work area has room.
                    QCOMPARE(content->size(), content->sizeHint());
                    QVERIFY(content->width() >= 437);
                    QVERIFY(content->height() >= (proxyShown ? 525 : 428));
                    const QSize room = form.screen()->availableGeometry().size() -
                                       (form.frameGeometry().size() - form.size());
                    if (room.expandedTo(form.sizeHint()) == room)
                        QCOMPARE(form.size(), form.sizeHint());
                    else
                        QVERIFY(room.expandedTo(form.size()) == room);
                }
            }
        }
    }

    // Ticking "Использовать прокси" near the bottom of the screen keeps the window inside the
    // work area; where the content is larger than the area, the window takes the area and the
    // content scrolls.
    void theWindowStaysInsideTheWorkArea_data() {
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("pointSize");
        QTest::newRow("the form's font") << QString() << 0;
        QTest::newRow("DejaVu Sans 11") << QStringLiteral("DejaVu Sans") << 11;
        QTest::newRow("Liberation Serif 14") << QStringLiteral("Liberation Serif") << 14;
        QTest::newRow("Liberation Serif 22") << QStringLiteral("Liberation Serif") << 22;
    }
    void theWindowStaysInsideTheWorkArea() {
        QFETCH(QString, family);
        QFETCH(int, pointSize);
        cq::test::TempDir dir;
        cq::test::UseProgramFolder(dir.path());
        cq::test::WriteFile(dir / "CertQuorix.ini", "[Proxy]\r\nUse=0\r\n");
        MainWindow form;
        QVERIFY(test::ShowActive(form));
        QVERIFY(QTest::qWaitFor([&form] { return form.initialised(); }));
        if (!family.isEmpty())
            form.setFont(QFont(family, pointSize));
        Settle();
        const QRect area = form.screen()->availableGeometry();
        form.move(form.x(), area.bottom() - form.frameGeometry().height());
        Settle();
        form.findChild<QCheckBox*>(QStringLiteral("chBoxProxyUse"))->setChecked(true);
        Settle();
        const QRect frame = form.frameGeometry();
        QVERIFY2(area.contains(frame), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                      .arg(frame.x())
                                                      .arg(frame.y())
                                                      .arg(frame.width())
                                                      .arg(frame.height())));
        const auto* content = form.findChild<QWidget*>(QStringLiteral("windowContent"));
        const auto* scroller = form.findChild<QScrollArea*>();
        QVERIFY(content && scroller);
        const bool fits = content->height() <= form.height() && content->width() <= form.width();
        QCOMPARE(scroller->verticalScrollBar()->isVisible() ||
                     scroller->horizontalScrollBar()->isVisible(),
                 !fits);
        // The focus brings a control that is out of sight into view.
        QWidget* save = form.findChild<QWidget*>(QStringLiteral("butSave"));
        save->setFocus();
        Settle();
        const QRect shown(save->mapTo(scroller->viewport(), QPoint()), save->size());
        QVERIFY(scroller->viewport()->rect().contains(shown));
    }

    // Placed once its size is final: centred in the work area where it fits, its top left corner
    // on the work area where it does not. The information panel opens inside the work area too.
    void theWindowIsPlacedWithItsFinalSize_data() {
        QTest::addColumn<QString>("proxy");
        QTest::newRow("proxy panel shown") << QStringLiteral("Use=1");
        QTest::newRow("proxy panel hidden") << QStringLiteral("Use=0");
    }
    void theWindowIsPlacedWithItsFinalSize() {
        QFETCH(QString, proxy);
        cq::test::TempDir dir;
        cq::test::UseProgramFolder(dir.path());
        cq::test::WriteFile(dir / "CertQuorix.ini", "[Proxy]\r\n" + proxy.toStdString() + "\r\n");
        MainWindow form;
        QVERIFY(test::ShowActive(form));
        QVERIFY(QTest::qWaitFor([&form] { return form.initialised(); }));
        const QRect area = form.screen()->availableGeometry();
        const QRect frame = form.frameGeometry();
        QVERIFY(frame.top() >= area.top());
        QVERIFY(frame.left() >= area.left());
        if (frame.height() <= area.height())
            QCOMPARE(frame.top() - area.top(), (area.height() - frame.height()) / 2);
        if (frame.width() <= area.width())
            QCOMPARE(frame.left() - area.left(), (area.width() - frame.width()) / 2);

        ShowHelpInfo(kHelpCertificateFiles, nullptr);
        CertificateInfoPanel* panel = InformationPanel();
        QVERIFY(panel && panel->isVisible());
        QVERIFY(panel->width() >= panel->minimumSizeHint().width());
        QVERIFY(panel->height() >= panel->minimumSizeHint().height());
        QVERIFY(area.contains(panel->frameGeometry().topLeft()));
    }
};

CQ_UI_TEST(TestMainWindowLayout);

#include "test_MainWindowLayout.moc"
