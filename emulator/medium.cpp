#include "emulator/medium.h"

#include <cstring>

namespace zv::emulator {

std::uint32_t ContentStore::store(const std::uint8_t* bytes, std::uint64_t size) {
    if (last_ != NONE) {
        Content& last = contents_[last_];
        if (last.size == size && std::memcmp(last.bytes.get(), bytes, size) == 0) {
            last.references++;
            return last_;
        }
    }
    std::uint32_t id;
    if (!free_.empty()) {
        id = free_.back();
        free_.pop_back();
    } else {
        id = static_cast<std::uint32_t>(contents_.size());
        contents_.emplace_back();
    }
    Content& content = contents_[id];
    content.bytes.reset(new std::uint8_t[size == 0 ? 1 : size]);
    std::memcpy(content.bytes.get(), bytes, size);
    content.size = size;
    content.references = 1;
    last_ = id;
    return id;
}

void ContentStore::release(std::uint32_t id) {
    Content& content = contents_[id];
    if (--content.references > 0) return;
    content.bytes.reset();
    content.size = 0;
    free_.push_back(id);
    if (last_ == id) last_ = NONE;
}

Medium::~Medium() = default;

void Medium::rewind() {
    index_ = 0;
    block_ = 0;
    object_ = 0;
    bytes_ = 0;
}

void Medium::to_eod() {
    index_ = entries_.size();
    block_ = 0;
    object_ = total_objects_;
    bytes_ = total_bytes_;
}

void Medium::skip_blocks(std::uint32_t blocks) {
    const TapeEntry& entry = entries_[index_];
    block_ += blocks;
    object_ += blocks;
    bytes_ += std::uint64_t(blocks) * entry.block_length;
    if (block_ >= entry.block_count) {
        ++index_;
        block_ = 0;
    }
}

void Medium::skip_entry() {
    const TapeEntry& entry = entries_[index_];
    if (entry.is_filemark()) {
        ++index_;
        ++object_;
    } else {
        skip_blocks(entry.block_count - block_);
    }
}

void Medium::back_entry() {
    if (block_ == 0) {
        --index_;
        const TapeEntry& entry = entries_[index_];
        if (entry.is_filemark()) {
            --object_;
            return;
        }
        block_ = entry.block_count;
    }
    const TapeEntry& entry = entries_[index_];
    object_ -= block_;
    bytes_ -= std::uint64_t(block_) * entry.block_length;
    block_ = 0;
}

void Medium::back_object() {
    if (block_ == 0) {
        --index_;
        const TapeEntry& entry = entries_[index_];
        --object_;
        if (entry.is_filemark()) return;
        block_ = entry.block_count - 1;
        bytes_ -= entry.block_length;
        return;
    }
    --block_;
    --object_;
    bytes_ -= entries_[index_].block_length;
}

bool Medium::filemark_before() const { return block_ == 0 && index_ > 0 && entries_[index_ - 1].is_filemark(); }

void Medium::truncate() {
    std::size_t keep = index_;
    if (block_ > 0) {
        entries_[index_].block_count = block_;
        keep = index_ + 1;
    }
    for (std::size_t i = keep; i < entries_.size(); ++i)
        if (!entries_[i].is_filemark()) store_.release(entries_[i].content);
    entries_.resize(keep);
    index_ = keep;
    block_ = 0;
    total_objects_ = object_;
    total_bytes_ = bytes_;
}

void Medium::append_records(const std::uint8_t* bytes, std::uint32_t block_length, std::uint32_t block_count) {
    const std::uint64_t size = std::uint64_t(block_length) * block_count;
    TapeEntry entry;
    entry.content = store_.store(bytes, size);
    entry.block_length = block_length;
    entry.block_count = block_count;
    entries_.push_back(entry);
    index_ = entries_.size();
    block_ = 0;
    object_ += block_count;
    bytes_ += size;
    total_objects_ = object_;
    total_bytes_ = bytes_;
}

void Medium::append_filemark() {
    entries_.push_back(TapeEntry{});
    index_ = entries_.size();
    block_ = 0;
    ++object_;
    total_objects_ = object_;
}

}  // namespace zv::emulator
