#include "LinkCommands.h"

#include "link/LineSpeeds.h"

namespace kalent {

int LinkCommands::baudForCode(int code)
{
    return LineSpeeds::baudForCode(code);
}

int LinkCommands::consume(InstrumentControl &instrument, const QByteArray &heard)
{
    switch (heard.at(0)) {
    case 'B':
        instrument.send(QByteArrayLiteral("B"));
        return 1;
    case 'b': {
        if (heard.size() < 2)
            return NeedMore;
        const int baud = baudForCode(static_cast<unsigned char>(heard.at(1)));
        if (baud > 0)
            instrument.setBaud(baud);
        return 2;
    }
    default:
        return NotMine;
    }
}

} // namespace kalent
