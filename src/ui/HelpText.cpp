#include "ui/HelpText.h"

#include "base/Errors.h"
#include "base/Translate.h"
#include "ui/RichText.h"
#include "ui/RichTextBox.h"
#include "ui/UiText.h"

#include <QFile>
#include <QTextCursor>

#include <map>

// The compiled-in help texts (resources/help/help.qrc) live in this static library; registering
// them once is left to the first reader.
static void RegisterHelpResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(help);
        return true;
    }();
    (void)registered;
}

namespace cq::ui {

std::string HelpResourceName(int context) {
    static const std::map<int, const char*> names = {
        {7, "COUNTRY_WARNING"},       {8, "STATE_WARNING"},        {9, "LOCALITY_WARNING"},
        {10, "ORGANIZATION_WARNING"}, {11, "ORGANIZUNIT_WARNING"}, {12, "COMMONNAME_WARNING"},
        {13, "EMAIL_WARNING"},        {14, "PASS_WARNING"},        {15, "OPEN_WARNING"},
        {97, "SERT_WARNING"},         {98, "SERT_WARNING2"},       {99, "SERT_INFO"},
    };
    const auto found = names.find(context);
    return found != names.end() ? found->second : "";
}

std::string LoadTextResource(const std::string& name) {
    RegisterHelpResources();
    // A text in the catalog's language where there is one (":/TEXT/en/…"), the Russian otherwise.
    const QString language = CatalogLanguage();
    QFile file(QStringLiteral(":/TEXT/%1/").arg(language) + QString::fromStdString(name));
    if (language == QLatin1String("ru") || !file.exists())
        file.setFileName(QStringLiteral(":/TEXT/") + QString::fromStdString(name));
    if (name.empty() || !file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    const qsizetype end = bytes.indexOf('\0');
    return bytes.left(end < 0 ? bytes.size() : end).toStdString();
}

void FillHelpText(RichTextBox& box, int context, const std::string& hintText) {
    box.clear();
    // Text without a format of its own takes the box's font and colour, with no style.
    QTextCharFormat base;
    base.setFont(box.font(), QTextCharFormat::FontPropertiesAll);
    base.setFontWeight(QFont::Normal);
    base.setFontItalic(false);
    base.setFontUnderline(false);
    base.setForeground(box.palette().color(QPalette::Text));
    box.setCurrentCharFormat(base);
    QTextCursor cursor(box.document());
    if (context == kHelpEmpty) {
        // nothing to show
    } else if (context == kHelpHint) {
        cursor.insertText(QString::fromStdString(hintText), base);
    } else if (const std::string name = HelpResourceName(context); !name.empty()) {
        InsertRtf(cursor, ReadRtf(LoadTextResource(name)), base);
    } else {
        box.finishText();
        throw Exception(TrFormat("Нет информации под идексом - \"%1\"", {std::to_string(context)}));
    }
    box.finishText();
    box.moveCursor(QTextCursor::Start);
}

} // namespace cq::ui
