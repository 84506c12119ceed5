#pragma once
// The texts Qt draws itself (standard buttons, file and colour dialogs) in
// Russian, like the rest of the program, whatever the user's own language.

class QTranslator;

namespace hv {

// Loads Qt's Russian catalogue and installs it in the application; call it
// once the application object exists and before the first window. Looks in
// Qt's translations folder, then in "translations" beside the executable
// (where windeployqt puts them). Returns the installed translator (owned by
// the application), or nullptr when no catalogue was found: Qt's texts then
// stay English and the program works all the same. A second call returns the
// translator already installed.
QTranslator* installQtTranslations();

}  // namespace hv
