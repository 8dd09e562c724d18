#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>

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

// Answers the next modal box or dialog named name under owner as soon as it is
// shown; a dialog that never opens fails the test instead of blocking it.
template <typename T>
void answerNext(QWidget &owner, const char *name, std::function<void(T *)> answer)
{
    QTimer::singleShot(0, &owner, [&owner, name, answer] {
        T *dialog = owner.findChild<T *>(QString::fromLatin1(name));
        if (!dialog) {
            QTest::qFail("the expected dialog did not open", __FILE__, __LINE__);
            if (QWidget *modal = QApplication::activeModalWidget())
                modal->close();
            return;
        }
        answer(dialog);
        // A failed check inside answer() must not leave the dialog blocking the test.
        if (dialog->isVisible())
            dialog->close();
    });
}

// Answers the next message box named name under owner with button.
inline void answerNextBox(QWidget &owner, const char *name, QMessageBox::StandardButton button)
{
    answerNext<QMessageBox>(owner, name,
                            [button](QMessageBox *box) { box->button(button)->click(); });
}

// Answers the next file dialog, wherever it opens: chooses path, or cancels
// when path is empty; records the folder it opened in.
inline void answerNextFileDialog(const QString &path, QString *folderSeen)
{
    QTimer::singleShot(0, [path, folderSeen] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *dialog = qobject_cast<QFileDialog *>(w);
            if (!dialog || !dialog->isVisible())
                continue;
            *folderSeen = dialog->directory().absolutePath();
            if (path.isEmpty()) {
                dialog->reject();
            } else {
                dialog->selectFile(path);
                QMetaObject::invokeMethod(dialog, "accept");
            }
            return;
        }
    });
}

} // namespace kalent::test
