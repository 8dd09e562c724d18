#include "CommandLine.h"

#include "common/LocalFileName.h"
#include "link/LineSpeeds.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cmath>

namespace kalent {

namespace {

struct OptionHelp
{
    const char *name;
    const char *valueName;
    const char *description;
};

// Every option's value name and description, in one place for all actions.
const OptionHelp optionHelp[] = {
    {"port", "ПОРТ", "порт прибора: имя системы (/dev/ttyUSB0, COM3) или sim — встроенный прибор"},
    {"data-dir", "ПАПКА",
     "папка данных программы (по умолчанию — папка программы или данных "
     "пользователя)"},
    {"trace", "ФАЙЛ",
     "дописывать в файл каждый байт обмена с прибором (JSON Lines: время, направление, скорость, "
     "порт, байты)"},
    {"since", "ДАТА", "только записи не раньше этой даты (ГГГГ-ММ-ДД)"},
    {"notices", "СЕК",
     "встроенный прибор извещает о конце измерения и о результатах каждые СЕК "
     "секунд"},
    {"replay", "ФАЙЛ",
     "отвечать программе по записанной трассе обмена (--trace); вне simulate — с --port sim, "
     "вместо встроенного прибора"},
    {"timeout", "СЕК", "сколько секунд ждать ответа прибора (по умолчанию 10)"},
    {"out", "ФАЙЛ", "куда записать результат"},
    {"auto-name", nullptr, "записать также под именем, которое даёт прибор, в папку данных"},
    {"pty", nullptr, "создать псевдотерминал и обслуживать на нём встроенный прибор"},
    {"baud", "СКОРОСТЬ", "скорость встроенного прибора: %1"},
    {"programming", nullptr, "встроенный прибор включён в режиме программирования"},
    {"wait-restart", nullptr, "дождаться перезапуска прибора после загрузки (так и без него)"},
    {"no-wait", nullptr, "не ждать перезапуска прибора: результат загрузки не подтверждён"},
    {"boot-fault", "СБОЙ",
     "сбой загрузчика встроенного прибора: early-report (программа управления запускается "
     "посреди загрузки) или no-report (после перезапуска не сообщает о себе)"},
    {"format", "ФОРМАТ",
     "формат: у read-od — txt (байты прибора, по умолчанию), csv, xlsx (нужен --out) или json; у "
     "history — csv (по умолчанию) или json; у history export — xlsx, csv, json, pdf, txt или "
     "raw"},
    {"store", "АДРЕС",
     "хранилище показаний: postgresql://[ПОЛЬЗОВАТЕЛЬ@][СЕРВЕР][:ПОРТ]/БАЗА (по умолчанию — файл "
     "Readings.sqlite в папке данных)"},
    {"until", "ДАТА", "только записи раньше этой даты (ГГГГ-ММ-ДД: до конца этого дня)"},
    {"kind", "ВИД", "только таблицы (table) или только протоколы (protocol)"},
    {"csv-separator", "С", "разделитель полей CSV: один символ или tab (по умолчанию по языку)"},
    {"csv-decimal", "С", "десятичный знак CSV (по умолчанию по языку системы)"},
    {"pdf", "ФАЙЛ", "записать протокол также в PDF"},
    {"no-backup", nullptr,
     "не сохранять прежде БД ТС прибора (когда её не считать: прибор держит недописанную БД ТС)"},
    {"node", "ПУТЬ",
     "узел дерева прибора: группа[/подгруппа[/тест-система]], \"/\" в имени пишется как "
     "\"\\/\", \"\\\" как \"\\\\\"; можно несколько"},
};

const OptionHelp *helpFor(const QString &name)
{
    for (const OptionHelp &help : optionHelp)
        if (name == QLatin1String(help.name))
            return &help;
    return nullptr;
}

// The instrument's speeds as the help says them: "4800, 9600, … 57600 или 115200".
QString speedsInWords()
{
    QStringList speeds;
    for (const int baud : LineSpeeds::Bauds)
        speeds.append(QString::number(baud));
    const QString fastest = speeds.takeLast();
    return speeds.join(QStringLiteral(", ")) + QStringLiteral(" или ") + fastest;
}

QCommandLineOption optionFor(const QString &name, bool takesValue)
{
    const OptionHelp *help = helpFor(name);
    QString description = help ? QString::fromUtf8(help->description) : QString();
    if (name == QLatin1String("baud"))
        description = description.arg(speedsInWords());
    if (!takesValue)
        return QCommandLineOption(name, description);
    const QString valueName =
        help && help->valueName ? QString::fromUtf8(help->valueName) : QStringLiteral("ЗНАЧЕНИЕ");
    return QCommandLineOption(name, description, valueName);
}

QCommandLineOption helpOption()
{
    return QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")},
                              QStringLiteral("показать эту справку и выйти"));
}

QCommandLineOption versionOption()
{
    return QCommandLineOption(
        {QStringLiteral("v"), QStringLiteral("version")},
        QStringLiteral("показать название программы и версию пакета и выйти"));
}

// The parser for one action (or, with null, for the window).
void addOptions(QCommandLineParser &parser, const Action *action)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    parser.addOption(helpOption());
    parser.addOption(versionOption());
    for (const QString &name : globalValueOptions())
        if (globalOptionApplies(action, name))
            parser.addOption(optionFor(name, true));
    if (!action)
        return;
    for (const QString &name : action->valueOptions)
        parser.addOption(optionFor(name, true));
    for (const QString &name : action->flagOptions)
        parser.addOption(optionFor(name, false));
    parser.setApplicationDescription(action->summary);
    parser.addPositionalArgument(action->name, QStringLiteral("действие"), action->usage);
}

QString generalHelp(const std::vector<Action> &actions)
{
    QString text = QStringLiteral(
        "Использование: kalent-service [--port ПОРТ] [--data-dir ПАПКА] [--trace ФАЙЛ] "
        "[--replay ФАЙЛ] [--store АДРЕС]\n"
        "               открыть окно программы\n"
        "       kalent-service ДЕЙСТВИЕ ... — без окна:\n");
    for (const Action &action : actions) {
        text += QStringLiteral("  kalent-service ") + action.usage + QLatin1Char('\n');
        if (!action.summary.isEmpty())
            text += QStringLiteral("      ") + action.summary + QLatin1Char('\n');
    }
    text += QStringLiteral("  kalent-service -v | --version\n"
                           "      Показать название программы и версию пакета.\n"
                           "Справка по действию: kalent-service ДЕЙСТВИЕ -h | --help\n"
                           "Код выхода: 0 — успех, 1 — ошибка или истекло время ожидания, "
                           "2 — неверные параметры.\n");
    return text;
}

QStringList allValueOptions(const std::vector<Action> &actions)
{
    QStringList names = globalValueOptions();
    for (const Action &action : actions)
        for (const QString &name : action.valueOptions)
            if (!names.contains(name))
                names.append(name);
    return names;
}

QString windowUsage()
{
    return QStringLiteral("Использование: kalent-service [--port ПОРТ] [--data-dir ПАПКА] "
                          "[--trace ФАЙЛ] [--replay ФАЙЛ] [--store АДРЕС] или "
                          "kalent-service ДЕЙСТВИЕ ...; список действий: kalent-service --help");
}

} // namespace

QString CommandLine::value(const QString &option, const QString &fallback) const
{
    const QStringList v = values.value(option);
    return v.isEmpty() ? fallback : v.last();
}

const QStringList &globalValueOptions()
{
    static const QStringList names = {QStringLiteral("port"), QStringLiteral("data-dir"),
                                      QStringLiteral("trace"), QStringLiteral("replay"),
                                      QStringLiteral("store")};
    return names;
}

bool keepsReadings(const Action *action)
{
    static const QStringList names = {QStringLiteral("read-od"), QStringLiteral("read-protocol"),
                                      QStringLiteral("watch"), QStringLiteral("history")};
    return !action || names.contains(action->name);
}

bool globalOptionApplies(const Action *action, const QString &name)
{
    if (name == QLatin1String("store"))
        return keepsReadings(action);
    if (!action)
        return true;
    // --replay stands in for the instrument behind a port; an action that
    // serves a recording itself lists it among its own options.
    if (name == QLatin1String("replay"))
        return action->takesPort && !action->valueOptions.contains(name);
    return action->takesPort || name != QLatin1String("port");
}

const Action *actionNamedIn(const QStringList &arguments, const std::vector<Action> &actions,
                            QString *unknownWord)
{
    // Only the words matter here: every value option of every action is known,
    // so an option's value is never taken for the action's name.
    QCommandLineParser words;
    words.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const QString &name : allValueOptions(actions))
        words.addOption(QCommandLineOption(name, QString(), QStringLiteral("v")));
    words.parse(arguments);
    const QStringList positional = words.positionalArguments();
    if (positional.isEmpty())
        return nullptr;
    for (const Action &action : actions)
        if (action.name == positional.first())
            return &action;
    if (unknownWord)
        *unknownWord = positional.first();
    return nullptr;
}

bool secondsInRange(const QString &text, double least, double most, double *seconds)
{
    // A decimal comma, as the Russian locale writes it, is taken like the point.
    bool ok = false;
    QString number = text.trimmed();
    number.replace(QLatin1Char(','), QLatin1Char('.'));
    const double value = number.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < least || value > most)
        return false;
    *seconds = value;
    return true;
}

QString usageErrorText(const Action &action, const QString &what)
{
    return what + QStringLiteral("\nИспользование: kalent-service ") + action.usage +
           QStringLiteral("\nСправка: kalent-service ") + action.name + QStringLiteral(" --help");
}

ParsedArguments parseArguments(const QStringList &arguments, const std::vector<Action> &actions)
{
    ParsedArguments parsed;
    QString unknownWord;
    parsed.action = actionNamedIn(arguments, actions, &unknownWord);

    QCommandLineParser parser;
    addOptions(parser, parsed.action);
    const bool ok = parser.parse(arguments);
    if (ok && parser.isSet(QStringLiteral("version"))) {
        parsed.outcome = ParsedArguments::Outcome::Version;
        return parsed;
    }
    if (ok && parser.isSet(QStringLiteral("help"))) {
        parsed.outcome = ParsedArguments::Outcome::Help;
        parsed.text = parsed.action ? parser.helpText() : generalHelp(actions);
        return parsed;
    }
    const auto usageError = [&parsed](const QString &what) {
        parsed.outcome = ParsedArguments::Outcome::UsageError;
        parsed.text = parsed.action ? usageErrorText(*parsed.action, what)
                                    : what + QLatin1Char('\n') + windowUsage();
        return parsed;
    };
    if (!ok)
        return usageError(parser.errorText());
    if (!unknownWord.isEmpty())
        return usageError(QStringLiteral("Неизвестное действие: %1.").arg(unknownWord));

    CommandLine &line = parsed.line;
    QStringList positional = parser.positionalArguments();
    if (parsed.action) {
        line.action = positional.takeFirst();
        const Action &action = *parsed.action;
        for (const QString &name : action.flagOptions)
            if (parser.isSet(name))
                line.flags.append(name);
        for (const QString &name : action.required)
            if (!parser.isSet(name) ||
                (action.valueOptions.contains(name) && parser.value(name).isEmpty()))
                return usageError(QStringLiteral("Не указан параметр --%1.").arg(name));
        if (positional.size() < action.minArguments)
            return usageError(QStringLiteral("Не хватает аргументов."));
        if (positional.size() > action.maxArguments)
            return usageError(
                QStringLiteral("Лишний аргумент: %1.").arg(positional.at(action.maxArguments)));
        for (const QString &name : action.valueOptions)
            if (parser.isSet(name))
                line.values.insert(name, parser.values(name));
    }
    for (const QString &name : globalValueOptions())
        if (globalOptionApplies(parsed.action, name) && parser.isSet(name))
            line.values.insert(name, parser.values(name));
    // An empty folder or file name would silently mean "beside the executable"
    // or "no trace": the engineer meant a name.
    if (line.has(QStringLiteral("data-dir")) && line.value(QStringLiteral("data-dir")).isEmpty())
        return usageError(QStringLiteral("Параметру --data-dir нужно имя папки."));
    // An empty port name opens nothing, ever: watch would try it for good.
    if (line.has(QStringLiteral("port")) && line.value(QStringLiteral("port")).isEmpty())
        return usageError(QStringLiteral("Параметру --port нужно имя порта."));
    // Qt names every file of the data folder in UTF-8: in a folder whose name
    // is not, the program would read and write another folder than the one asked.
    if (LocalFileName::hasRawBytes(line.value(QStringLiteral("data-dir"))))
        return usageError(
            QStringLiteral("Папка данных %1: имя не в UTF-8, в такой папке программа работать не "
                           "может. Укажите папку с другим именем.")
                .arg(line.value(QStringLiteral("data-dir"))));
    if (line.has(QStringLiteral("store")) && line.value(QStringLiteral("store")).isEmpty())
        return usageError(QStringLiteral("Параметру --store нужен адрес хранилища."));
    if (line.has(QStringLiteral("trace")) && line.value(QStringLiteral("trace")).isEmpty())
        return usageError(QStringLiteral("Параметру --trace нужно имя файла."));
    if (line.has(QStringLiteral("replay"))) {
        if (line.value(QStringLiteral("replay")).isEmpty())
            return usageError(QStringLiteral("Параметру --replay нужно имя файла."));
        // Outside simulate the recording answers in the program, behind "sim".
        const bool servedByAction =
            parsed.action && parsed.action->valueOptions.contains(QStringLiteral("replay"));
        if (!servedByAction && line.value(QStringLiteral("port")) != QLatin1String("sim"))
            return usageError(QStringLiteral("Параметр --replay действует только с --port sim."));
    }
    line.positional = positional;
    return parsed;
}

} // namespace kalent
