#pragma once

#include "ControlStates.h"
#include "measurement/ResultsProtocol.h"

namespace kalent {

// What the results page's buttons and check boxes show, from the protocol
// service's state and whether a write to the instrument's memory holds the line:
// - "Принять данные" unless a write runs;
// - "Данные в файл" once a protocol has arrived, from then on;
// - "Очистить экран" always;
// - the check boxes as the automatic reading and saving are set.
namespace ResultsPresenter {
ControlStates derive(const ResultsProtocol::State &state, bool lineWriting);
}

} // namespace kalent
