// Inserting and removing one index in a map keyed by row or column index, moving the rest.
#ifndef QZ_INDEXED_MAP_H
#define QZ_INDEXED_MAP_H

#include <iterator>
#include <map>

// Moves every entry whose key is at or past `at` one index up, leaving `at` free. Entries
// are moved from the highest key down so no key is ever taken twice.
template <typename Value>
void qzOpenIndex(std::map<int, Value>& entries, int at) {
    auto it = entries.end();
    while (it != entries.begin()) {
        auto current = std::prev(it);
        if (current->first < at) break;
        auto node = entries.extract(current);
        ++node.key();
        // The moved entry's predecessor is the next one to move.
        it = entries.insert(std::move(node)).position;
    }
}

// Erases the entry at `at` and moves every entry past it one index down.
template <typename Value>
void qzCloseIndex(std::map<int, Value>& entries, int at) {
    entries.erase(at);
    auto it = entries.upper_bound(at);
    while (it != entries.end()) {
        auto next = std::next(it);
        auto node = entries.extract(it);
        --node.key();
        entries.insert(std::move(node));
        it = next;
    }
}

#endif
