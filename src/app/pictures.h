#pragma once
#include <QIcon>
#include <QPixmap>

namespace hv {

// The command pictures 0..6: new, open, save, preview, print, help, delete.
QIcon commandPicture(int index);

// The splash picture, 400 x 78.
QPixmap splashPicture();

}  // namespace hv
