// A hash table of held nodes by a 32-bit key, kept beside a store's lists so that finding the node of
// one (table, section_number, service) costs the same with ten services as with ten thousand. The
// lists stay what readers walk and what decides order; the index only answers "which node".
//
// Entries are never removed one by one: stores replace a node's bytes in place or empty everything.
#pragma once
#include <windows.h>

struct EitSectionNode;

class NodeIndex {
public:
    NodeIndex() = default;
    ~NodeIndex();
    NodeIndex(const NodeIndex&) = delete;
    NodeIndex& operator=(const NodeIndex&) = delete;

    // The node added under key, or null.
    EitSectionNode* Find(DWORD key) const;
    // Makes room for one more entry. E_OUTOFMEMORY leaves the index as it was, every entry found.
    HRESULT Reserve();
    // Adds a key that is not held yet; Reserve must have succeeded since the last Insert.
    void Insert(DWORD key, EitSectionNode* node);
    // Forgets every entry and releases the table.
    void Clear();

    DWORD Count() const { return count; }

private:
    struct Entry {
        EitSectionNode* node; // null for an empty slot
        DWORD key;
    };
    static void Place(Entry* table, DWORD capacity, DWORD key, EitSectionNode* node);

    Entry* entries = nullptr;
    DWORD capacity = 0; // a power of two, 0 without a table
    DWORD count = 0;
};
