// SPDX-License-Identifier: MIT
#include "app/integer_edit.h"

#include "text/decimal.h"

#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>

#include <algorithm>

namespace kestrune {

namespace {

bool is_typed_character(QChar c)
{
    return c.unicode() >= 32 && c.unicode() != 127;
}

bool is_accepted(QChar c)
{
    return !is_typed_character(c) || c == u'-' || (c >= u'0' && c <= u'9');
}

} // namespace

IntegerEdit::IntegerEdit(QWidget *parent)
    : QLineEdit(parent)
{
}

QString IntegerEdit::normalized(QStringView text)
{
    const qint32 value = leading_integer(text);
    return value == 0 ? QString() : QString::number(value);
}

void IntegerEdit::keyPressEvent(QKeyEvent *event)
{
    // Shortcuts (Ctrl+V and the like) pass; only typed characters are filtered.
    const bool shortcut = event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const QString typed = event->text();
    if (!shortcut && !typed.isEmpty() && !std::all_of(typed.begin(), typed.end(), is_accepted)) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void IntegerEdit::inputMethodEvent(QInputMethodEvent *event)
{
    // Text committed by an input method counts as typed.
    QString commit = event->commitString();
    commit.removeIf([](QChar c) { return !is_accepted(c); });
    if (commit == event->commitString()) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    QInputMethodEvent filtered(event->preeditString(), event->attributes());
    filtered.setCommitString(commit, event->replacementStart(), event->replacementLength());
    QLineEdit::inputMethodEvent(&filtered);
}

void IntegerEdit::focusOutEvent(QFocusEvent *event)
{
    // The box's own context menu takes the focus for a moment: the user is not leaving.
    const QString result = normalized(text());
    if (event->reason() != Qt::PopupFocusReason && result != text())
        setText(result);
    QLineEdit::focusOutEvent(event);
}

} // namespace kestrune
