#include "ResultsPresenter.h"

#include "ObjectNames.h"

namespace kalent::ResultsPresenter {

ControlStates derive(const ResultsProtocol::State &state, bool lineWriting)
{
    namespace names = objectNames::results;
    return {
        {names::Read, !lineWriting, {}},
        {names::Save, state.protocolEverReceived, {}},
        {names::Clear, true, {}},
        {names::AutoRead, true, state.autoRead},
        {names::AutoSave, true, state.autoSave},
    };
}

} // namespace kalent::ResultsPresenter
