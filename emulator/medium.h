// The records and filemarks on an emulated tape. Record contents are stored
// once and shared: a write whose bytes equal the last stored content takes a
// reference to it, so a long run of the same block costs one copy and a small
// entry per record.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace zv::emulator {

class ContentStore {
public:
    static constexpr std::uint32_t NONE = 0xFFFFFFFF;

    // A reference to content equal to the bytes; copies them only when they
    // differ from the last content stored.
    std::uint32_t store(const std::uint8_t* bytes, std::uint64_t size);
    void add_reference(std::uint32_t id) { contents_[id].references++; }
    void release(std::uint32_t id);
    const std::uint8_t* bytes(std::uint32_t id) const { return contents_[id].bytes.get(); }
    std::size_t live_contents() const { return contents_.size() - free_.size(); }

private:
    struct Content {
        std::unique_ptr<std::uint8_t[]> bytes;
        std::uint64_t size = 0;
        std::uint32_t references = 0;
    };
    std::vector<Content> contents_;
    std::vector<std::uint32_t> free_;
    std::uint32_t last_ = NONE;
};

// One write command's records (a fixed-mode write of n blocks is one entry of
// n blocks) or one filemark.
struct TapeEntry {
    std::uint32_t content = ContentStore::NONE;  // NONE: a filemark
    std::uint32_t block_length = 0;
    std::uint32_t block_count = 1;
    bool is_filemark() const { return content == ContentStore::NONE; }
};

// The medium with the current position. Positions count logical objects
// (blocks and filemarks) from the beginning of the tape.
class Medium {
public:
    ~Medium();

    bool at_bot() const { return index_ == 0 && block_ == 0; }
    bool at_eod() const { return index_ == entries_.size(); }
    const TapeEntry& current() const { return entries_[index_]; }
    std::uint32_t block_in_entry() const { return block_; }
    std::uint64_t object_number() const { return object_; }
    std::uint64_t byte_position() const { return bytes_; }
    const std::uint8_t* current_block_bytes() const {
        return store_.bytes(entries_[index_].content) + std::uint64_t(block_) * entries_[index_].block_length;
    }

    void rewind();
    void to_eod();
    // Moves over up to `blocks` data blocks of the current entry (not past it).
    void skip_blocks(std::uint32_t blocks);
    // Moves over the current object (the rest of a data entry, or a filemark).
    void skip_entry();
    // Moves back over the object before the position (the part of the data
    // entry before it, or the filemark before it); not at the beginning.
    void back_entry();
    // Moves back one block or filemark; not at the beginning.
    void back_object();
    // Is the object before the position a filemark?
    bool filemark_before() const;

    // Cuts everything after the position (the position becomes end of data).
    void truncate();
    void append_records(const std::uint8_t* bytes, std::uint32_t block_length, std::uint32_t block_count);
    void append_filemark();

    std::size_t entry_count() const { return entries_.size(); }
    const ContentStore& store() const { return store_; }

private:
    ContentStore store_;
    std::vector<TapeEntry> entries_;
    std::size_t index_ = 0;    // current entry
    std::uint32_t block_ = 0;  // block within it
    std::uint64_t object_ = 0;
    std::uint64_t bytes_ = 0;
    std::uint64_t total_objects_ = 0;
    std::uint64_t total_bytes_ = 0;
};

}  // namespace zv::emulator
