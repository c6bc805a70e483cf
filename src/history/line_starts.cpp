// SPDX-License-Identifier: MIT
#include "history/line_starts.h"

#include <algorithm>
#include <limits>

namespace kestrune {

std::size_t LineStarts::block_of(qint64 index) const
{
    // Most lookups are near the end, where the text grows.
    if (index >= first_.back())
        return first_.size() - 1;
    const auto it = std::upper_bound(first_.begin(), first_.end(), index);
    return std::size_t(it - first_.begin()) - 1;
}

qint64 LineStarts::at(qint64 index) const
{
    const std::size_t b = block_of(index);
    return blocks_[b].base + blocks_[b].offsets[std::size_t(index - first_[b])];
}

qint64 LineStarts::back() const
{
    return blocks_.back().base + blocks_.back().offsets.back();
}

void LineStarts::start_block(qint64 start, std::size_t reserve)
{
    Block block{start, {}};
    block.offsets.reserve(reserve);
    blocks_.push_back(std::move(block));
    first_.push_back(count_);
}

void LineStarts::push_back(qint64 start)
{
    constexpr qint64 max_offset = std::numeric_limits<quint32>::max();
    if (blocks_.empty() || blocks_.back().offsets.size() >= block_entries
        || start - blocks_.back().base > max_offset)
        start_block(start, block_entries);
    Block &block = blocks_.back();
    block.offsets.push_back(quint32(start - block.base));
    ++count_;
}

void LineStarts::truncate(qint64 count)
{
    if (count >= count_)
        return;
    if (count <= 0) {
        clear();
        return;
    }
    const std::size_t b = block_of(count);
    blocks_[b].offsets.resize(std::size_t(count - first_[b]));
    const std::size_t keep = blocks_[b].offsets.empty() ? b : b + 1;
    blocks_.resize(keep);
    first_.resize(keep);
    count_ = count;
}

void LineStarts::clear()
{
    blocks_.clear();
    first_.clear();
    count_ = 0;
}

qint64 LineStarts::last_at_or_before(qint64 pos) const
{
    if (count_ == 0 || pos < blocks_.front().base)
        return -1;
    std::size_t b = blocks_.size() - 1;
    if (pos < blocks_.back().base) {
        const auto it = std::upper_bound(blocks_.begin(), blocks_.end(), pos,
                                         [](qint64 p, const Block &block) { return p < block.base; });
        b = std::size_t(it - blocks_.begin()) - 1;
    }
    const Block &block = blocks_[b];
    const qint64 offset = std::min<qint64>(pos - block.base, std::numeric_limits<quint32>::max());
    const auto in = std::upper_bound(block.offsets.begin(), block.offsets.end(), quint32(offset));
    return first_[b] + qint64(in - block.offsets.begin()) - 1;
}

LineStarts LineStarts::take_from(qint64 index)
{
    LineStarts taken;
    if (index >= count_)
        return taken;
    index = std::max<qint64>(index, 0);
    const std::size_t b = block_of(index);
    // The entries of the split block are copied; the whole blocks after it move.
    const Block &split = blocks_[b];
    for (std::size_t i = std::size_t(index - first_[b]); i < split.offsets.size(); ++i)
        taken.push_back(split.base + split.offsets[i]);
    for (std::size_t m = b + 1; m < blocks_.size(); ++m) {
        taken.first_.push_back(taken.count_);
        taken.count_ += qint64(blocks_[m].offsets.size());
        taken.blocks_.push_back(std::move(blocks_[m]));
    }
    blocks_.resize(b + 1);
    first_.resize(b + 1);
    truncate(index);
    return taken;
}

void LineStarts::append_shifted(LineStarts &&other, qint64 index, qint64 delta)
{
    if (index >= other.count_)
        return;
    index = std::max<qint64>(index, 0);
    const std::size_t b = other.block_of(index);
    const Block &split = other.blocks_[b];
    for (std::size_t i = std::size_t(index - other.first_[b]); i < split.offsets.size(); ++i)
        push_back(split.base + split.offsets[i] + delta);
    for (std::size_t m = b + 1; m < other.blocks_.size(); ++m) {
        Block &block = other.blocks_[m];
        block.base += delta;
        first_.push_back(count_);
        count_ += qint64(block.offsets.size());
        blocks_.push_back(std::move(block));
    }
    other.clear();
}

qint64 LineStarts::heap_bytes() const
{
    qint64 bytes = qint64(blocks_.capacity() * sizeof(Block) + first_.capacity() * sizeof(qint64));
    for (const Block &block : blocks_)
        bytes += qint64(block.offsets.capacity() * sizeof(quint32));
    return bytes;
}

} // namespace kestrune
