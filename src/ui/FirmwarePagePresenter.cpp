#include "FirmwarePagePresenter.h"

#include "common/LastFileChoice.h"
#include "firmware/FirmwareWizard.h"

#include <QDir>
#include <QFileInfo>

namespace kalent::FirmwarePagePresenter {

namespace {

const QString LineBreak = QStringLiteral("\n");

// A folder as the labels show it: native separators and one trailing separator.
QString shownFolder(const QString &folder)
{
    QString shown = QDir::toNativeSeparators(folder);
    if (!shown.endsWith(QDir::separator()))
        shown += QDir::separator();
    return shown;
}

} // namespace

QString fileLabel(const FirmwareFile &file)
{
    const QString bare = FirmwareWizard::defaultFileName();
    switch (file.source) {
    case FirmwareFile::Source::NotSearched:
        break;
    case FirmwareFile::Source::Missing:
        return QStringLiteral("Файл ") + bare + LineBreak + QStringLiteral("не найден.");
    case FirmwareFile::Source::BesideProgram:
        return shownFolder(QFileInfo(file.path).absolutePath()) + LineBreak + bare;
    case FirmwareFile::Source::InDataFolder:
        return shownFolder(file.dataFolder) + LineBreak + FirmwareWizard::firmwareFolderName() +
               QDir::separator() + LineBreak + bare;
    case FirmwareFile::Source::Chosen: {
        // Split where the dialog's choice is split for the next dialog.
        LastFileChoice split;
        split.remember(QDir::toNativeSeparators(file.path));
        return split.dir() + LineBreak + split.name();
    }
    }
    return QStringLiteral("Файл не найден");
}

FirmwarePageView present(const FirmwareState &state)
{
    FirmwarePageView view;
    view.fileLabel = fileLabel(state.file);
    view.fileTip = QDir::toNativeSeparators(state.file.path);
    view.loadEnabled = state.linkUp && state.step == WizardStep::Ready && state.file.found();
    if (view.loadEnabled)
        view.loadHint = QStringLiteral("Загрузка программы управления в прибор.");
    else if (state.step != WizardStep::Unopened)
        view.loadHint = QStringLiteral("Прибор не готов к загрузке программы управления.");
    view.stopShown = state.step == WizardStep::Sending;
    view.fileChoiceEnabled = !state.uploadUnderWay();
    return view;
}

} // namespace kalent::FirmwarePagePresenter
