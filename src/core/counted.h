#pragma once
// The program's shared-ownership pointer: a separately allocated 32-bit count and the
// object. The count starts at 1 and changes only by atomic increment and decrement, so
// references may be copied and released on any thread; the release that brings the count
// to 0 frees the object and the count. An empty reference holds two nulls.
// T may be an array type (wchar_t[]): the object is then freed with delete[].

#include <atomic>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace kvt {

template <class T>
class counted {
public:
    using element_type = std::remove_extent_t<T>;

    counted() noexcept = default;

    // Makes the first reference to an object allocated with new (new[] for arrays).
    // Takes ownership also when it throws: the object is freed if the count cannot be had.
    static counted adopt(element_type* object)
    {
        std::unique_ptr<T> owner(object);
        counted c;
        c.count_ = new std::atomic<std::uint32_t>(1);
        c.object_ = owner.release();
        return c;
    }

    counted(const counted& o) noexcept : count_(o.count_), object_(o.object_)
    {
        if (count_)
            count_->fetch_add(1, std::memory_order_relaxed);
    }
    counted(counted&& o) noexcept
        : count_(std::exchange(o.count_, nullptr)), object_(std::exchange(o.object_, nullptr)) {}
    counted& operator=(counted o) noexcept
    {
        std::swap(count_, o.count_);
        std::swap(object_, o.object_);
        return *this;
    }
    ~counted() { reset(); }

    void reset() noexcept
    {
        if (count_ && count_->fetch_sub(1, std::memory_order_acq_rel) == 1) {
            std::default_delete<T>()(object_);
            delete count_;
        }
        count_ = nullptr;
        object_ = nullptr;
    }

    element_type* get() const noexcept { return object_; }
    element_type& operator*() const noexcept { return *object_; }
    element_type* operator->() const noexcept { return object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }

    // Converts a reference to a derived object into one to its base (or to const), sharing
    // the count.
    template <class U>
        requires(std::is_array_v<U> == std::is_array_v<T> &&
                 std::is_convertible_v<std::remove_extent_t<U>*, element_type*>)
    counted(counted<U>&& o) noexcept : count_(o.count_), object_(o.object_)
    {
        o.count_ = nullptr;
        o.object_ = nullptr;
    }

private:
    template <class U> friend class counted;
    std::atomic<std::uint32_t>* count_ = nullptr;
    element_type* object_ = nullptr;
};

template <class T, class... Args>
    requires(!std::is_array_v<T>)
counted<T> make_counted(Args&&... args)
{
    return counted<T>::adopt(new T(std::forward<Args>(args)...));
}

} // namespace kvt
