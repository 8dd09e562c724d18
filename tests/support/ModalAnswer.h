#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace kalent::test {

// Answers the next message box opened modally (exec()) with the given button,
// from the event loop the box runs; records the box's text and default button
// first. A box that never opens leaves the record empty.
struct ModalAnswer
{
    QString text;
    QString objectName;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;

    void answerNext(QMessageBox::StandardButton button)
    {
        QTimer::singleShot(0, [this, button] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            text = box->text();
            objectName = box->objectName();
            defaultButton = box->standardButton(box->defaultButton());
            box->button(button)->click();
        });
    }
};

} // namespace kalent::test
