// SPDX-License-Identifier: MIT
#pragma once
// 接收编辑框, the receive box: a multi-line edit box built on our own text store
// and wrap index, so that appending to a text of any length costs the same and
// painting touches only the visible lines.

#include "history/char_widths.h"
#include "history/edit_history.h"
#include "history/history.h"
#include "history/text_layout.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QElapsedTimer>
#include <QStringView>

#include <memory>

class QIODevice;
class QPainter;

namespace kestrune {

class ReceiveBox : public QAbstractScrollArea
{
    Q_OBJECT
public:
    // The history goes to a temporary file in the first of history_folders()
    // where one can be made; without one it is kept in memory, and the tooltip says why.
    explicit ReceiveBox(QWidget *parent = nullptr);
    ReceiveBox(std::unique_ptr<History> text, QWidget *parent);
    ~ReceiveBox() override;

    // Caret to the end, scrolled into view, text inserted there with no undo
    // record; the user's caret or selection is lost, what the user typed stays
    // where it was. The only way received data enters the box. An empty text
    // still moves the caret and scrolls.
    void append_to_receive_box(QStringView text);

    // Replace the whole text, caret at 0; the undo history is dropped.
    void set_text(QStringView text);
    void clear();

    QString text() const; // exactly what was appended or typed, CR and LF as they came
    qint64 text_length() const;
    // Streams the text as GBK; a character GBK lacks becomes "?".
    void write_gbk(QIODevice &out) const;

    // Caret and selection, in positions of text(); the anchor is where a selection began.
    qint64 caret_position() const { return caret_; }
    qint64 anchor_position() const { return anchor_; }
    QString selected_text() const;
    void set_selection(qint64 anchor, qint64 caret);

    // The edit commands of the context menu and their keys.
    bool can_undo() const { return history_.can_undo(); }
    bool can_redo() const { return history_.can_redo(); }
    void undo();
    void redo();
    void cut();
    void copy() const;
    void paste();
    void delete_selection();
    void select_all();

    // False while lines are being wrapped again in the background after a new
    // width or a large change; the view shows the visible part meanwhile.
    bool wrapping_done() const { return layout_.index().complete(); }
    // Visual lines once wrapping_done(); the first visible one.
    qint64 line_count() const { return layout_.index().line_count(); }
    qint64 top_line_start() const { return top_; }
    // Memory the text and its line index take, and the room the text takes on disk.
    qint64 heap_bytes() const { return text_->heap_bytes() + layout_.index().heap_bytes(); }
    qint64 disk_bytes() const { return text_->disk_bytes(); }

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void timerEvent(QTimerEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    using LineSpan = TextLayout::LineSpan;
    static constexpr int margin_x = 4; // between the frame and the text
    static constexpr int margin_y = 2;
    enum class Motion {
        NextChar, PreviousChar, NextWord, PreviousWord, NextLine, PreviousLine,
        StartOfLine, EndOfLine, NextPage, PreviousPage, StartOfDocument, EndOfDocument
    };

    // Layout (receive_box.cpp)
    void take_font();
    qreal wrap_width() const;
    int visible_lines() const;
    qint64 line_start_of(qint64 pos) const { return layout_.line_start_of(pos, top_); }
    qint64 caret_line_start() const;
    int row_of(qint64 line_start) const;
    QRect caret_rect() const;
    void draw_line(QPainter &painter, const LineSpan &line, int y, qint64 sel_from, qint64 sel_to) const;

    // Changes (receive_box.cpp)
    void replace_text(qint64 pos, qint64 removed, QStringView inserted);
    void settle(bool follow_caret);
    void show_now();
    void show_frame();
    void wrap_some();
    void ensure_caret_visible();
    void sync_scroll_bar();
    void sync_view();
    void restart_blink();
    void show_storage();

    // Editing (receive_box_input.cpp)
    void user_edit(qint64 pos, qint64 removed, QStringView inserted, EditHistory::Kind kind);
    void insert_typed(QStringView text, EditHistory::Kind kind = EditHistory::Kind::Typing);
    void move_caret(qint64 pos, bool keep_anchor, bool at_line_end = false);
    void apply_motion(Motion motion, bool select);
    qint64 unit_after(qint64 pos) const;
    qint64 unit_before(qint64 pos) const;
    qint64 word_end(qint64 pos) const;
    qint64 word_start(qint64 pos) const;
    qint64 hit(QPoint point, bool &at_line_end) const;
    void publish_selection() const;
    void revert(const EditHistory::Edit &edit, bool undoing);

    std::unique_ptr<History> text_; // what was appended and typed
    QFont text_font_;
    CharWidths widths_;
    TextLayout layout_;
    EditHistory history_;
    StorageFault shown_fault_ = StorageFault::none; // what the tooltip says
    int line_height_ = 1;
    int ascent_ = 0;

    qint64 top_ = 0;     // start of the first visible line
    qint64 caret_ = 0;
    qint64 anchor_ = 0;
    bool caret_at_line_end_ = false; // caret at a wrap drawn at the end of the upper line
    qreal goal_x_ = -1;              // x kept by Up and Down
    bool keep_caret_in_view_ = false; // while wrapping again: the caret was in view
    bool syncing_scroll_ = false;

    QString preedit_; // input-method text being composed, drawn at the caret
    int preedit_cursor_ = 0;

    bool caret_shown_ = true;
    bool dragging_ = false;
    QPoint drag_point_;
    QBasicTimer blink_timer_;
    QBasicTimer wrap_timer_;
    QBasicTimer frame_timer_;  // appended data is painted at most once a frame
    QBasicTimer scroll_timer_; // and moves the scroll bar a few times a second
    QElapsedTimer last_frame_;
    QElapsedTimer last_scroll_;
    QBasicTimer drag_timer_;
};

} // namespace kestrune
