#include "DatabasePagePresenter.h"

namespace kalent {

QString listCaption(const char *list, std::optional<int> tsCount)
{
    const QString name = QString::fromUtf8(list);
    return tsCount ? QStringLiteral("%1 (%2):").arg(name).arg(*tsCount) : name + QLatin1Char(':');
}

bool DatabasePageLook::operator==(const DatabasePageLook &o) const
{
    return title == o.title && instrumentCaption == o.instrumentCaption &&
           fileCaption == o.fileCaption && additionalCaption == o.additionalCaption &&
           instrumentColour == o.instrumentColour && fileColour == o.fileColour &&
           additionalColour == o.additionalColour && readFromVirEnabled == o.readFromVirEnabled &&
           saveToFileEnabled == o.saveToFileEnabled && deleteEnabled == o.deleteEnabled &&
           writeInstrumentListEnabled == o.writeInstrumentListEnabled &&
           readFromFileEnabled == o.readFromFileEnabled &&
           writeFileListEnabled == o.writeFileListEnabled && addEnabled == o.addEnabled &&
           virTreeVisible == o.virTreeVisible && fileTreeVisible == o.fileTreeVisible &&
           addTreeVisible == o.addTreeVisible;
}

DatabasePageLook presentDatabasePage(const DatabasePageState &s, bool lineFree,
                                     bool instrumentControlsUp)
{
    using Phase = DatabaseService::Phase;
    // A write's backup read replaces the instrument list as any read does.
    const bool reading = s.job == Phase::Reading || s.job == Phase::WaitingForBackup;
    const bool writeAhead = s.job == Phase::WaitingForBackup || s.job == Phase::Writing;
    DatabasePageLook look;
    look.instrumentCaption = listCaption(InstrumentListName, s.instrumentTs);
    look.fileCaption = listCaption(FileListName, s.fileTs);
    look.additionalCaption = listCaption(AdditionalListName, s.additionalTs);
    look.readFromVirEnabled = instrumentControlsUp && lineFree;
    look.saveToFileEnabled = s.instrumentListExists && !reading;
    // The lists a write was taken from stay as they are until it ends.
    look.deleteEnabled = s.selected > 0 && !reading && !writeAhead;
    look.writeInstrumentListEnabled = s.instrumentEdited && !reading && lineFree;
    look.readFromFileEnabled = !writeAhead;
    look.writeFileListEnabled = s.fromFile && lineFree;
    look.addEnabled =
        s.fromDevice && s.fromFile && s.additionalTs.value_or(0) > 0 && !reading && !writeAhead;
    look.virTreeVisible = s.instrumentTreeShown;
    look.fileTreeVisible = s.fileTreeShown;
    look.addTreeVisible = s.additionalTreeShown;
    return look;
}

} // namespace kalent
