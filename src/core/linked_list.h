// The singly linked lists of the input records (time series, elevation
// series, replacement pairs): nodes owned by the list, linked through their
// member `next`, kept in the order they were added.
#pragma once
#include <cstring>

// Appends `node` at the end of the list that `head` starts; returns node.
template <class T>
T* append_node(T*& head, T* node) {
    if (head == nullptr) {
        head = node;
    } else {
        T* last = head;
        while (last->next != nullptr) last = last->next;
        last->next = node;
    }
    return node;
}

// Deletes every node of the list and leaves `head` null.
template <class T>
void delete_list(T*& head) {
    while (head != nullptr) {
        T* next = head->next;
        delete head;
        head = next;
    }
}

// The first node whose `name` begins with `name` (the whole of it), or null.
template <class T>
T* find_named(T* head, const char* name) {
    const size_t n = std::strlen(name);
    for (T* s = head; s != nullptr; s = s->next)
        if (std::strncmp(s->name, name, n) == 0) return s;
    return nullptr;
}
