// TList: a doubly linked list of TLinks that appends at the end and is walked first to last.
#pragma once

#include <cstddef>
#include <memory>

namespace corvex {

template <class T>
class TList;

// One element of a TList, owned by the list.
template <class T>
class TLink {
public:
    T& Value() { return _value; }  // the element
    const T& Value() const { return _value; }  // the element
    TLink* NextLink() const { return _succ.get(); }  // the next link, nullptr at the end
    TLink* PrevLink() const { return _pred; }  // the previous link, nullptr at the start

private:
    friend class TList<T>;
    explicit TLink(T value) : _value(std::move(value)) {}
    T _value;
    std::unique_ptr<TLink> _succ;  // the list owns its links front to back
    TLink* _pred = nullptr;
};

// A doubly linked list that owns its links; appends at the end, walked first to last.
template <class T>
class TList {
public:
    TList() = default;
    TList(const TList&) = delete;
    TList& operator=(const TList&) = delete;
    ~TList() { Clear(); }

    TLink<T>* AddLast(T value) {  // appends value; its link stays valid until removed
        std::unique_ptr<TLink<T>> link(new TLink<T>(std::move(value)));
        TLink<T>* raw = link.get();
        raw->_pred = _last;
        if (_last) {
            _last->_succ = std::move(link);
        } else {
            _first = std::move(link);
        }
        _last = raw;
        ++_count;
        return raw;
    }

    // Unlinks and destroys link, which must belong to this list.
    void Remove(TLink<T>* link) {
        TLink<T>* pred = link->_pred;
        std::unique_ptr<TLink<T>>& owner = pred ? pred->_succ : _first;
        std::unique_ptr<TLink<T>> doomed = std::move(owner);
        owner = std::move(doomed->_succ);
        if (owner) {
            owner->_pred = pred;
        } else {
            _last = pred;
        }
        --_count;
    }

    void Clear() {  // removes every link
        // Unlink iteratively so a long list does not recurse in destructors.
        while (_first) _first = std::move(_first->_succ);
        _last = nullptr;
        _count = 0;
    }

    TLink<T>* FirstLink() const { return _first.get(); }  // nullptr when empty
    TLink<T>* LastLink() const { return _last; }  // nullptr when empty
    size_t Count() const { return _count; }  // number of links
    bool IsEmpty() const { return _count == 0; }  // no links

    class iterator {  // walks the values first to last
    public:
        explicit iterator(TLink<T>* link) : _link(link) {}  // at link; nullptr is the end
        T& operator*() const { return _link->Value(); }  // the value
        iterator& operator++() {  // to the next link
            _link = _link->NextLink();
            return *this;
        }
        bool operator!=(const iterator& other) const { return _link != other._link; }  // at different links

    private:
        TLink<T>* _link;
    };
    iterator begin() const { return iterator(_first.get()); }  // at the first value
    iterator end() const { return iterator(nullptr); }  // past the last value

private:
    std::unique_ptr<TLink<T>> _first;
    TLink<T>* _last = nullptr;
    size_t _count = 0;
};

}  // namespace corvex
