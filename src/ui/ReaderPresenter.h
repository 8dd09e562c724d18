#pragma once

#include "ControlStates.h"
#include "measurement/OpticalDensityReader.h"

namespace kalent {

// What the reader page's buttons and check boxes show, from the reader's state
// and whether a write to the instrument's memory holds the line:
// - "Принять данные" while the instrument is present and no write runs;
// - "Данные в файл" and "Данные в Excel" once a table has arrived, from then
//   on (also while a new read runs);
// - "Из файла в Excel" always;
// - the check boxes as the reader's automatic reading and saving are set.
namespace ReaderPresenter {
ControlStates derive(const OpticalDensityReader::State &state, bool lineWriting);
}

} // namespace kalent
