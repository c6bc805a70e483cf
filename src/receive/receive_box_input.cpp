// SPDX-License-Identifier: MIT
// The receive box's editing: keys, mouse, input method, clipboard, undo, context menu.

#include "receive/receive_box.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>

using namespace Qt::StringLiterals;

namespace kestrune {

namespace {

// How far word motions and double-click look for the end of a word.
constexpr qint64 word_reach = 1 << 16;
// How much text around the caret the input method is told about.
constexpr qint64 surrounding_reach = 256;

enum class CharClass { Word, Blank, Break, Other };

CharClass class_of(char16_t c)
{
    if (c == u' ' || c == u'\t')
        return CharClass::Blank;
    if (c == u'\r' || c == u'\n')
        return CharClass::Break;
    if (c == u'_' || QChar(c).isLetterOrNumber() || QChar::isSurrogate(c))
        return CharClass::Word;
    return CharClass::Other;
}

bool acceptable_typed(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return false;
    return true;
}

struct MotionKey {
    QKeySequence::StandardKey key;
    int motion;
    bool select;
};

} // namespace

// ---- caret ----

qint64 ReceiveBox::unit_after(qint64 pos) const
{
    if (pos >= text_->size())
        return 0;
    const char16_t c = text_->at(pos);
    const char16_t next = text_->at(pos + 1);
    if ((c == u'\r' && next == u'\n') || (QChar::isHighSurrogate(c) && QChar::isLowSurrogate(next)))
        return 2;
    return 1;
}

qint64 ReceiveBox::unit_before(qint64 pos) const
{
    if (pos <= 0)
        return 0;
    const char16_t c = text_->at(pos - 1);
    const char16_t before = pos >= 2 ? text_->at(pos - 2) : char16_t(0);
    if ((c == u'\n' && before == u'\r') || (QChar::isLowSurrogate(c) && QChar::isHighSurrogate(before)))
        return 2;
    return 1;
}

// Ctrl+Right: over the rest of this word (or run of other characters), then the blanks after it.
qint64 ReceiveBox::word_end(qint64 pos) const
{
    const qint64 size = text_->size();
    if (pos >= size)
        return size;
    const qint64 limit = std::min(size, pos + word_reach);
    const CharClass first = class_of(text_->at(pos));
    if (first == CharClass::Break)
        return pos + unit_after(pos);
    if (first != CharClass::Blank)
        while (pos < limit && class_of(text_->at(pos)) == first)
            ++pos;
    while (pos < limit && class_of(text_->at(pos)) == CharClass::Blank)
        ++pos;
    return pos;
}

// Ctrl+Left: back over blanks, then to the start of the word before them.
qint64 ReceiveBox::word_start(qint64 pos) const
{
    if (pos <= 0)
        return 0;
    const qint64 limit = std::max<qint64>(0, pos - word_reach);
    while (pos > limit && class_of(text_->at(pos - 1)) == CharClass::Blank)
        --pos;
    if (pos == 0)
        return 0;
    const CharClass last = class_of(text_->at(pos - 1));
    if (last == CharClass::Break)
        return pos - unit_before(pos);
    while (pos > limit && class_of(text_->at(pos - 1)) == last)
        --pos;
    return pos;
}

void ReceiveBox::move_caret(qint64 pos, bool keep_anchor, bool at_line_end)
{
    caret_ = std::clamp<qint64>(pos, 0, text_->size());
    if (!keep_anchor)
        anchor_ = caret_;
    caret_at_line_end_ = at_line_end;
    history_.end_step();
    ensure_caret_visible();
    show_now();
}

void ReceiveBox::apply_motion(Motion motion, bool select)
{
    const qint64 from = std::min(anchor_, caret_);
    const qint64 to = std::max(anchor_, caret_);
    const bool vertical = motion == Motion::NextLine || motion == Motion::PreviousLine
                          || motion == Motion::NextPage || motion == Motion::PreviousPage;
    const qint64 line_start = caret_line_start();
    if (vertical && goal_x_ < 0)
        goal_x_ = layout_.x_in_line(line_start, caret_);
    const qreal goal = goal_x_;
    qint64 pos = caret_;
    bool at_end = false;
    switch (motion) {
    case Motion::NextChar:
        pos = (!select && from != to) ? to : caret_ + unit_after(caret_);
        break;
    case Motion::PreviousChar:
        pos = (!select && from != to) ? from : caret_ - unit_before(caret_);
        break;
    case Motion::NextWord:
        pos = word_end(caret_);
        break;
    case Motion::PreviousWord:
        pos = word_start(caret_);
        break;
    case Motion::StartOfLine:
        pos = line_start;
        break;
    case Motion::EndOfLine: {
        const LineSpan line = layout_.span(line_start);
        pos = line.content_end;
        at_end = line.soft;
        break;
    }
    case Motion::StartOfDocument:
        pos = 0;
        break;
    case Motion::EndOfDocument:
        pos = text_->size();
        break;
    case Motion::NextLine:
    case Motion::PreviousLine:
    case Motion::NextPage:
    case Motion::PreviousPage: {
        const bool page = motion == Motion::NextPage || motion == Motion::PreviousPage;
        const qint64 n = page ? std::max(visible_lines() - 1, 1) : 1;
        const bool down = motion == Motion::NextLine || motion == Motion::NextPage;
        const qint64 target = down ? layout_.lines_after(line_start, n) : layout_.lines_before(line_start, n);
        if (target == line_start && !page)
            break; // no line further that way: the caret stays
        if (page) {
            // The view moves by the same number of lines as the caret.
            top_ = down ? layout_.lines_after(top_, n) : layout_.lines_before(top_, n);
        }
        pos = layout_.pos_in_line(layout_.span(target), goal, at_end);
        break;
    }
    }
    move_caret(pos, select, at_end);
    if (vertical)
        goal_x_ = goal;
    else
        goal_x_ = -1;
}

// ---- edits ----

void ReceiveBox::user_edit(qint64 pos, qint64 removed, QStringView inserted, EditHistory::Kind kind)
{
    if (removed == 0 && inserted.isEmpty())
        return;
    EditHistory::Edit edit{pos, text_->mid(pos, removed), inserted.toString(), anchor_, caret_};
    replace_text(pos, removed, inserted);
    history_.record(std::move(edit), kind);
    caret_ = anchor_ = pos + inserted.size();
    caret_at_line_end_ = false;
    goal_x_ = -1;
    settle(true);
}

void ReceiveBox::insert_typed(QStringView text, EditHistory::Kind kind)
{
    const qint64 from = std::min(anchor_, caret_);
    user_edit(from, std::max(anchor_, caret_) - from, text, kind);
}

void ReceiveBox::revert(const EditHistory::Edit &edit, bool undoing)
{
    const QString &now = undoing ? edit.inserted : edit.removed;
    const QString &then = undoing ? edit.removed : edit.inserted;
    // Records hold positions before any later append, so they still match; if
    // the text says otherwise the history is dropped rather than misapplied.
    if (edit.pos + now.size() > text_->size() || text_->mid(edit.pos, now.size()) != now) {
        history_.clear();
        return;
    }
    replace_text(edit.pos, now.size(), then);
    if (undoing) {
        anchor_ = std::clamp<qint64>(edit.anchor_before, 0, text_->size());
        caret_ = std::clamp<qint64>(edit.caret_before, 0, text_->size());
    } else {
        caret_ = anchor_ = edit.pos + then.size();
    }
    caret_at_line_end_ = false;
    goal_x_ = -1;
    settle(true);
}

void ReceiveBox::undo()
{
    if (const auto edit = history_.take_undo())
        revert(*edit, true);
}

void ReceiveBox::redo()
{
    if (const auto edit = history_.take_redo())
        revert(*edit, false);
}

void ReceiveBox::copy() const
{
    if (anchor_ != caret_)
        QGuiApplication::clipboard()->setText(selected_text());
}

void ReceiveBox::cut()
{
    if (anchor_ == caret_)
        return;
    copy();
    delete_selection();
}

void ReceiveBox::paste()
{
    const QString text = QGuiApplication::clipboard()->text();
    if (!text.isEmpty())
        insert_typed(text, EditHistory::Kind::Other);
}

void ReceiveBox::delete_selection()
{
    insert_typed({}, EditHistory::Kind::Other);
}

void ReceiveBox::select_all()
{
    anchor_ = 0;
    move_caret(text_->size(), true);
    publish_selection();
}

void ReceiveBox::publish_selection() const
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (anchor_ != caret_ && clipboard->supportsSelection())
        clipboard->setText(selected_text(), QClipboard::Selection);
}

// ---- keys ----

bool ReceiveBox::event(QEvent *event)
{
    // Keys the box handles itself are not window shortcuts while it has the focus.
    if (event->type() == QEvent::ShortcutOverride) {
        auto *key = static_cast<QKeyEvent *>(event);
        const bool ours = key == QKeySequence::Copy || key == QKeySequence::Cut || key == QKeySequence::Paste
                          || key == QKeySequence::Undo || key == QKeySequence::Redo
                          || key == QKeySequence::SelectAll || key == QKeySequence::Delete
                          || key == QKeySequence::DeleteStartOfWord || key == QKeySequence::DeleteEndOfWord
                          || key->key() == Qt::Key_Home || key->key() == Qt::Key_End
                          || key->key() == Qt::Key_Backspace || acceptable_typed(key->text());
        if (ours && !(key->modifiers() & Qt::AltModifier && !acceptable_typed(key->text()))) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void ReceiveBox::keyPressEvent(QKeyEvent *event)
{
    static const MotionKey motions[] = {
        {QKeySequence::MoveToNextChar, int(Motion::NextChar), false},
        {QKeySequence::MoveToPreviousChar, int(Motion::PreviousChar), false},
        {QKeySequence::MoveToNextWord, int(Motion::NextWord), false},
        {QKeySequence::MoveToPreviousWord, int(Motion::PreviousWord), false},
        {QKeySequence::MoveToNextLine, int(Motion::NextLine), false},
        {QKeySequence::MoveToPreviousLine, int(Motion::PreviousLine), false},
        {QKeySequence::MoveToStartOfLine, int(Motion::StartOfLine), false},
        {QKeySequence::MoveToEndOfLine, int(Motion::EndOfLine), false},
        {QKeySequence::MoveToNextPage, int(Motion::NextPage), false},
        {QKeySequence::MoveToPreviousPage, int(Motion::PreviousPage), false},
        {QKeySequence::MoveToStartOfDocument, int(Motion::StartOfDocument), false},
        {QKeySequence::MoveToEndOfDocument, int(Motion::EndOfDocument), false},
        {QKeySequence::SelectNextChar, int(Motion::NextChar), true},
        {QKeySequence::SelectPreviousChar, int(Motion::PreviousChar), true},
        {QKeySequence::SelectNextWord, int(Motion::NextWord), true},
        {QKeySequence::SelectPreviousWord, int(Motion::PreviousWord), true},
        {QKeySequence::SelectNextLine, int(Motion::NextLine), true},
        {QKeySequence::SelectPreviousLine, int(Motion::PreviousLine), true},
        {QKeySequence::SelectStartOfLine, int(Motion::StartOfLine), true},
        {QKeySequence::SelectEndOfLine, int(Motion::EndOfLine), true},
        {QKeySequence::SelectNextPage, int(Motion::NextPage), true},
        {QKeySequence::SelectPreviousPage, int(Motion::PreviousPage), true},
        {QKeySequence::SelectStartOfDocument, int(Motion::StartOfDocument), true},
        {QKeySequence::SelectEndOfDocument, int(Motion::EndOfDocument), true},
    };
    // The window's Tab moves the focus; Esc belongs to the window as well.
    if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab || event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    for (const MotionKey &m : motions) {
        if (event->matches(m.key)) {
            apply_motion(Motion(m.motion), m.select);
            if (m.select)
                publish_selection();
            return;
        }
    }
    const qint64 from = std::min(anchor_, caret_);
    const qint64 to = std::max(anchor_, caret_);
    if (event == QKeySequence::SelectAll) {
        select_all();
    } else if (event == QKeySequence::Copy) {
        copy();
    } else if (event == QKeySequence::Cut) {
        cut();
    } else if (event == QKeySequence::Paste) {
        paste();
    } else if (event == QKeySequence::Undo) {
        undo();
    } else if (event == QKeySequence::Redo) {
        redo();
    } else if (event == QKeySequence::InsertParagraphSeparator || event == QKeySequence::InsertLineSeparator) {
        insert_typed(u"\r\n", EditHistory::Kind::Typing);
    } else if (event == QKeySequence::DeleteStartOfWord) {
        if (from != to)
            delete_selection();
        else
            user_edit(word_start(caret_), caret_ - word_start(caret_), {}, EditHistory::Kind::Other);
    } else if (event == QKeySequence::DeleteEndOfWord) {
        if (from != to)
            delete_selection();
        else
            user_edit(caret_, word_end(caret_) - caret_, {}, EditHistory::Kind::Other);
    } else if (event == QKeySequence::Delete) {
        if (from != to)
            delete_selection();
        else
            user_edit(caret_, unit_after(caret_), {}, EditHistory::Kind::Delete);
    } else if (event->key() == Qt::Key_Backspace && !(event->modifiers() & ~Qt::ShiftModifier)) {
        if (from != to)
            delete_selection();
        else
            user_edit(caret_ - unit_before(caret_), unit_before(caret_), {}, EditHistory::Kind::Backspace);
    } else if (acceptable_typed(event->text())
               && (!(event->modifiers() & Qt::ControlModifier) || (event->modifiers() & Qt::AltModifier))) {
        insert_typed(event->text());
    } else {
        event->ignore();
        return;
    }
    event->accept();
}

// ---- input method ----

void ReceiveBox::inputMethodEvent(QInputMethodEvent *event)
{
    if (!event->commitString().isEmpty() || event->replacementLength() > 0) {
        qint64 from = std::min(anchor_, caret_);
        qint64 to = std::max(anchor_, caret_);
        if (event->replacementLength() > 0) {
            from = std::clamp<qint64>(caret_ + event->replacementStart(), 0, text_->size());
            to = std::clamp<qint64>(from + event->replacementLength(), from, text_->size());
        }
        user_edit(from, to - from, event->commitString(), EditHistory::Kind::Typing);
    }
    preedit_ = event->preeditString();
    preedit_cursor_ = int(preedit_.size());
    for (const QInputMethodEvent::Attribute &a : event->attributes())
        if (a.type == QInputMethodEvent::Cursor)
            preedit_cursor_ = std::clamp(a.start, 0, int(preedit_.size()));
    restart_blink();
    viewport()->update();
    event->accept();
}

QVariant ReceiveBox::inputMethodQuery(Qt::InputMethodQuery query) const
{
    const qint64 around = std::max<qint64>(caret_ - surrounding_reach, 0);
    switch (query) {
    case Qt::ImEnabled:
        return true;
    case Qt::ImCursorRectangle:
    case Qt::ImAnchorRectangle:
        return caret_rect().translated(viewport()->pos());
    case Qt::ImFont:
        return text_font_;
    case Qt::ImHints:
        return int(Qt::ImhMultiLine);
    case Qt::ImMaximumTextLength:
        return QVariant();
    case Qt::ImAbsolutePosition:
        return caret_;
    case Qt::ImCursorPosition:
        return int(caret_ - around);
    case Qt::ImAnchorPosition:
        return int(std::clamp<qint64>(anchor_ - around, 0, 2 * surrounding_reach));
    case Qt::ImSurroundingText:
        return text_->mid(around, 2 * surrounding_reach);
    case Qt::ImTextBeforeCursor:
        return text_->mid(around, caret_ - around);
    case Qt::ImTextAfterCursor:
        return text_->mid(caret_, surrounding_reach);
    case Qt::ImCurrentSelection:
        return selected_text().left(4 * surrounding_reach);
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}

// ---- mouse ----

qint64 ReceiveBox::hit(QPoint point, bool &at_line_end) const
{
    const int row = point.y() < margin_y ? 0 : (point.y() - margin_y) / line_height_;
    const qint64 start = point.y() < 0 ? layout_.lines_before(top_, 1) : layout_.lines_after(top_, row);
    return layout_.pos_in_line(layout_.span(start), point.x() - margin_x, at_line_end);
}

void ReceiveBox::mousePressEvent(QMouseEvent *event)
{
    bool at_end = false;
    const qint64 pos = hit(event->position().toPoint(), at_end);
    if (event->button() == Qt::LeftButton) {
        dragging_ = true;
        drag_point_ = event->position().toPoint();
        move_caret(pos, event->modifiers() & Qt::ShiftModifier, at_end);
    } else if (event->button() == Qt::MiddleButton && QGuiApplication::clipboard()->supportsSelection()) {
        const QString text = QGuiApplication::clipboard()->text(QClipboard::Selection);
        move_caret(pos, false, at_end);
        if (!text.isEmpty())
            insert_typed(text, EditHistory::Kind::Other);
    }
}

void ReceiveBox::mouseMoveEvent(QMouseEvent *event)
{
    if (!dragging_ || !(event->buttons() & Qt::LeftButton))
        return;
    drag_point_ = event->position().toPoint();
    const bool outside = drag_point_.y() < 0 || drag_point_.y() >= viewport()->height();
    if (outside && !drag_timer_.isActive())
        drag_timer_.start(50, this);
    else if (!outside)
        drag_timer_.stop();
    bool at_end = false;
    const qint64 pos = hit(drag_point_, at_end);
    move_caret(pos, true, at_end);
}

void ReceiveBox::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    dragging_ = false;
    drag_timer_.stop();
    publish_selection();
}

void ReceiveBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    bool at_end = false;
    qint64 pos = hit(event->position().toPoint(), at_end);
    // The word under the pointer, the run of blanks, or the one other character.
    if (pos >= text_->size() || class_of(text_->at(pos)) == CharClass::Break)
        pos = std::max<qint64>(pos - unit_before(pos), 0);
    if (pos >= text_->size())
        return;
    const CharClass kind = class_of(text_->at(pos));
    qint64 from = pos;
    qint64 to = pos + unit_after(pos);
    if (kind == CharClass::Word || kind == CharClass::Blank) {
        const qint64 low = std::max<qint64>(0, pos - word_reach);
        const qint64 high = std::min(text_->size(), pos + word_reach);
        while (from > low && class_of(text_->at(from - 1)) == kind)
            --from;
        while (to < high && class_of(text_->at(to)) == kind)
            ++to;
    }
    dragging_ = false;
    anchor_ = from;
    move_caret(to, true);
    publish_selection();
}

// ---- context menu ----

void ReceiveBox::contextMenuEvent(QContextMenuEvent *event)
{
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const bool selection = anchor_ != caret_;
    const bool can_paste = QGuiApplication::clipboard()->mimeData()
                           && QGuiApplication::clipboard()->mimeData()->hasText();
    menu->addAction(u"撤消(&U)"_s, this, &ReceiveBox::undo)->setEnabled(can_undo());
    menu->addAction(u"重做(&R)"_s, this, &ReceiveBox::redo)->setEnabled(can_redo());
    menu->addSeparator();
    menu->addAction(u"剪切(&T)"_s, this, &ReceiveBox::cut)->setEnabled(selection);
    menu->addAction(u"复制(&C)"_s, this, &ReceiveBox::copy)->setEnabled(selection);
    menu->addAction(u"粘贴(&P)"_s, this, &ReceiveBox::paste)->setEnabled(can_paste);
    menu->addAction(u"删除(&D)"_s, this, &ReceiveBox::delete_selection)->setEnabled(selection);
    menu->addSeparator();
    menu->addAction(u"全选(&A)"_s, this, &ReceiveBox::select_all)->setEnabled(!text_->is_empty());
    menu->popup(event->globalPos());
}

// ---- focus ----

void ReceiveBox::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    restart_blink();
    viewport()->update();
}

void ReceiveBox::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    blink_timer_.stop();
    viewport()->update();
}

} // namespace kestrune
