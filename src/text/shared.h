// shared<T>: the handle through which every object of the interpreter is held.
//
// All handles of one object form a circular doubly-linked ring; there is no
// counter and no control block. The last handle to leave the ring deletes the
// object. Because a handle's own address is part of the ring, handles are
// never moved bitwise: copying or moving one relinks its neighbours, which is
// what keeps rings intact when a std::vector of handles relocates.
#pragma once

#include <stdexcept>
#include <utility>

namespace qorvantel {

namespace handle_detail {
// How the last handle ends its object: with the object's own destroy() when
// its class has one (objects whose allocation is larger than their class,
// which alone know the size to give back), else with delete.
template <class T>
auto end_object(T* object, int) noexcept -> decltype(object->destroy())
{
    object->destroy();
}
template <class T>
void end_object(T* object, long) noexcept
{
    delete object;
}
} // namespace handle_detail

template <class T>
class shared {
public:
    shared() noexcept : object_(nullptr), prev_(this), next_(this) {}

    // Takes ownership of a newly allocated object.
    explicit shared(T* object) noexcept : object_(object), prev_(this), next_(this) {}

    shared(const shared& other) noexcept : object_(nullptr), prev_(this), next_(this) { join(other); }

    // A move puts the new handle in the place of the old one in the ring and
    // leaves the old one empty.
    shared(shared&& other) noexcept : object_(nullptr), prev_(this), next_(this) { take_place_of(other); }

    ~shared() { release(); }

    shared& operator=(const shared& other) noexcept
    {
        if (object_ == other.object_)
            return *this;
        release();
        join(other);
        return *this;
    }

    shared& operator=(shared&& other) noexcept
    {
        if (this == &other)
            return *this;
        if (object_ == other.object_) {
            // Same object: the other handle simply leaves the ring.
            other.release();
            return *this;
        }
        release();
        take_place_of(other);
        return *this;
    }

    bool empty() const noexcept { return object_ == nullptr; }
    explicit operator bool() const noexcept { return object_ != nullptr; }

    T& operator*() const { return *checked(); }
    T* operator->() const { return checked(); }

    // The object, or null; for code that has already tested emptiness.
    T* get() const noexcept { return object_; }

    // True when this handle is the only one of its object, so that releasing
    // it deletes the object.
    bool unique() const noexcept { return next_ == this; }

    // Drops this handle's share; the last share deletes the object.
    void release() noexcept
    {
        if (next_ == this) {
            T* doomed = object_;
            object_ = nullptr;
            if (doomed != nullptr)
                handle_detail::end_object(doomed, 0);
            return;
        }
        prev_->next_ = next_;
        next_->prev_ = prev_;
        prev_ = next_ = this;
        object_ = nullptr;
    }

private:
    T* checked() const
    {
        if (object_ == nullptr)
            throw std::logic_error("shared: invalid dereference");
        return object_;
    }

    // Joins other's ring immediately before other; this handle must be a
    // ring of one.
    void join(const shared& other) noexcept
    {
        object_ = other.object_;
        if (object_ == nullptr)
            return;
        auto& source = const_cast<shared&>(other);
        prev_ = source.prev_;
        next_ = &source;
        source.prev_->next_ = this;
        source.prev_ = this;
    }

    // Replaces other in its ring; this handle must be a ring of one.
    void take_place_of(shared& other) noexcept
    {
        object_ = other.object_;
        if (object_ == nullptr)
            return;
        if (other.next_ != &other) {
            prev_ = other.prev_;
            next_ = other.next_;
            prev_->next_ = this;
            next_->prev_ = this;
        }
        other.object_ = nullptr;
        other.prev_ = other.next_ = &other;
    }

    T* object_;
    shared* prev_;
    shared* next_;
};

} // namespace qorvantel
