#pragma once
// The window's small pictures, drawn here rather than taken from the icon theme (whose first
// lookup costs the start-up several milliseconds): the information mark, the folder and the
// certificate of the export link, each in colour or grey for a disabled link.

#include <QPixmap>

class QLabel;
class QWidget;

namespace cq::ui {

enum class Picture { Information, Folder, Certificate };

QPixmap DrawPicture(Picture which, bool enabled);

/// A label showing the picture at its fixed size.
QLabel* MakePicture(QWidget* parent, Picture which, bool enabled);

} // namespace cq::ui
