#include "content/WordIndex.h"

#include <cstring>
#include <functional>

namespace tavi {

void WordIndex::clear() {
    m_keys.clear();
    m_slots.clear();
    m_count = 0;
}

// The slot that holds `word`, or the empty slot where it would go.
size_t WordIndex::Probe(std::string_view word, uint64_t hash) const {
    const size_t mask = m_slots.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& slot = m_slots[i];
        if (slot.index == 0) return i;
        if (slot.hash == hash && slot.length == word.size() &&
            std::memcmp(m_keys.data() + slot.offset, word.data(), word.size()) == 0)
            return i;
    }
}

void WordIndex::Reserve(size_t count) {
    size_t slots = m_slots.empty() ? 64 : m_slots.size();
    while (slots / 2 < count) slots *= 2;
    if (slots > m_slots.size()) Rehash(slots);
}

void WordIndex::Rehash(size_t slotCount) {
    std::vector<Slot> old = std::move(m_slots);
    m_slots.assign(slotCount, Slot{});
    const size_t mask = m_slots.size() - 1;
    for (const Slot& slot : old) {
        if (slot.index == 0) continue;
        size_t i = slot.hash & mask;
        while (m_slots[i].index != 0) i = (i + 1) & mask;
        m_slots[i] = slot;
    }
}

uint64_t WordIndex::HashOf(std::string_view word) { return std::hash<std::string_view>{}(word); }

void WordIndex::Set(std::string_view word, int32_t index) {
    if ((m_count + 1) * 2 > m_slots.size()) Reserve(m_count + 1);
    uint64_t hash = HashOf(word);
    Slot& slot = m_slots[Probe(word, hash)];
    if (slot.index == 0) {
        slot = {hash, m_keys.size(), word.size(), index};
        m_keys += word;
        ++m_count;
    }
    slot.index = index;
}

int32_t WordIndex::Find(std::string_view word) const { return Find(word, HashOf(word)); }

void WordIndex::Prefetch(uint64_t hash) const {
    if (!m_slots.empty()) __builtin_prefetch(&m_slots[hash & (m_slots.size() - 1)]);
}

int32_t WordIndex::Find(std::string_view word, uint64_t hash) const {
    if (m_slots.empty()) return 0;
    return m_slots[Probe(word, hash)].index;
}

}  // namespace tavi
