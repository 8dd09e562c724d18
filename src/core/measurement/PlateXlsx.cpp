// The workbook of PlateExport::xlsx, kept apart because it is the one piece that
// talks to libxlsxwriter (a C library).
#include "measurement/PlateExport.h"

#include "common/CNumericLocale.h"
#include "common/FileSizeLimit.h"
#include "common/SystemErrorText.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <xlsxwriter.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <memory>

#if defined(Q_OS_LINUX)
#include <sys/mman.h>
#endif
#if defined(Q_OS_WIN)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kalent::PlateExport {

namespace {

// Excel's XML cannot hold a zero character and libxlsxwriter takes C strings,
// where it would end the text early; it stands as U+FFFD so the rest survives.
QByteArray cellText(const QString &text)
{
    QString safe = text;
    safe.replace(QChar(0), QChar(0xFFFD));
    return safe.toUtf8();
}

// Where the library writes the workbook, which the version Debian ships writes
// only to a named file. On Linux an anonymous file in memory reached through
// /proc/self/fd: nothing is ever left on the disk, whatever ends the process on
// the way. Elsewhere a private temporary folder, removed when done (a process
// killed meanwhile leaves it to the system's cleaning of temporary folders).
class WorkbookScratch
{
public:
    WorkbookScratch()
    {
#if defined(Q_OS_LINUX)
        m_fd = memfd_create("kalent-workbook", MFD_CLOEXEC);
        if (m_fd >= 0) {
            m_path = "/proc/self/fd/" + QByteArray::number(m_fd);
            return;
        }
        m_problem = SystemErrorText::fromErrno(errno);
#else
        m_dir = std::make_unique<QTemporaryDir>();
        if (!m_dir->isValid()) {
            m_problem = m_dir->errorString();
            return;
        }
        m_path = QFile::encodeName(m_dir->filePath(QStringLiteral("plate.xlsx")));
        m_tmpDir = QFile::encodeName(m_dir->path());
#endif
    }
    ~WorkbookScratch()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    WorkbookScratch(const WorkbookScratch &) = delete;
    WorkbookScratch &operator=(const WorkbookScratch &) = delete;

    // Empty when usable, else why not (Russian).
    QString problem() const
    {
        return m_problem;
    }
    const char *path() const
    {
        return m_path.constData();
    }
    // The folder for the library's own scratch files, or null for the system's
    // (created and unlinked at once, so none outlives the process).
    char *tmpDir()
    {
        return m_tmpDir.isEmpty() ? nullptr : m_tmpDir.data();
    }

    // The workbook's bytes once the library has closed it.
    bool read(QByteArray *out, QString *reason) const
    {
        QFile file;
        const bool opened = m_fd >= 0 ? file.open(m_fd, QIODevice::ReadOnly)
                                      : (file.setFileName(QFile::decodeName(m_path)),
                                         file.open(QIODevice::ReadOnly));
        if (!opened || !file.seek(0)) {
            *reason = SystemErrorText::translate(file.errorString());
            return false;
        }
        *out = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            *reason = SystemErrorText::translate(file.errorString());
            return false;
        }
        return true;
    }

private:
    int m_fd = -1;
    QByteArray m_path;
    QByteArray m_tmpDir;
    QString m_problem;
    std::unique_ptr<QTemporaryDir> m_dir;
};

// Keeps the library's own diagnostics (English "[ERROR] ..." lines it prints
// on stderr) away from the operator while alive: a failure is said once, in
// Russian, with the target's name, by whoever asked for the workbook.
class LibraryDiagnosticsHidden
{
public:
    LibraryDiagnosticsHidden()
    {
        std::fflush(stderr);
#if defined(Q_OS_WIN)
        const int sink = ::_open("NUL", _O_WRONLY);
        m_saved = sink >= 0 ? ::_dup(2) : -1;
        if (m_saved >= 0)
            ::_dup2(sink, 2);
        if (sink >= 0)
            ::_close(sink);
#else
        const int sink = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        m_saved = sink >= 0 ? ::fcntl(2, F_DUPFD_CLOEXEC, 3) : -1;
        if (m_saved >= 0)
            ::dup2(sink, 2);
        if (sink >= 0)
            ::close(sink);
#endif
    }
    ~LibraryDiagnosticsHidden()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
#if defined(Q_OS_WIN)
        ::_dup2(m_saved, 2);
        ::_close(m_saved);
#else
        ::dup2(m_saved, 2);
        ::close(m_saved);
#endif
    }
    LibraryDiagnosticsHidden(const LibraryDiagnosticsHidden &) = delete;
    LibraryDiagnosticsHidden &operator=(const LibraryDiagnosticsHidden &) = delete;

private:
    int m_saved = -1;
};

// Why the library failed, in Russian: the system's reason where the library
// met one (a full disk, a size limit), else what the library's code says.
QString libraryReason(lxw_error error, int systemCode)
{
    switch (error) {
    case LXW_ERROR_MEMORY_MALLOC_FAILED:
        return SystemErrorText::fromErrno(ENOMEM);
    case LXW_ERROR_CREATING_XLSX_FILE:
    case LXW_ERROR_CREATING_TMPFILE:
    case LXW_ERROR_READING_TMPFILE:
    case LXW_ERROR_ZIP_FILE_OPERATION:
    case LXW_ERROR_ZIP_PARAMETER_ERROR:
    case LXW_ERROR_ZIP_BAD_ZIP_FILE:
    case LXW_ERROR_ZIP_INTERNAL_ERROR:
    case LXW_ERROR_ZIP_FILE_ADD:
    case LXW_ERROR_ZIP_CLOSE:
        return SystemErrorText::fromErrno(systemCode != 0 ? systemCode : EIO);
    default:
        return QStringLiteral("внутренняя ошибка библиотеки книг Excel (код %1)")
            .arg(static_cast<int>(error));
    }
}

QString notCreated(const QString &reason)
{
    return QStringLiteral("книга Excel не создана: %1").arg(reason);
}

} // namespace

QByteArray xlsx(const PlateTable &table, QString *error)
{
    return xlsxBook({table}, {QStringLiteral("Оптические плотности")}, error);
}

QByteArray xlsxBook(const QVector<PlateTable> &tables, const QStringList &sheetNames,
                    QString *error)
{
    // A size limit met by the scratch file fails the library's write instead of
    // ending the process.
    FileSizeLimit::failWritesInsteadOfSignal();
    WorkbookScratch scratch;
    if (!scratch.problem().isEmpty()) {
        *error = notCreated(scratch.problem());
        return {};
    }
    // The library prints every number (cell values, column widths) with the C
    // library's printf: under a locale with a decimal comma the XML would hold
    // "1,048", which Excel's format does not allow.
    const CNumericLocale cNumbers;
    if (!cNumbers.active()) {
        *error = notCreated(SystemErrorText::fromErrno(ENOMEM));
        return {};
    }
    const LibraryDiagnosticsHidden quiet;
    lxw_workbook_options options{};
    options.tmpdir = scratch.tmpDir();
    lxw_workbook *workbook = workbook_new_opt(scratch.path(), &options);
    if (!workbook) {
        *error = notCreated(SystemErrorText::fromErrno(ENOMEM));
        return {};
    }
    lxw_format *numberFormat = workbook_add_format(workbook);
    format_set_num_format(numberFormat, "0.000");
    lxw_format *header = workbook_add_format(workbook);
    format_set_bold(header);
    format_set_align(header, LXW_ALIGN_CENTER);
    lxw_format *titleFormat = workbook_add_format(workbook);
    format_set_bold(titleFormat);

    lxw_error failed = LXW_NO_ERROR;
    const auto check = [&failed](lxw_error result) {
        if (failed == LXW_NO_ERROR)
            failed = result;
    };
    for (int i = 0; i < tables.size(); ++i) {
        const PlateTable &table = tables.at(i);
        lxw_worksheet *sheet =
            workbook_add_worksheet(workbook, cellText(sheetNames.at(i)).constData());
        if (!sheet) {
            check(LXW_ERROR_MEMORY_MALLOC_FAILED);
            break;
        }
        check(worksheet_write_string(sheet, 0, 0, cellText(table.title().text()).constData(),
                                     titleFormat));
        check(worksheet_set_column(sheet, 0, 0, 4, nullptr));
        check(worksheet_set_column(sheet, 1, PlateTable::Columns, 8, nullptr));
        for (int column = 1; column <= PlateTable::Columns; ++column)
            check(worksheet_write_number(sheet, 1, static_cast<lxw_col_t>(column), column, header));
        for (int row = 1; row <= PlateTable::Rows; ++row) {
            const auto sheetRow = static_cast<lxw_row_t>(row + 1);
            check(worksheet_write_string(sheet, sheetRow, 0,
                                         PlateTable::rowName(row).toUtf8().constData(), header));
            for (int column = 1; column <= PlateTable::Columns; ++column) {
                const PlateValue &v = table.value(row, column);
                const auto sheetColumn = static_cast<lxw_col_t>(column);
                // A blank well stays an empty cell.
                if (v.isBlank())
                    continue;
                if (v.isNumber)
                    check(worksheet_write_number(sheet, sheetRow, sheetColumn, v.number,
                                                 numberFormat));
                else
                    check(worksheet_write_string(sheet, sheetRow, sheetColumn,
                                                 cellText(v.shownText()).constData(), nullptr));
            }
        }
    }
    // Closing writes the file and frees the workbook, also after a failure. The
    // system's reason of a failed write is taken at once, before anything else
    // can change errno.
    errno = 0;
    const lxw_error closed = workbook_close(workbook);
    const int systemCode = errno;
    check(closed);
    if (failed != LXW_NO_ERROR) {
        *error = notCreated(libraryReason(failed, systemCode));
        return {};
    }
    QByteArray bytes;
    QString reason;
    if (!scratch.read(&bytes, &reason)) {
        *error = notCreated(reason);
        return {};
    }
    return bytes;
}

} // namespace kalent::PlateExport
