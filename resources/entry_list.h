// A snapshot of one node's listing, taken afresh for every search: the entries in listing order, read
// with next() in a loop that ends on null and can start over.
#pragma once

#include "core/abi.h"

class EntryList {
public:
    explicit EntryList(ResourceDir* dir);  // lists every entry of dir; null lists nothing
    ~EntryList() { clear(); }
    EntryList(const EntryList&) = delete;
    EntryList& operator=(const EntryList&) = delete;

    // The entry under the cursor, advancing; null at the end, which puts the cursor back on the first.
    ResourceEntry* next();
    void clear();  // frees the nodes; the list is empty afterwards

private:
    struct Node {
        ResourceEntry* entry;
        Node* next;
    };
    Node* cursor_ = nullptr;
    Node* first_ = nullptr;
};
