#include "resources/entry_list.h"

#include "core/allocator.h"
#include "resources/resource_dir.h"

EntryList::EntryList(ResourceDir* dir) {
    if (!dir) return;
    Node* last = nullptr;
    for (ResourceEntry* entry = dir->nextEntry(nullptr); entry; entry = dir->nextEntry(entry)) {
        auto* node = static_cast<Node*>(allocateBytes(sizeof(Node)));
        // Without memory the snapshot ends here: a shorter listing rather than none.
        if (!node) break;
        *node = Node{entry, nullptr};
        if (last)
            last->next = node;
        else
            first_ = node;
        last = node;
    }
    cursor_ = first_;
}

ResourceEntry* EntryList::next() {
    if (!first_) return nullptr;
    if (!cursor_) {
        cursor_ = first_;
        return nullptr;
    }
    ResourceEntry* entry = cursor_->entry;
    cursor_ = cursor_->next;
    return entry;
}

void EntryList::clear() {
    Node* node = first_;
    while (node) {
        Node* following = node->next;
        freeBytes(node);
        node = following;
    }
    first_ = nullptr;
    cursor_ = nullptr;
}
