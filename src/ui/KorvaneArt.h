#pragma once
// The program's own artwork, drawn in code so it scales and needs no image files: the icon
// (the same motif as share/icons/.../korvane.svg) and the two header pictures.
#include <QIcon>
#include <QPixmap>

namespace korvane {

QIcon KorvaneIcon();
// Left header picture, 300 x 196.
QPixmap HeaderLeftPicture();
// Right header picture, 347 x 69.
QPixmap HeaderRightPicture();
// The window background colour.
inline QColor KorvaneBackground() { return QColor(128, 166, 56); }

}  // namespace korvane
