#pragma once

// The files the program writes, read back by programs that did not write them:
// Python's openpyxl for workbooks, its csv and json modules for text formats,
// and poppler's pdftotext and pdffonts for PDFs. A test without the reader it
// needs skips and says which one is missing.

#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace kalent::test::ReadBack {

// The Python that reads the files back: Debian's on Linux; on Windows one on the
// PATH, if the machine has one (under Wine there is none: the Linux run of the
// same suites reads back what the same code writes).
inline QString pythonProgram()
{
#ifdef Q_OS_WIN
    for (const QString &name : {QStringLiteral("python3"), QStringLiteral("python")}) {
        const QString found = QStandardPaths::findExecutable(name);
        if (!found.isEmpty())
            return found;
    }
    return {};
#else
    const QString debian = QStringLiteral("/usr/bin/python3");
    return QFile::exists(debian) ? debian : QString();
#endif
}

// Empty when the reader is there, else why not.
inline QString missingPython(const QString &module)
{
    const QString program = pythonProgram();
    if (program.isEmpty()) {
#ifdef Q_OS_WIN
        return QStringLiteral("no python3 on this Windows system's PATH to read the files back "
                              "(the Linux run reads them)");
#else
        return QStringLiteral("/usr/bin/python3 is not installed");
#endif
    }
    if (module.isEmpty())
        return {};
    QProcess p;
    p.start(program, {QStringLiteral("-c"), QStringLiteral("import ") + module});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return QStringLiteral("python3 module %1 is not installed (python3-%1)").arg(module);
    return {};
}

inline QString missingTool(const QString &tool)
{
    QProcess p;
    p.start(tool, {QStringLiteral("-v")});
    if (!p.waitForStarted(10000))
        return QStringLiteral("%1 is not installed (poppler-utils)").arg(tool);
    p.waitForFinished(10000);
    return {};
}

// Runs a Python script with arguments; its stdout parsed as JSON.
inline QJsonDocument python(const QString &script, const QStringList &arguments,
                            QByteArray *errors = nullptr)
{
    QProcess p;
    p.start(pythonProgram(), QStringList{QStringLiteral("-c"), script} + arguments);
    p.waitForFinished(60000);
    if (errors)
        *errors = p.readAllStandardError();
    return QJsonDocument::fromJson(p.readAllStandardOutput());
}

// Every cell of the first sheet: {"A1": {"v": value, "t": data_type, "f": number_format}}.
inline QJsonDocument xlsxCells(const QString &path, QByteArray *errors = nullptr)
{
    return python(QStringLiteral(R"(
import json, sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
ws = wb.worksheets[0]
out = {}
for row in ws.iter_rows():
    for c in row:
        if c.value is not None:
            out[c.coordinate] = {"v": c.value, "t": c.data_type, "f": c.number_format}
print(json.dumps({"sheets": len(wb.worksheets), "cells": out}))
)"),
                  {path}, errors);
}

// The rows of a CSV file as Python's csv module reads them (UTF-8 with BOM),
// each field with whether it was quoted (QUOTE_NONNUMERIC would turn unquoted
// fields into floats: a field that is not a number then fails to read).
inline QJsonDocument csvRows(const QString &path, const QString &separator,
                             QByteArray *errors = nullptr)
{
    return python(QStringLiteral(R"(
import csv, json, sys
with open(sys.argv[1], newline='', encoding='utf-8-sig') as f:
    rows = list(csv.reader(f, delimiter=sys.argv[2], strict=True))
print(json.dumps(rows))
)"),
                  {path, separator}, errors);
}

inline QJsonDocument jsonFile(const QString &path, QByteArray *errors = nullptr)
{
    return python(QStringLiteral(R"(
import json, sys
with open(sys.argv[1], encoding='utf-8') as f:
    d = json.load(f)
print(json.dumps({"doc": d, "types": {k: type(v).__name__ for k, v in d["values"].items()},
                  "order": list(d["values"].keys())}))
)"),
                  {path}, errors);
}

inline QString toolOutput(const QString &tool, const QStringList &arguments)
{
    QProcess p;
    p.start(tool, arguments);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

inline QString pdfText(const QString &path)
{
    return toolOutput(QStringLiteral("pdftotext"),
                      {QStringLiteral("-layout"), QStringLiteral("-enc"), QStringLiteral("UTF-8"),
                       path, QStringLiteral("-")});
}

} // namespace kalent::test::ReadBack
