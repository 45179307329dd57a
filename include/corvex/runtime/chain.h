// TChain: a registry singly linked through its entries, newest first. Loaders, stream factories
// and embedded resources are kept this way: a new entry goes in at the head, so it is asked first.
#pragma once

#include <corvex/runtime/object.h>

namespace corvex {

template <class T>
class TChain;

// Base of a chain entry: the link to the entry registered before it.
template <class T>
class TChainLink {
public:
    TChainLink() = default;
    TChainLink(const TChainLink&) {}                             // a copy is not in any chain
    TChainLink& operator=(const TChainLink&) { return *this; }  // keeps its own link
    const Ref<T>& Succ() const { return _succ; }  // the next (older) entry, Null at the end

private:
    friend class TChain<T>;
    Ref<T> _succ;
    bool _linked = false;  // in a chain (the tail has no successor, so _succ cannot tell)
};

// T derives from TChainLink<T>. An entry belongs to at most one chain.
template <class T>
class TChain {
public:
    TChain() = default;
    TChain(const TChain&) = delete;
    TChain& operator=(const TChain&) = delete;
    TChain(TChain&& other) noexcept : _head(std::move(other._head)) {}  // takes other's entries, leaving it empty
    TChain& operator=(TChain&& other) noexcept {  // unlinks this chain's entries, takes other's
        if (this != &other) {
            Clear();
            _head = std::move(other._head);
        }
        return *this;
    }
    ~TChain() { Clear(); }

    // Links entry in at the head. False, changing nothing, for Null or an entry already linked.
    bool Push(Ref<T> entry) {
        if (!entry || entry->_linked) return false;
        entry->_linked = true;
        entry->_succ = std::move(_head);
        _head = std::move(entry);
        return true;
    }

    const Ref<T>& First() const { return _head; }  // the newest entry; walk with Succ()
    bool Empty() const { return !_head; }  // no entries

    // Unlinks every entry, one at a time so that a long chain does not recurse in destructors.
    void Clear() {
        Ref<T> entry = std::move(_head);
        while (entry) {
            entry->_linked = false;
            entry = std::move(entry->_succ);
        }
    }

private:
    Ref<T> _head;
};

}  // namespace corvex
