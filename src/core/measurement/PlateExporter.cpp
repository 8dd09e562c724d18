#include "measurement/PlateExporter.h"

#include "MessagePane.h"
#include "common/OperatorTexts.h"
#include "measurement/OpticalDensityReader.h"

#include <QDir>
#include <QFileInfo>

namespace kalent {

PlateExporter::PlateExporter(OpticalDensityReader &reader, MessagePane &pane, QObject *parent)
    : QObject(parent), m_reader(reader), m_pane(pane)
{
    connect(&reader, &OpticalDensityReader::autoSaved, this, &PlateExporter::writeCopy);
}

void PlateExporter::setCopyFormat(Copy copy)
{
    if (copy == m_copy)
        return;
    m_copy = copy;
    Q_EMIT copyFormatChanged();
}

QString PlateExporter::copyPath(const QString &describedPath, PlateFormat format)
{
    const QFileInfo info(describedPath);
    const QString extension = QLatin1Char('.') + PlateExport::suffix(format);
    QString name = info.fileName();
    const int dot = static_cast<int>(name.lastIndexOf(QLatin1Char('.')));
    if (dot > 0)
        name.truncate(dot);
    name += extension;
    // A described name that already ends in the copy's extension keeps its own
    // file: the copy goes after it instead of over it.
    if (name == info.fileName())
        name += extension;
    return info.dir().filePath(name);
}

void PlateExporter::writeCopy(const QString &describedPath)
{
    if (m_copy == Copy::None)
        return;
    const PlateFormat format = m_copy == Copy::Xlsx ? PlateFormat::Xlsx : PlateFormat::Csv;
    const QString path = copyPath(describedPath, format);
    const QString error = PlateExport::write(path, format, m_reader.table(), m_csvStyle);
    if (!error.isEmpty()) {
        Q_EMIT fileError(error);
        return;
    }
    Q_EMIT copyWritten(path);
}

bool PlateExporter::saveChosen(const QString &path, PlateFormat format)
{
    const QString error = PlateExport::write(path, format, m_reader.table(), m_csvStyle);
    if (!error.isEmpty()) {
        Q_EMIT fileError(error);
        return false;
    }
    m_pane.setText(OperatorTexts::dataWritten());
    return true;
}

} // namespace kalent
