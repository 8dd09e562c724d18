#pragma once

class QCoreApplication;

namespace kalent {

// Qt's own texts (file dialogs, the overwrite prompt, standard buttons such as
// "Cancel") come from Qt's translation catalogue. The program speaks Russian
// whatever the system's language, so the Russian catalogue "qtbase_ru" is
// installed on the application: from Qt's translations folder, or from
// "translations" beside the executable where a deployed program carries its own.
// The program's own texts are not translated and stay exactly as they are.
// Returns false (and the standard texts stay English) when no catalogue is found.
bool installQtTranslations(QCoreApplication &application);

} // namespace kalent
