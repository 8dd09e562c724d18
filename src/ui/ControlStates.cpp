#include "ControlStates.h"

#include <QAbstractButton>
#include <QSignalBlocker>
#include <QWidget>

namespace kalent::ControlBinding {

const ControlState *find(const ControlStates &states, const QString &objectName)
{
    for (const ControlState &state : states) {
        if (state.objectName == objectName)
            return &state;
    }
    return nullptr;
}

void apply(QWidget *root, const ControlStates &states)
{
    for (const ControlState &state : states) {
        auto *widget = root->findChild<QWidget *>(state.objectName);
        Q_ASSERT_X(widget, "ControlBinding::apply", qPrintable(state.objectName));
        if (!widget)
            continue;
        widget->setEnabled(state.enabled);
        auto *button = qobject_cast<QAbstractButton *>(widget);
        if (state.checked && button) {
            const QSignalBlocker block(button);
            button->setChecked(*state.checked);
        }
    }
}

} // namespace kalent::ControlBinding
