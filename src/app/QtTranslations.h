#pragma once

class QCoreApplication;

namespace kalent {

// Loads Qt's own Russian texts (dialogs, standard buttons, the command line's
// parser) from Qt's translations folder, so nothing the operator reads is
// English. The program's own texts are Russian already. Returns false when the
// translations are not installed; Qt then keeps its English words.
bool installQtTranslations(QCoreApplication &app);

} // namespace kalent
