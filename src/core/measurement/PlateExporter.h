#pragma once

#include "measurement/PlateExport.h"

#include <QObject>
#include <QString>

namespace kalent {

class MessagePane;
class OpticalDensityReader;

// The reader's table in the other formats (CSV, XLSX, JSON), with the title
// the table carries (when it arrived and, once the automatic save has named it,
// the instrument's file name). Writes the table on request, and, with a copy
// format set, adds a copy beside every file the automatic save writes. The described file is never
// touched: the copy has its own name and a failed copy only reports fileError().
class PlateExporter : public QObject
{
    Q_OBJECT
public:
    // What the automatic save adds beside its file.
    enum class Copy { None, Xlsx, Csv };

    PlateExporter(OpticalDensityReader &reader, MessagePane &pane, QObject *parent = nullptr);

    Copy copyFormat() const { return m_copy; }
    void setCopyFormat(Copy copy);
    PlateExport::CsvStyle csvStyle() const { return m_csvStyle; }
    void setCsvStyle(const PlateExport::CsvStyle &style) { m_csvStyle = style; }

    // The copy's path beside the described file: its name with the copy's
    // extension in place of its own (never the described file's own path).
    static QString copyPath(const QString &describedPath, PlateFormat format);

    // "Данные в файл" with one of the added filters. Returns true when written.
    bool saveChosen(const QString &path, PlateFormat format);

Q_SIGNALS:
    void copyFormatChanged();
    // The automatic save's copy was written to this path.
    void copyWritten(const QString &path);
    void fileError(const QString &message);

private:
    void writeCopy(const QString &describedPath);

    OpticalDensityReader &m_reader;
    MessagePane &m_pane;
    Copy m_copy = Copy::None;
    PlateExport::CsvStyle m_csvStyle = PlateExport::CsvStyle::forLocale(QLocale());
};

} // namespace kalent
