#include "ReaderPresenter.h"

#include "ObjectNames.h"

namespace kalent::ReaderPresenter {

ControlStates derive(const OpticalDensityReader::State &state, bool lineWriting)
{
    namespace names = objectNames::reader;
    return {
        {names::Read, state.instrumentPresent && !lineWriting, {}},
        {names::Save, state.tableEverReceived, {}},
        {names::CreateWorkbook, state.tableEverReceived, {}},
        {names::FileToWorkbook, true, {}},
        {names::AutoRead, true, state.autoRead},
        {names::AutoSave, true, state.autoSave},
    };
}

} // namespace kalent::ReaderPresenter
