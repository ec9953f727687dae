#include "platform/MessageBox.h"

#include "util/TestSeam.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

namespace {

// Test seam: the answers a test queued and the boxes asked for while armed.
struct MessageBoxSeam
{
    QList<TMessageBox::Answer> answers;
    QList<TMessageBox::Shown> shown;
};

TTestSeam<MessageBoxSeam>& seam()
{
    static TTestSeam<MessageBoxSeam> seam;
    return seam;
}

// Notes whether the box was closed through its window (title bar, Alt+F4) rather than by a button
// or a key: QMessageBox reports such a close as a click on its escape button.
class CloseWatcher : public QObject
{
public:
    explicit CloseWatcher(QMessageBox* box) : m_box(box) { box->installEventFilter(this); }
    bool closedByWindow = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_box && event->type() == QEvent::Close && !m_box->clickedButton())
            closedByWindow = true;
        return false;
    }

private:
    QMessageBox* m_box;
};

} // namespace

TMessageBox::Answer TMessageBox::show(Kind kind, const QString& text, Buttons buttons)
{
    if (MessageBoxSeam* test = seam().state()) {
        test->shown.append({kind, text, buttons});
        if (!test->answers.isEmpty())
            return test->answers.takeFirst();
    }

    QMessageBox box(kind == Kind::Warning ? QMessageBox::Warning : QMessageBox::Information,
                    kind == Kind::Warning ? QStringLiteral("Warning") : QStringLiteral("Information"), QString());
    box.setObjectName(QStringLiteral("msgMain"));
    box.setTextFormat(Qt::PlainText); // messages carry file names, reasons and server texts
    box.setText(text);
    QPushButton* yes = nullptr;
    QPushButton* no = nullptr;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    if (buttons == Buttons::YesNoCancel) {
        yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
        no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    } else {
        ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    }
    if (buttons != Buttons::Ok)
        cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    for (QAbstractButton* b : box.buttons())
        b->setObjectName(b == yes ? "btnYes" : b == no ? "btnNo" : b == ok ? "btnOK" : "btnCancel");

    box.setDefaultButton(yes ? yes : ok);
    box.setEscapeButton(cancel ? cancel : (no ? no : ok));

    // Centred on the screen, whatever window is active.
    box.adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        box.move(screen->availableGeometry().center() - box.rect().center());

    CloseWatcher watcher(&box);
    box.exec();
    if (watcher.closedByWindow)
        return Answer::Cancel;
    const QAbstractButton* clicked = box.clickedButton();
    if (clicked == yes && yes)
        return Answer::Yes;
    if (clicked == no && no)
        return Answer::No;
    if (clicked == ok && ok)
        return Answer::Ok;
    if (!cancel && ok)
        return Answer::Ok;
    return Answer::Cancel;
}

void TMessageBox::setNextAnswer(Answer answer)
{
    if (MessageBoxSeam* test = seam().state())
        test->answers.append(answer);
}

void TMessageBox::clearTestState()
{
    if (MessageBoxSeam* test = seam().state())
        *test = {};
}

const QList<TMessageBox::Shown>& TMessageBox::shownMessages()
{
    static const QList<Shown> none;
    const MessageBoxSeam* test = seam().state();
    return test ? test->shown : none;
}

int TMessageBox::queuedAnswers()
{
    const MessageBoxSeam* test = seam().state();
    return test ? int(test->answers.size()) : 0;
}
