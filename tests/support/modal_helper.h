#pragma once

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

#include <functional>

namespace kq::testing {

// Acts on the next modal dialog of class D once it is shown, as a user
// would: the test calls this before the action that opens the dialog.
template<typename D>
void when_modal(std::function<void(D*)> act, int timeout_ms = 10000)
{
    auto* timer = new QTimer(qApp);
    auto waited = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, act, waited, timeout_ms] {
        *waited += 20;
        if (auto* d = qobject_cast<D*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(d);
        } else if (*waited > timeout_ms) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(20);
}

// Answers the next question box with the given button; `text` receives
// its text when not null.
inline void answer_question(QMessageBox::StandardButton button, QString* text = nullptr)
{
    when_modal<QMessageBox>([button, text](QMessageBox* box) {
        if (text)
            *text = box->windowTitle() + QLatin1Char('|') + box->text();
        box->button(button)->click();
    });
}

// Answers the next message boxes one after the other, each by the button
// with the given text ("&Yes", "Con&vert and flash", ...); `seen` receives
// "title|text|default button's text" of each.
inline void answer_boxes(QStringList buttons, QStringList* seen)
{
    if (buttons.isEmpty())
        return;
    when_modal<QMessageBox>([buttons, seen](QMessageBox* box) {
        QStringList rest = buttons;
        const QString wanted = rest.takeFirst();
        const QPushButton* fallback = box->defaultButton();
        seen->append(box->windowTitle() + QLatin1Char('|') + box->text() + QLatin1Char('|') +
                     (fallback ? fallback->text() : QString()));
        answer_boxes(rest, seen);
        for (QAbstractButton* b : box->buttons()) {
            if (b->text() == wanted) {
                b->click();
                return;
            }
        }
        box->reject();
    });
}

// Picks `path` in the next file dialog (widget dialogs: the test sets
// Qt::AA_DontUseNativeDialogs) as if typed into its name field; `then` runs
// just before the dialog closes, to answer what comes next.
inline void choose_file(const QString& path, std::function<void(QFileDialog*)> then = {})
{
    when_modal<QFileDialog>([path, then](QFileDialog* d) {
        d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
        if (then)
            then(d);
        static_cast<QDialog*>(d)->accept();
    });
}

} // namespace kq::testing
