// SPDX-License-Identifier: MIT
#include "receive/receive_box.h"

#include "history/text_store.h"
#include "receive/font_widths.h"

#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QInputMethod>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>

#include <algorithm>
#include <climits>

using namespace Qt::StringLiterals;

namespace kestrune {

namespace {

// Characters wrapped within one change before the rest goes to the background.
constexpr qint64 settle_budget = 1 << 20;
// Appended data is painted at most this often, and moves the scroll bar at most
// every scroll_ms: at a few thousand chunks a second, painting would otherwise
// cost more than all the rest.
constexpr int frame_ms = 40;
constexpr int scroll_ms = 100;
// Characters per background slice, and the time a burst of slices may take.
constexpr qint64 slice_chars = 1 << 18;
constexpr qint64 slice_ms = 8;

// The default font as the box draws it: advances add up, so that what the wrap
// index measures per character is what the painter draws.
QFont text_font_of(const QFont &font)
{
    QFont f = font;
    f.setKerning(false);
    f.setStyleStrategy(QFont::PreferNoShaping);
    return f;
}

// Why the history is in memory, as the tooltip of the box says it.
QString storage_note(StorageFault fault)
{
    QString why;
    switch (fault) {
    case StorageFault::none:
        return {};
    case StorageFault::no_folder:
        why = u"无法创建缓存文件夹"_s;
        break;
    case StorageFault::no_file:
        why = u"无法在缓存文件夹中创建临时文件"_s;
        break;
    case StorageFault::disk_full:
        why = u"缓存文件所在的磁盘已满"_s;
        break;
    case StorageFault::quota:
        why = u"已超出磁盘配额"_s;
        break;
    case StorageFault::too_large:
        why = u"缓存文件已达到允许的最大长度"_s;
        break;
    case StorageFault::write_failed:
        why = u"无法写入缓存文件"_s;
        break;
    }
    return u"接收的数据暂存在内存中：%1。"_s.arg(why);
}

} // namespace

ReceiveBox::ReceiveBox(QWidget *parent) : ReceiveBox(std::make_unique<FileHistory>(history_folders()), parent) {}

ReceiveBox::ReceiveBox(std::unique_ptr<History> text, QWidget *parent)
    : QAbstractScrollArea(parent),
      text_(std::move(text)),
      text_font_(text_font_of(font())),
      widths_(font_widths(text_font_, measure_ahead(text_font_))),
      layout_(*text_, widths_)
{
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    viewport()->setCursor(Qt::IBeamCursor);
    last_frame_.start();
    last_scroll_.start();
    take_font();
    show_storage();
}

ReceiveBox::~ReceiveBox() = default;

void ReceiveBox::take_font()
{
    text_font_ = text_font_of(font());
    widths_ = font_widths(text_font_, measure_ahead(text_font_));
    const QFontMetrics metrics(text_font_);
    line_height_ = std::max(metrics.lineSpacing(), 1);
    ascent_ = metrics.ascent();
    layout_.index().set_width(wrap_width());
}

// ---- public operations ----

void ReceiveBox::append_to_receive_box(QStringView text)
{
    const qint64 old = text_->size();
    if (!text.isEmpty()) {
        text_->append(text);
        layout_.index().text_replaced(old, 0, text.size());
    }
    caret_ = anchor_ = text_->size();
    caret_at_line_end_ = false;
    goal_x_ = -1;
    if (!layout_.index().wrap(settle_budget) && !wrap_timer_.isActive())
        wrap_timer_.start(0, this);
    top_ = line_start_of(top_);
    ensure_caret_visible();
    // Data may arrive in thousands of small chunks a second: the view follows
    // once a frame, the scroll bar and the input method a few times a second.
    if (!frame_timer_.isActive())
        frame_timer_.start(int(std::clamp<qint64>(frame_ms - last_frame_.elapsed(), 0, frame_ms)), this);
    show_storage();
}

void ReceiveBox::set_text(QStringView text)
{
    text_->clear();
    text_->append(text);
    layout_.index().reset(text_->size());
    history_.clear();
    top_ = caret_ = anchor_ = 0;
    caret_at_line_end_ = false;
    goal_x_ = -1;
    settle(true);
}

void ReceiveBox::clear()
{
    set_text({});
}

QString ReceiveBox::text() const
{
    return text_->text();
}

qint64 ReceiveBox::text_length() const
{
    return text_->size();
}

void ReceiveBox::write_gbk(QIODevice &out) const
{
    text_->write_gbk(out);
}

QString ReceiveBox::selected_text() const
{
    const qint64 from = std::min(anchor_, caret_);
    return text_->mid(from, std::max(anchor_, caret_) - from);
}

void ReceiveBox::set_selection(qint64 anchor, qint64 caret)
{
    anchor_ = std::clamp<qint64>(anchor, 0, text_->size());
    move_caret(caret, true);
}

// ---- layout ----

qreal ReceiveBox::wrap_width() const
{
    return std::max(viewport()->width() - 2 * margin_x, 1);
}

int ReceiveBox::visible_lines() const
{
    return std::max((viewport()->height() - margin_y) / line_height_, 1);
}

qint64 ReceiveBox::caret_line_start() const
{
    const qint64 s = line_start_of(caret_);
    if (caret_at_line_end_ && s == caret_ && caret_ > 0) {
        const char16_t before = text_->at(caret_ - 1);
        if (before != u'\n' && before != u'\r')
            return line_start_of(caret_ - 1);
    }
    return s;
}

// The visible row of a line, or -1 when it is not on screen.
int ReceiveBox::row_of(qint64 line_start) const
{
    if (line_start < top_)
        return -1;
    qint64 s = top_;
    const int rows = visible_lines() + 1;
    for (int row = 0; row < rows && s >= 0; ++row) {
        if (s == line_start)
            return row;
        if (s > line_start)
            return -1;
        s = layout_.next_line(s);
    }
    return -1;
}

QRect ReceiveBox::caret_rect() const
{
    const qint64 start = caret_line_start();
    const int row = row_of(start);
    if (row < 0)
        return {};
    const int x = margin_x + int(layout_.x_in_line(start, caret_));
    return QRect(std::min(x, viewport()->width() - 1), margin_y + row * line_height_, 1, line_height_);
}

// ---- painting ----

void ReceiveBox::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    painter.setFont(text_font_);
    const qint64 sel_from = std::min(anchor_, caret_);
    const qint64 sel_to = std::max(anchor_, caret_);
    const bool show_caret = hasFocus() && (caret_shown_ || !preedit_.isEmpty());
    const qint64 caret_start = show_caret ? caret_line_start() : -2;
    const QRect dirty = event->rect();
    const int bottom = viewport()->height();
    qint64 s = top_;
    for (int y = margin_y; s >= 0 && y < bottom; y += line_height_) {
        const LineSpan line = layout_.span(s);
        if (y + line_height_ > dirty.top() && y <= dirty.bottom())
            draw_line(painter, line, y, sel_from, sel_to);
        if (s == caret_start) {
            qreal x = margin_x + layout_.x_in_line(s, caret_);
            if (!preedit_.isEmpty()) {
                // The text being composed sits at the caret, underlined, over what follows.
                const QFontMetricsF metrics(text_font_);
                const QRectF box(x, y, metrics.horizontalAdvance(preedit_), line_height_);
                painter.fillRect(box, palette().brush(QPalette::Base));
                QFont underlined = text_font_;
                underlined.setUnderline(true);
                painter.setFont(underlined);
                painter.setPen(palette().color(QPalette::Text));
                painter.drawText(QPointF(x, y + ascent_), preedit_);
                painter.setFont(text_font_);
                x += metrics.horizontalAdvance(preedit_.left(preedit_cursor_));
            }
            painter.fillRect(QRectF(std::min<qreal>(x, viewport()->width() - 1), y, 1, line_height_),
                             palette().brush(QPalette::Text));
        }
        s = line.next;
    }
}

void ReceiveBox::draw_line(QPainter &painter, const LineSpan &line, int y, qint64 sel_from, qint64 sel_to) const
{
    const qint64 end = line.next < 0 ? text_->size() : line.next;
    const QString chars = text_->mid(line.start, std::min(end, line.start + TextLayout::paint_chars) - line.start);
    const qreal right = viewport()->width();

    // Selection first, so the text goes over it; a selected line break shows as a space.
    const qint64 a = std::max(sel_from, line.start);
    const qint64 b = std::min(sel_to, end);
    if (a < b) {
        const qreal xa = margin_x + layout_.x_in_line(line.start, a);
        qreal xb = margin_x + layout_.x_in_line(line.start, std::min(b, line.content_end));
        if (b > line.content_end && !line.soft)
            xb += widths_.advance(u' ');
        painter.fillRect(QRectF(xa, y, xb - xa, line_height_), palette().brush(QPalette::Highlight));
    }

    QString run;
    qreal run_x = margin_x;
    bool run_selected = false;
    auto flush = [&] {
        if (run.isEmpty())
            return;
        painter.setPen(palette().color(run_selected ? QPalette::HighlightedText : QPalette::Text));
        painter.drawText(QPointF(run_x, y + ascent_), run);
        run.clear();
    };
    qreal x = 0;
    for (qsizetype i = 0; i < chars.size() && margin_x + x <= right; ++i) {
        const char16_t c = chars.at(i).unicode();
        const qint64 pos = line.start + i;
        if (c == u'\t' || c == u'\n' || c == u'\r') {
            flush();
            x = c == u'\t' ? widths_.next_tab_stop(x) : x;
            continue;
        }
        const bool selected = pos >= sel_from && pos < sel_to;
        if (selected != run_selected)
            flush();
        if (run.isEmpty()) {
            run_x = margin_x + x;
            run_selected = selected;
        }
        if (const char16_t drawn = widths_.shown(c)) {
            run.append(QChar(drawn));
            x += widths_.advance(c);
        }
    }
    flush();
}

// ---- changes ----

void ReceiveBox::replace_text(qint64 pos, qint64 removed, QStringView inserted)
{
    text_->remove(pos, removed);
    text_->insert(pos, inserted);
    layout_.index().text_replaced(pos, removed, inserted.size());
    if (pos < top_)
        top_ = pos + removed <= top_ ? top_ + inserted.size() - removed : pos;
}

// After a change by the user or the app: wrap what is cheap now and the rest in
// the background, keep the first visible line a line start, follow the caret
// when asked, show it at once.
void ReceiveBox::settle(bool follow_caret)
{
    if (!layout_.index().wrap(settle_budget) && !wrap_timer_.isActive())
        wrap_timer_.start(0, this);
    top_ = line_start_of(top_);
    if (follow_caret)
        ensure_caret_visible();
    show_now();
    show_storage();
}

// What the user or the app did shows at once, all of it.
void ReceiveBox::show_now()
{
    frame_timer_.stop();
    last_frame_.start();
    viewport()->update();
    sync_view();
    if (hasFocus())
        restart_blink();
}

// A frame of appended data: the text now, the scroll bar when it is due.
void ReceiveBox::show_frame()
{
    last_frame_.start();
    viewport()->update();
    const qint64 since = last_scroll_.elapsed();
    if (since >= scroll_ms)
        sync_view();
    else if (!scroll_timer_.isActive())
        scroll_timer_.start(int(scroll_ms - since), this);
}

void ReceiveBox::sync_view()
{
    scroll_timer_.stop();
    last_scroll_.start();
    sync_scroll_bar();
    if (hasFocus())
        QGuiApplication::inputMethod()->update(Qt::ImCursorRectangle | Qt::ImCursorPosition
                                               | Qt::ImAnchorPosition | Qt::ImSurroundingText);
}

void ReceiveBox::wrap_some()
{
    QElapsedTimer clock;
    clock.start();
    while (!layout_.index().wrap(slice_chars) && clock.elapsed() < slice_ms) {
    }
    if (layout_.index().complete()) {
        wrap_timer_.stop();
        top_ = line_start_of(top_);
        if (keep_caret_in_view_)
            ensure_caret_visible();
        keep_caret_in_view_ = false;
    }
    sync_scroll_bar();
    viewport()->update();
}

void ReceiveBox::ensure_caret_visible()
{
    const qint64 caret_start = caret_line_start();
    const int rows = visible_lines();
    if (caret_start < top_) {
        top_ = caret_start;
        return;
    }
    if (layout_.index().complete()) {
        const qint64 caret_line = layout_.index().line_of(caret_start);
        if (caret_line - layout_.index().line_of(top_) >= rows)
            top_ = layout_.index().line_start(caret_line - rows + 1);
        return;
    }
    qint64 s = top_;
    for (int row = 0; row < rows && s >= 0 && s <= caret_start; ++row) {
        if (s == caret_start)
            return;
        s = layout_.next_line(s);
    }
    top_ = layout_.lines_before(caret_start, rows - 1);
}

void ReceiveBox::sync_scroll_bar()
{
    QScrollBar *bar = verticalScrollBar();
    const int rows = visible_lines();
    const int maximum = int(std::clamp<qint64>(layout_.total_lines() - rows, 0, INT_MAX));
    const int value = int(std::clamp<qint64>(layout_.line_number(top_), 0, maximum));
    syncing_scroll_ = true;
    if (bar->maximum() != maximum || bar->minimum() != 0)
        bar->setRange(0, maximum);
    if (bar->pageStep() != rows)
        bar->setPageStep(rows);
    if (bar->value() != value)
        bar->setValue(value);
    syncing_scroll_ = false;
}

void ReceiveBox::scrollContentsBy(int, int)
{
    if (syncing_scroll_)
        return;
    top_ = layout_.start_of_line_number(verticalScrollBar()->value());
    viewport()->update();
    if (hasFocus())
        QGuiApplication::inputMethod()->update(Qt::ImCursorRectangle);
}

void ReceiveBox::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (wrap_width() != layout_.index().width()) {
        // The lines on screen are wrapped on the fly from the first visible
        // position; the index follows in slices.
        const int row = row_of(caret_line_start());
        keep_caret_in_view_ = keep_caret_in_view_ || (row >= 0 && row < visible_lines());
        layout_.index().set_width(wrap_width());
        if (layout_.index().wrap(slice_chars)) {
            top_ = line_start_of(top_);
            if (keep_caret_in_view_)
                ensure_caret_visible();
            keep_caret_in_view_ = false;
        } else if (!wrap_timer_.isActive()) {
            wrap_timer_.start(0, this);
        }
    }
    if (keep_caret_in_view_)
        ensure_caret_visible();
    sync_scroll_bar();
    viewport()->update();
}

void ReceiveBox::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        take_font();
        settle(false);
    }
}

void ReceiveBox::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == wrap_timer_.timerId()) {
        wrap_some();
    } else if (event->timerId() == frame_timer_.timerId()) {
        frame_timer_.stop();
        show_frame();
    } else if (event->timerId() == scroll_timer_.timerId()) {
        sync_view();
    } else if (event->timerId() == blink_timer_.timerId()) {
        caret_shown_ = !caret_shown_;
        viewport()->update(caret_rect().adjusted(-1, 0, 1, 0));
    } else if (event->timerId() == drag_timer_.timerId()) {
        QScrollBar *bar = verticalScrollBar();
        if (drag_point_.y() < 0)
            bar->setValue(bar->value() - 1);
        else if (drag_point_.y() >= viewport()->height())
            bar->setValue(bar->value() + 1);
        bool at_end = false;
        const qint64 pos = hit(drag_point_, at_end);
        move_caret(pos, true, at_end);
    } else {
        QAbstractScrollArea::timerEvent(event);
    }
}

// The tooltip says why the history is in memory while it is.
void ReceiveBox::show_storage()
{
    const StorageFault fault = text_->fault();
    if (fault == shown_fault_)
        return;
    shown_fault_ = fault;
    setToolTip(storage_note(fault));
}

void ReceiveBox::restart_blink()
{
    caret_shown_ = true;
    const int flash = QGuiApplication::styleHints()->cursorFlashTime();
    if (flash >= 2)
        blink_timer_.start(flash / 2, this);
    else
        blink_timer_.stop();
}

} // namespace kestrune
