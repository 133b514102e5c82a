#pragma once
// The small building blocks the main window's areas are made of: the design sizes, captions,
// marks, grids and the naming every control gets. The sizes are the design at the window's own
// font (8 points at 96 pixels per inch); layouts keep them as the least a control takes, so a
// wider font, a larger DPI or a longer caption makes the control grow.

#include "certs/InputRules.h"

#include <QComboBox>
#include <QLabel>
#include <QString>

#include <string>

class QBoxLayout;
class QGridLayout;
class QHBoxLayout;
class QPushButton;
class QVBoxLayout;

namespace cq::ui {

namespace design {
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
constexpr int kRowSpacing = 2;
constexpr int kColumnSpacing = 4;
} // namespace design

/// The property holding a control's help context (the text F1 and the hint box show).
inline constexpr const char* kHelpContext = "helpContext";
/// The property of the controls whose focus shows their text in the hint box.
inline constexpr const char* kHintTarget = "hintTarget";
/// The property of a list whose Up and Down keys change its choice; elsewhere in the main
/// window they move the focus.
inline constexpr const char* kArrowsChoose = "arrowsChoose";

inline QString Q(const std::string& text) {
    return QString::fromStdString(text);
}
inline std::string S(const QString& text) {
    return text.toStdString();
}
inline std::string Trimmed(const QString& text) {
    return S(text.trimmed());
}

/// Gives a control its object name (the name tests and the accessibility description use), the
/// name a screen reader speaks, its hint as tooltip and its help context.
void Name(QWidget* widget, const char* name, const QString& accessibleName,
          const QString& hint = {}, int helpContext = 0);

template <typename W>
W* Named(W* widget, const char* name, const QString& accessibleName, const QString& hint = {},
         int helpContext = 0) {
    Name(widget, name, accessibleName, hint, helpContext);
    return widget;
}

/// A font that sets only the given attributes: face and size still come from the window, so a
/// bold label follows the window's font when that changes.
QFont Emphasis(bool bold, bool underline = false, int pointSize = 0);

QLabel* MakeLabel(const QString& caption, QWidget* parent, bool bold = false);
/// A caption on the left of its field, right-aligned against it.
QLabel* MakeRowLabel(const QString& caption, QWidget* parent);

/// A field as wide as designed, or wider where its font asks for more; a list's entries do not
/// widen it (the hint shows a long entry whole).
void SetDesignWidth(QWidget* field, int width);
template <typename W> W* WithDesignWidth(W* field, int width) {
    SetDesignWidth(field, width);
    return field;
}

/// A button at least as large as designed; a longer caption widens it.
QPushButton* WithDesignSize(QPushButton* button, int width);

/// A large red "*" beside a required field. It takes the height of its row without adding to
/// it, and keeps its room while hidden, so the fields do not move when the marks come and go.
QLabel* MakeMark(QWidget* parent, const char* name);

/// A grid of captions on the left and fields on the right.
QGridLayout* FieldGrid(QWidget* parent = nullptr);

/// The layout of a tab's page: the design's margins, spacing set row by row.
QVBoxLayout* PageColumn(QWidget* page);

/// The top line of a tab: `left` (may be null) on the left, a picture and a link on the right.
QHBoxLayout* InformationRow(QWidget* left, QLabel* picture, QLabel* link);

/// Sets the focus order of `chain`, one after the other.
void ChainTabOrder(const QList<QWidget*>& chain);

} // namespace cq::ui
