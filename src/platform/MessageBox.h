#pragma once

#include <QList>
#include <QString>

// The program's one message component (msgMain): every message the user sees goes through it.
// A box is modal, centred on the screen, of kind warning (caption "Warning") or information
// (caption "Information"). Enter answers Yes if present, else OK; Escape answers Cancel if
// present, else No, else OK; closing the box otherwise answers Cancel, whatever its buttons.
//
// Test seam (util/TestSeam.h), inert unless armed: tests queue the answers of the next boxes with
// setNextAnswer(), a queued answer is returned without showing a box, and every message asked for
// is recorded in shownMessages(). The program itself keeps no message text.
class TMessageBox
{
public:
    enum class Kind
    {
        Warning,
        Information
    };
    enum class Buttons
    {
        Ok,
        OkCancel,
        YesNoCancel
    };
    enum class Answer
    {
        Ok,
        Cancel,
        Yes,
        No
    };

    struct Shown
    {
        Kind kind;
        QString text;
        Buttons buttons;
    };

    static Answer show(Kind kind, const QString& text, Buttons buttons = Buttons::Ok);
    static Answer warning(const QString& text, Buttons buttons = Buttons::Ok)
    {
        return show(Kind::Warning, text, buttons);
    }
    static Answer information(const QString& text, Buttons buttons = Buttons::Ok)
    {
        return show(Kind::Information, text, buttons);
    }

    // Test seam (TestSeams::reset() empties it with the others).
    static void setNextAnswer(Answer answer);
    static void clearTestState(); // drops queued answers and the record of shown messages
    static const QList<Shown>& shownMessages();
    static int queuedAnswers();
};
