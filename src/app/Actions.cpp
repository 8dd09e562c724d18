#include "Actions.h"

namespace kalent {

const std::vector<Action> &actions()
{
    static const std::vector<Action> all = {
        {QStringLiteral("ports"), QStringLiteral("ports"), {}, {}, &runPorts},
        {QStringLiteral("contact"),
         QStringLiteral("contact --port NAME [--timeout S]"),
         {QStringLiteral("timeout")},
         {},
         &runContact},
        {QStringLiteral("simulate"),
         QStringLiteral("simulate --pty [--baud N] [--programming] [--notices S] "
                        "[--replay FILE]"),
         {QStringLiteral("baud"), QStringLiteral("notices"), QStringLiteral("replay")},
         {QStringLiteral("pty"), QStringLiteral("programming")},
         &runSimulate},
        {QStringLiteral("read-od"),
         QStringLiteral("read-od --port NAME [--out FILE] [--auto-name] [--timeout S]"),
         {QStringLiteral("out"), QStringLiteral("timeout")},
         {QStringLiteral("auto-name")},
         &runReadOd},
        {QStringLiteral("read-protocol"),
         QStringLiteral("read-protocol --port NAME [--out FILE] [--auto-name] [--timeout S]"),
         {QStringLiteral("out"), QStringLiteral("timeout")},
         {QStringLiteral("auto-name")},
         &runReadProtocol},
        {QStringLiteral("flash"),
         QStringLiteral("flash --port NAME FILE.tsk [--wait-restart] [--timeout S]\n"
                        "      (the instrument must be in programming mode; on --port sim it is)"),
         {QStringLiteral("timeout")},
         {QStringLiteral("wait-restart")},
         &runFlash},
        {QStringLiteral("db-read"),
         QStringLiteral("db-read --port NAME --out FILE.bdt [--timeout S]"),
         {QStringLiteral("out"), QStringLiteral("timeout")},
         {},
         &runDbRead},
        {QStringLiteral("db-list"), QStringLiteral("db-list FILE.bdt"), {}, {}, &runDbList},
        {QStringLiteral("db-add"),
         QStringLiteral("db-add INSTRUMENT.bdt SOURCE.bdt --out FILE.bdt"),
         {QStringLiteral("out")},
         {},
         &runDbAdd},
        {QStringLiteral("db-delete"),
         QStringLiteral("db-delete IN.bdt --node PATH [--node PATH ...] --out FILE.bdt"),
         {QStringLiteral("out"), QStringLiteral("node")},
         {},
         &runDbDelete},
        {QStringLiteral("db-write"),
         QStringLiteral("db-write --port NAME FILE.bdt [--timeout S]"),
         {QStringLiteral("timeout")},
         {},
         &runDbWrite},
        {QStringLiteral("journal"),
         QStringLiteral("journal [--since DATE]"),
         {QStringLiteral("since")},
         {},
         &runJournal},
        {QStringLiteral("watch"),
         QStringLiteral("watch --port NAME [--data-dir DIR]"),
         {},
         {},
         &runWatch},
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
