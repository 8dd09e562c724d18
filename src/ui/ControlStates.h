#pragma once

#include <QString>
#include <QVector>

#include <optional>

class QWidget;

namespace kalent {

// What a presenter says one control shows, the control named by its
// objectName: whether it can be used and, for a check box, whether it is
// ticked. A presenter gives one for each control it decides; a page applies
// them to its widgets, so what a page shows is a value a test can compare.
struct ControlState
{
    QString objectName;
    bool enabled = true;
    std::optional<bool> checked;

    bool operator==(const ControlState &other) const
    {
        return objectName == other.objectName && enabled == other.enabled &&
               checked == other.checked;
    }
};

using ControlStates = QVector<ControlState>;

namespace ControlBinding {
// The state given for objectName; null when the list has none.
const ControlState *find(const ControlStates &states, const QString &objectName);
// Sets each named child of root as its state says. A check box's toggled()
// is not raised by it: the state came from the service, not from the operator.
// A name no child has is a programming error (asserted).
void apply(QWidget *root, const ControlStates &states);
} // namespace ControlBinding

} // namespace kalent
