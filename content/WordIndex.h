#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavi {

// The dictionary of a content model: word (key form, Shift_JIS) to index. Open addressing
// over one buffer of keys, so that a look-up reads one slot, and the key itself only when
// the hashes agree, instead of walking a chain of nodes.
class WordIndex {
public:
    size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    void clear();
    // Makes room for `count` words in all, so that adding them allocates no more slots.
    void Reserve(size_t count);

    // Sets the index (not 0) of `word`; a repeated word keeps the last index set.
    void Set(std::string_view word, int32_t index);
    // The index of `word`, or 0 when the dictionary does not hold it.
    int32_t Find(std::string_view word) const;

    // For many look-ups at once: the slot of each word is fetched from memory ahead of the
    // look-up (Prefetch), so that the cache misses overlap instead of following one another.
    static uint64_t HashOf(std::string_view word);
    void Prefetch(uint64_t hash) const;
    int32_t Find(std::string_view word, uint64_t hash) const;

private:
    struct Slot {
        uint64_t hash = 0;
        size_t offset = 0;  // of the key in m_keys
        size_t length = 0;
        int32_t index = 0;  // 0: empty slot
    };
    size_t Probe(std::string_view word, uint64_t hash) const;
    void Rehash(size_t slotCount);

    std::string m_keys;
    std::vector<Slot> m_slots;  // a power of two in size, at most half full
    size_t m_count = 0;
};

}  // namespace tavi
