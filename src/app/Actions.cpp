#include "Actions.h"

namespace kalent {

namespace {

QStringList names(std::initializer_list<const char *> list)
{
    QStringList out;
    for (const char *name : list)
        out.append(QString::fromLatin1(name));
    return out;
}

} // namespace

const std::vector<Action> &actions()
{
    static const std::vector<Action> all = {
        {QStringLiteral("ports"),
         QStringLiteral("ports"),
         {},
         {},
         &runPorts,
         QStringLiteral("Показать порты системы, затем sim — встроенный прибор.")},
        {QStringLiteral("contact"),
         QStringLiteral("contact --port ПОРТ [--timeout СЕК]"),
         names({"timeout"}),
         {},
         &runContact,
         QStringLiteral("Найти прибор на порту, как кнопка «Контакт», и перевести его на 115200."),
         names({"port"})},
        {QStringLiteral("simulate"),
         QStringLiteral("simulate --pty [--baud СКОРОСТЬ] [--programming] "
                        "[--boot-fault early-report|no-report] [--notices СЕК] [--replay ФАЙЛ]"),
         names({"baud", "boot-fault", "notices", "replay"}), names({"pty", "programming"}),
         &runSimulate,
         QStringLiteral("Встроенный прибор на псевдотерминале; путь к нему печатается первой "
                        "строкой. --replay: вместо него отвечает записанная трасса обмена."),
         names({"pty"}), 0, 0, true, true},
        {QStringLiteral("read-od"),
         QStringLiteral("read-od --port ПОРТ [--out ФАЙЛ] [--format txt|csv|xlsx|json]\n"
                        "      [--csv-separator С] [--csv-decimal С] [--auto-name] [--timeout СЕК] "
                        "[--store АДРЕС]"),
         names({"out", "timeout", "format", "csv-separator", "csv-decimal"}), names({"auto-name"}),
         &runReadOd,
         QStringLiteral("Принять таблицу оптических плотностей и вывести её (или записать в "
                        "файл в выбранном формате)."),
         names({"port"})},
        {QStringLiteral("read-protocol"),
         QStringLiteral("read-protocol --port ПОРТ [--out ФАЙЛ] [--pdf ФАЙЛ] [--auto-name] "
                        "[--timeout СЕК] [--store АДРЕС]"),
         names({"out", "timeout", "pdf"}), names({"auto-name"}), &runReadProtocol,
         QStringLiteral("Принять протокол результатов и вывести его (--pdf: также в PDF)."),
         names({"port"})},
        {QStringLiteral("flash"),
         QStringLiteral("flash --port ПОРТ ФАЙЛ.tsk [--no-wait] [--timeout СЕК]"),
         names({"timeout"}), names({"no-wait", "wait-restart"}), &runFlash,
         QStringLiteral("Загрузить программу в прибор, находящийся в режиме программирования "
                        "(на --port sim он в нём с самого начала), и дождаться его перезапуска."),
         names({"port"}), 1, 1, true, true},
        {QStringLiteral("db-read"),
         QStringLiteral("db-read --port ПОРТ --out ФАЙЛ.bdt [--timeout СЕК]"),
         names({"out", "timeout"}),
         {},
         &runDbRead,
         QStringLiteral("Считать БД ТС из прибора в файл."),
         names({"port", "out"})},
        {QStringLiteral("db-list"),
         QStringLiteral("db-list ФАЙЛ.bdt"),
         {},
         {},
         &runDbList,
         QStringLiteral("Показать дерево тест-систем файла."),
         {},
         1,
         1},
        {QStringLiteral("db-add"),
         QStringLiteral("db-add ПРИБОР.bdt ИСТОЧНИК.bdt --out ФАЙЛ.bdt"),
         names({"out"}),
         {},
         &runDbAdd,
         QStringLiteral("Добавить в список прибора тест-системы источника, которых в нём нет."),
         names({"out"}),
         2,
         2},
        {QStringLiteral("db-delete"),
         QStringLiteral("db-delete ФАЙЛ.bdt --node ПУТЬ [--node ПУТЬ ...] --out ФАЙЛ.bdt"),
         names({"out", "node"}),
         {},
         &runDbDelete,
         QStringLiteral("Удалить узлы из списка и записать результат."),
         names({"out", "node"}),
         1,
         1},
        {QStringLiteral("db-write"),
         QStringLiteral("db-write --port ПОРТ ФАЙЛ.bdt [--no-backup] [--timeout СЕК]"),
         names({"timeout"}), names({"no-backup"}), &runDbWrite,
         QStringLiteral("Записать список из файла в прибор и проверить его, считав обратно; "
                        "прежде БД ТС прибора считывается и сохраняется в папке backups папки "
                        "данных (--no-backup: без копии, например когда прибор держит "
                        "недописанную БД ТС и её не считать)."),
         names({"port"}), 1, 1, true, true},
        {QStringLiteral("db-restore"),
         QStringLiteral("db-restore --port ПОРТ КОПИЯ.bdt [--no-backup] [--timeout СЕК]"),
         names({"timeout"}), names({"no-backup"}), &runDbRestore,
         QStringLiteral("Восстановить БД ТС прибора из резервной копии, где бы она ни лежала: "
                        "её страницы уходят в прибор в точности как их прислал прибор, затем "
                        "проверяются. Прежде, как при любой записи, сохраняется копия того, что "
                        "в приборе сейчас (--no-backup: без неё)."),
         names({"port"}), 1, 1, true, true},
        {QStringLiteral("journal"),
         QStringLiteral("journal [--since ДАТА] [--data-dir ПАПКА]"),
         names({"since"}),
         {},
         &runJournal,
         QStringLiteral("Показать журнал обслуживания из папки данных."),
         {},
         0,
         0,
         false},
        {QStringLiteral("watch"),
         QStringLiteral("watch --port ПОРТ [--data-dir ПАПКА] [--store АДРЕС]"),
         {},
         {},
         &runWatch,
         QStringLiteral("Без оператора: по каждому извещению прибора принимать таблицу и "
                        "протокол и записывать их в папку данных; до SIGTERM или Ctrl-C."),
         names({"port"}),
         0,
         0,
         true,
         true},
        {QStringLiteral("history"),
         QStringLiteral(
             "history [ТЕКСТ] [--since ДАТА] [--until ДАТА] [--kind table|protocol] "
             "[--port ПОРТ] [--format csv|json]\n"
             "      | history show ID [--format json]\n"
             "      | history export ID... --format xlsx|csv|json|pdf|txt|raw --out ФАЙЛ\n"
             "      [--data-dir ПАПКА] [--store АДРЕС]"),
         names({"since", "until", "kind", "format", "out"}),
         {},
         &runHistory,
         QStringLiteral("Показания из хранилища: список (CSV или JSON), одно показание (show) или "
                        "запись показаний в файл в любом формате чтения (export; таблицы в XLSX — "
                        "лист на таблицу)."),
         {},
         0,
         1000},
    };
    return all;
}

const Action *findAction(const QString &name)
{
    for (const Action &a : actions())
        if (a.name == name)
            return &a;
    return nullptr;
}

} // namespace kalent
